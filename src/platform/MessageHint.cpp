#include "platform/MessageHint.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QTextLayout>
#include <QToolTip>
#include <QWindow>

#ifdef QUILLET_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

namespace {

constexpr int kPadding = 8;
constexpr int kRadius = 6;
// More than kMaxLines lines of the widest screen hold: what lies beyond is never measured.
constexpr qsizetype kMaxMeasured = 4096;
const QChar kEllipsis(0x2026);

// The text's paragraphs; a line ends at CR LF, a lone CR or a lone LF.
QStringList paragraphs(const QString& text)
{
    QString unified = text;
    unified.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    unified.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return unified.split(QLatin1Char('\n'));
}

} // namespace

TMessageHint::TMessageHint(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("LMDMessageHint1"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    m_font = QFont(QStringLiteral("MS Sans Serif"));
    m_font.setStyleHint(QFont::SansSerif);
    m_font.setPointSize(8);
    setPalette(QToolTip::palette());
}

TMessageHint::~TMessageHint()
{
    releasePointer();
    if (m_filtering)
        qApp->removeEventFilter(this);
}

bool TMessageHint::translucencyAvailable()
{
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland")))
        return true; // every Wayland desktop composes
#ifdef QUILLET_HAVE_XCB
    if (platform == QLatin1String("xcb")) {
        // A compositing manager owns the selection _NET_WM_CM_S<screen>.
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
        if (!connection)
            return false;
        static const char name[] = "_NET_WM_CM_S0";
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
        if (!atom)
            return false;
        xcb_get_selection_owner_reply_t* owner =
            xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
        const bool composed = owner && owner->owner != XCB_NONE;
        free(owner);
        free(atom);
        return composed;
    }
#endif
    return false;
}

int TMessageHint::wrapWidth() const
{
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    return std::max(80, (screen ? screen->geometry().width() : 1024) / 4);
}

void TMessageHint::layoutText()
{
    const QFontMetrics metrics(m_font);
    const int wrap = wrapWidth();
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);

    // Every line with the position in the measured text where it starts.
    const QString measured = m_text.left(kMaxMeasured);
    struct Line
    {
        QString text;
        QString rest; // this line and everything after it, as one line
    };
    QList<Line> lines;
    const QStringList parts = paragraphs(measured);
    for (qsizetype p = 0; p < parts.size() && lines.size() <= kMaxLines; ++p) {
        const QString& part = parts[p];
        const QString after = parts.mid(p + 1).join(QLatin1Char(' '));
        QTextLayout layout(part, m_font);
        layout.setTextOption(option);
        layout.beginLayout();
        bool any = false;
        while (lines.size() <= kMaxLines) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(wrap);
            any = true;
            QString rest = part.mid(line.textStart());
            if (!after.isEmpty())
                rest += QLatin1Char(' ') + after;
            // The blank where a line wraps takes no room at its end (the layout does not count it), so
            // it is not kept: with it the line could be wider than the wrap width.
            QString shown = part.mid(line.textStart(), line.textLength());
            while (shown.endsWith(QLatin1Char(' ')))
                shown.chop(1);
            lines.append({shown, rest});
        }
        layout.endLayout();
        if (!any)
            lines.append({QString(), after});
    }

    m_lines.clear();
    const bool cut = lines.size() > kMaxLines || measured.size() < m_text.size();
    const qsizetype shown = std::min<qsizetype>(lines.size(), kMaxLines);
    for (qsizetype i = 0; i < shown; ++i)
        m_lines << lines[i].text;
    if (cut && shown > 0) {
        // The last line takes what follows it and ends in an ellipsis.
        const QString rest = lines[shown - 1].rest;
        QString last = metrics.elidedText(rest, Qt::ElideRight, wrap);
        if (last == rest)
            last = metrics.elidedText(rest + kEllipsis, Qt::ElideRight, wrap);
        m_lines.last() = last;
    }

    // A wrapped line keeps the blank it was broken at; blanks at a line's end take no room.
    int width = 0;
    for (const QString& line : std::as_const(m_lines)) {
        qsizetype visible = line.size();
        while (visible > 0 && line.at(visible - 1).isSpace())
            --visible;
        width = std::max(width, metrics.horizontalAdvance(line.left(visible)));
    }
    m_textSize = QSize(std::min(width, wrap), int(m_lines.size()) * metrics.lineSpacing());
}

