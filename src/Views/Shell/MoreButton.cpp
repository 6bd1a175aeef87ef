#include "Views/Shell/MoreButton.h"

#include "Views/Theme/Icons.h"
#include "Views/Theme/Theme.h"

#include <QEvent>
#include <QPainter>

MoreButton::MoreButton(QWidget *parent) : QToolButton(parent)
{
    setObjectName(QStringLiteral("moreActions"));
    setToolTip(QStringLiteral("More actions"));
    setAccessibleName(QStringLiteral("More actions"));
    setPopupMode(QToolButton::InstantPopup);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setFixedSize(sizeHint());
}

void MoreButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &palette = this->palette();
    if (isDown() || underMouse() || hasFocus()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::primaryAt(palette, isDown() ? 0.12 : 0.06));
        painter.drawRoundedRect(QRectF(rect()), 6, 6);
    }
    // The symbol at 11 px, semibold, in the secondary colour.
    const QRectF symbol(rect().center().x() - 5.5 + 0.5, rect().center().y() - 5.5 + 0.5, 11, 11);
    Icons::paint(painter, symbol, QStringLiteral("ellipsis"), Theme::secondary(palette),
                 Icons::Weight::semibold);
}

void MoreButton::changeEvent(QEvent *event)
{
    QToolButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        update();
}
