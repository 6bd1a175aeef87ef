#include "Views/Inspector/DisclosureButton.h"

#include "Views/Theme/Icons.h"
#include "Views/Theme/Theme.h"

#include <QPainter>

DisclosureButton::DisclosureButton(const QString &text, QWidget *parent)
    : QAbstractButton(parent), m_turn(this, 0)
{
    setCheckable(true);
    setText(text);
    setAccessibleName(text);
    setFont(Theme::font(11, QFont::Medium));
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize DisclosureButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 20, metrics.height() + 6};
}

void DisclosureButton::checkStateSet()
{
    m_turn.setValue(isChecked() ? 1 : 0);
}

void DisclosureButton::nextCheckState()
{
    QAbstractButton::nextCheckState();
    m_turn.springTo(isChecked() ? 1 : 0, 0.2);
}

void DisclosureButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = Theme::secondary(palette());
    // The chevron points right when closed and down when open.
    const QRectF box(0, (height() - 9) / 2.0, 9, 9);
    painter.save();
    painter.translate(box.center());
    painter.rotate(-90 + 90 * m_turn.value());
    Icons::paint(painter, box.translated(-box.center()), QStringLiteral("chevron.down"), colour,
                 Icons::Weight::semibold);
    painter.restore();
    painter.setFont(font());
    painter.setPen(colour);
    painter.drawText(QRectF(15, 0, width() - 15, height()), Qt::AlignVCenter | Qt::AlignLeft,
                     text());
    if (hasFocus()) {
        painter.setPen(QPen(Theme::withAlpha(Theme::accent(), 0.8), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 5, 5);
    }
}