QPainterPath TMessageHint::outline() const
{
    const int bodyWidth = width() - kShadow;
    const int bodyHeight = height() - kShadow - kTailHeight;
    const qreal edge = m_masked ? 0 : 0.5; // antialiased edges sit on pixel centres
    const QRectF body(edge, kTailHeight + edge, bodyWidth - 2 * edge, bodyHeight - 2 * edge);
    const qreal tipX = bodyWidth - kTailInset + edge;

    QPainterPath path;
    path.addRoundedRect(body, kRadius, kRadius);
    QPainterPath tail;
    tail.moveTo(tipX, edge);
    tail.lineTo(tipX - 12, kTailHeight + 1 + edge);
    tail.lineTo(tipX, kTailHeight + 1 + edge);
    tail.closeSubpath();
    return path.united(tail);
}

void TMessageHint::showHint(const QPoint& globalAnchor, const QString& text)
{
    hideHint();
    m_text = text;
    m_anchor = globalAnchor;
    layoutText();

    const int bodyWidth = std::max(m_textSize.width() + 2 * kPadding, kTailInset + 2 * kRadius + 8);
    const int bodyHeight = m_textSize.height() + 2 * kPadding;
    resize(bodyWidth + kShadow, kTailHeight + bodyHeight + kShadow);
    // The tail's tip sits on the anchor; the balloon hangs below it and to its left.
    move(globalAnchor.x() - (bodyWidth - kTailInset), globalAnchor.y());

    // Without translucency the window is a rectangle: the mask cuts out the balloon and its shadow.
    m_masked = !translucencyAvailable();
    if (m_masked) {
        const QPainterPath path = outline();
        setMask(QRegion(path.toFillPolygon().toPolygon()) +
                QRegion(path.translated(kShadow, kShadow).toFillPolygon().toPolygon()));
    } else {
        clearMask();
    }

    if (!m_filtering) {
        qApp->installEventFilter(this);
        m_filtering = true;
    }
    show();
    grabPointer();
}

void TMessageHint::hideHint()
{
    releasePointer();
    hide();
}

void TMessageHint::grabPointer()
{
    // Clicks outside the program come here too. The window system grants the grab only to a
    // window on the screen: it is asked again when the window is exposed.
    grabMouse();
    if (QWindow* window = windowHandle()) {
        window->installEventFilter(this);
        window->setMouseGrabEnabled(true);
    }
}

void TMessageHint::releasePointer()
{
    if (QWidget::mouseGrabber() == this)
        releaseMouse();
    if (QWindow* window = windowHandle())
        window->setMouseGrabEnabled(false);
}

bool TMessageHint::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Expose:
        if (watched == windowHandle() && isVisible())
            windowHandle()->setMouseGrabEnabled(true);
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonDblClick:
        if (isVisible()) {
            // The click that closes the balloon does nothing else, its release neither.
            hideHint();
            m_eatRelease = true;
            return true;
        }
        break;
    case QEvent::MouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonRelease:
        if (m_eatRelease) {
            m_eatRelease = false;
            qApp->removeEventFilter(this);
            m_filtering = false;
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void TMessageHint::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // Masked edges are hard: antialiasing would blend them with whatever lies under the window.
    painter.setRenderHint(QPainter::Antialiasing, !m_masked);
    const QPainterPath path = outline();
    const QColor shadow = m_masked ? palette().color(QPalette::Shadow) : QColor(0, 0, 0, 70);
    painter.fillPath(path.translated(kShadow, kShadow), shadow);
    painter.fillPath(path, palette().color(QPalette::ToolTipBase));
    painter.setPen(palette().color(QPalette::ToolTipText));
    painter.drawPath(path);

    painter.setFont(m_font);
    const QFontMetrics metrics(m_font);
    int y = kTailHeight + kPadding + metrics.ascent();
    for (const QString& line : std::as_const(m_lines)) {
        painter.drawText(QPoint(kPadding, y), line);
        y += metrics.lineSpacing();
    }
}
