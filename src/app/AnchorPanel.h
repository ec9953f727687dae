#pragma once

#include <QFrame>
#include <QList>
#include <QPointer>
#include <QRect>

// A panel whose children stand at fixed design positions, each optionally kept at its distance
// from the right edge (anchored right) or stretched with the panel's width, as the panel
// grows or shrinks from its design width.
class TAnchorPanel : public QFrame
{
    Q_OBJECT
public:
    enum class Anchor
    {
        Left,
        Right,
        Stretch
    };

    TAnchorPanel(const QString& name, int designWidth, int height, QWidget* parent = nullptr);

    // Places child at rect (panel coordinates at the design width) with the given anchor.
    void place(QWidget* child, const QRect& rect, Anchor anchor = Anchor::Left);

    int designWidth() const { return m_designWidth; }

    // Applies the anchors to the current width (also done on every resize).
    void layoutChildren();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Placed
    {
        QPointer<QWidget> widget;
        QRect rect;
        Anchor anchor;
    };
    int m_designWidth;
    QList<Placed> m_placed;
};
