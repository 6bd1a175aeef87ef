#include "Views/Inspector/ModelTab.h"

#include "Views/Theme/Theme.h"

#include <QPainter>

ModelTab::ModelTab(const QString &title, bool focused, QWidget *parent)
    : QAbstractButton(parent), m_focused(focused)
{
    setText(title);
    setAccessibleName(title);
    setToolTip(title);
    setFont(Theme::font(10.5, QFont::Medium));
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setFixedHeight(24);
}

QSize ModelTab::sizeHint() const
{
    return {QFontMetrics(font()).horizontalAdvance(text()) + 20, 24};
}

void ModelTab::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette pal = palette();
    const QRectF capsule = QRectF(rect()).adjusted(0.5, 2.5, -0.5, -2.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_focused ? Theme::withAlpha(Theme::accent(), 0.22)
                               : Theme::primaryAt(pal, 0.06));
    painter.drawRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
    if (hasFocus()) {
        painter.setPen(QPen(Theme::withAlpha(Theme::accent(), 0.8), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
    }
    painter.setPen(m_focused ? Theme::primary(pal) : Theme::secondary(pal));
    painter.setFont(font());
    painter.drawText(capsule, Qt::AlignCenter, text());
}
