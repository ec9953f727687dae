#include "news/NewsHint.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QToolTip>

namespace {

constexpr int kPadding = 8;
constexpr int kRadius = 6;

} // namespace

TNewsHint::TNewsHint(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("LMDMessageHint1"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    setFont(font);
    setPalette(QToolTip::palette());
}

TNewsHint::~TNewsHint()
{
    if (m_filtering)
        qApp->removeEventFilter(this);
}

QRect TNewsHint::textRect() const
{
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const int wrap = std::max(80, (screen ? screen->geometry().width() : 1024) / 4);
    return QFontMetrics(font()).boundingRect(QRect(0, 0, wrap, 100000), Qt::TextWordWrap | Qt::AlignLeft, m_text);
}

void TNewsHint::showHint(const QPoint& globalAnchor, const QString& text)
{
    hideHint();
    m_text = text;
    m_anchor = globalAnchor;

    const QRect textBox = textRect();
    const int bodyWidth = std::max(textBox.width() + 2 * kPadding, kTailInset + 2 * kRadius + 8);
    const int bodyHeight = textBox.height() + 2 * kPadding;
    resize(bodyWidth + kShadow, kTailHeight + bodyHeight + kShadow);
    // The tail's tip sits on the anchor; the balloon hangs below it and to its left.
    move(globalAnchor.x() - (bodyWidth - kTailInset), globalAnchor.y());

    if (!m_filtering) {
        qApp->installEventFilter(this);
        m_filtering = true;
    }
    show();
}

void TNewsHint::hideHint()
{
    hide();
}

bool TNewsHint::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
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

void TNewsHint::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int bodyWidth = width() - kShadow;
    const int bodyHeight = height() - kShadow - kTailHeight;
    const QRectF body(0.5, kTailHeight + 0.5, bodyWidth - 1, bodyHeight - 1);
    const qreal tipX = bodyWidth - kTailInset + 0.5;

    QPainterPath path;
    path.addRoundedRect(body, kRadius, kRadius);
    QPainterPath tail;
    tail.moveTo(tipX, 0.5);
    tail.lineTo(tipX - 12, kTailHeight + 1.5);
    tail.lineTo(tipX, kTailHeight + 1.5);
    tail.closeSubpath();
    path = path.united(tail);

    painter.fillPath(path.translated(kShadow, kShadow), QColor(0, 0, 0, 70));
    painter.fillPath(path, palette().color(QPalette::ToolTipBase));
    painter.setPen(palette().color(QPalette::ToolTipText));
    painter.drawPath(path);
    painter.drawText(QRect(kPadding, kTailHeight + kPadding, bodyWidth - 2 * kPadding, bodyHeight - 2 * kPadding),
                     Qt::TextWordWrap | Qt::AlignLeft, m_text);
}
