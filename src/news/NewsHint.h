#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

// The news balloon (LMDMessageHint1 of the main window): a balloon-shaped window whose tail
// points at an anchor on the screen, lying below and to the left of it, with a 4-pixel shadow,
// in the tooltip colours. Its text wraps at a quarter of the screen's width. It shows on top
// without taking the focus and stays until the next mouse click anywhere in the program; that
// click closes it and does nothing else. Showing it again replaces the text and the place.
class TNewsHint : public QWidget
{
    Q_OBJECT
public:
    explicit TNewsHint(QWidget* parent = nullptr);
    ~TNewsHint() override;

    void showHint(const QPoint& globalAnchor, const QString& text);
    void hideHint();

    QString text() const { return m_text; }
    // The point the tail touches, in global coordinates.
    QPoint anchor() const { return m_anchor; }

    static constexpr int kShadow = 4;
    static constexpr int kTailHeight = 12;
    static constexpr int kTailInset = 16; // from the balloon's right edge to the tail's tip

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QRect textRect() const;

    QString m_text;
    QPoint m_anchor;
    bool m_filtering = false;
    bool m_eatRelease = false;
};
