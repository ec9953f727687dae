#pragma once

#include <QFont>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>

class QPainterPath;

// The balloon hint (LMDMessageHint1 of the main window): a balloon-shaped window whose tail
// points at an anchor on the screen, lying below and to the left of it, with a 4-pixel shadow,
// in the tooltip colours and its own font ("MS Sans Serif", 8 points, or the nearest the system
// has), whatever the application's style sheet says.
//
// The text is plain text. It wraps at a quarter of the screen's width, inside a word that is
// wider than that; past kMaxLines lines it is cut, the last line ending in an ellipsis.
//
// It shows on top without taking the focus and holds the mouse while shown: the next click,
// anywhere on the screen, closes it and does nothing else. Showing it again replaces the text
// and the place. Where the desktop draws no translucent windows (X11 without a compositor) a
// window mask gives it its shape.
class TMessageHint : public QWidget
{
    Q_OBJECT
public:
    explicit TMessageHint(QWidget* parent = nullptr);
    ~TMessageHint() override;

    void showHint(const QPoint& globalAnchor, const QString& text);
    void hideHint();

    // The text as given, and the lines it is shown in.
    QString text() const { return m_text; }
    QStringList shownLines() const { return m_lines; }
    // The point the tail touches, in global coordinates.
    QPoint anchor() const { return m_anchor; }
    // The font the text is drawn in.
    QFont textFont() const { return m_font; }
    // The width at which the text wraps: a quarter of the screen's.
    int wrapWidth() const;
    // True where the desktop draws translucent windows; otherwise the balloon takes a mask.
    static bool translucencyAvailable();

    static constexpr int kShadow = 4;
    static constexpr int kTailHeight = 12;
    static constexpr int kTailInset = 16; // from the balloon's right edge to the tail's tip
    static constexpr int kMaxLines = 6;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layoutText();
    QPainterPath outline() const;
    void grabPointer();
    void releasePointer();

    QString m_text;
    QStringList m_lines;
    QSize m_textSize;
    QPoint m_anchor;
    QFont m_font;
    bool m_masked = false;
    bool m_filtering = false;
    bool m_eatRelease = false;
};
