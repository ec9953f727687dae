#include "app/AnchorPanel.h"

#include <QResizeEvent>

TAnchorPanel::TAnchorPanel(const QString& name, int designWidth, int height, QWidget* parent)
    : QFrame(parent), m_designWidth(designWidth)
{
    setObjectName(name);
    setFixedHeight(height);
    resize(designWidth, height);
}

void TAnchorPanel::place(QWidget* child, const QRect& rect, Anchor anchor)
{
    if (child->parentWidget() != this)
        child->setParent(this);
    m_placed.append({child, rect, anchor});
    child->setGeometry(rect);
    layoutChildren();
}

void TAnchorPanel::layoutChildren()
{
    const int grow = width() - m_designWidth;
    for (const Placed& p : std::as_const(m_placed)) {
        if (!p.widget)
            continue;
        QRect r = p.rect;
        if (p.anchor == Anchor::Right) {
            // A child that sizes itself (a label) keeps its right edge where the design put it.
            const int right = r.right() + grow;
            r.setWidth(p.widget->width());
            r.moveRight(right);
        } else if (p.anchor == Anchor::Stretch) {
            r.setWidth(qMax(0, r.width() + grow));
        }
        p.widget->setGeometry(r);
    }
}

void TAnchorPanel::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    layoutChildren();
}
