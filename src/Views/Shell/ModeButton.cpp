#include "Views/Shell/ModeButton.h"

#include "Views/Theme/Icons.h"
#include "Views/Theme/Theme.h"

#include <QFocusEvent>
#include <QPainter>

namespace
{
constexpr qreal chevronSide = 13;
constexpr qreal chevronGap = 8;
constexpr qreal lineGap = 1;
QFont titleFont()
{
    return Theme::font(14, QFont::DemiBold);
}
QFont subtitleFont()
{
    return Theme::font(10.5);
}
} // namespace

ModeButton::ModeButton(QWidget *parent) : QAbstractButton(parent)
{
    setObjectName(QStringLiteral("modeButton"));
    setToolTip(QStringLiteral("Back to all modes"));
    setAccessibleName(QStringLiteral("Back to all modes"));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ModeButton::setTexts(const QString &title, const QString &subtitle)
{
    if (m_title == title && m_subtitle == subtitle)
        return;
    m_title = title;
    m_subtitle = subtitle;
    setText(title);
    setAccessibleDescription(title + u", " + subtitle);
    updateGeometry();
    update();
}

QSize ModeButton::sizeHint() const
{
    const QFontMetricsF title(titleFont()), subtitle(subtitleFont());
    const qreal width =
        chevronSide + chevronGap +
        std::max(title.horizontalAdvance(m_title), subtitle.horizontalAdvance(m_subtitle));
    return {int(std::ceil(width)) + 4,
            int(std::ceil(title.height() + lineGap + subtitle.height()))};
}

QSize ModeButton::minimumSizeHint() const
{
    return {int(chevronSide + chevronGap) + 60, sizeHint().height()};
}

void ModeButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &palette = this->palette();
    const qreal opacity = isDown() ? 0.6 : 1.0;
    painter.setOpacity(opacity);
    const QRectF bounds = rect();
    Icons::paint(painter,
                 QRectF(0, bounds.center().y() - chevronSide / 2, chevronSide, chevronSide),
                 QStringLiteral("chevron.left"), Theme::tertiary(palette), Icons::Weight::bold);
    const QFontMetricsF title(titleFont()), subtitle(subtitleFont());
    const qreal x = chevronSide + chevronGap;
    const qreal width = bounds.width() - x;
    const qreal top = bounds.center().y() - (title.height() + lineGap + subtitle.height()) / 2;
    painter.setFont(titleFont());
    painter.setPen(Theme::primary(palette));
    painter.drawText(QRectF(x, top, width, title.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     title.elidedText(m_title, Qt::ElideRight, width));
    painter.setFont(subtitleFont());
    painter.setPen(Theme::secondary(palette));
    painter.drawText(QRectF(x, top + title.height() + lineGap, width, subtitle.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     subtitle.elidedText(m_subtitle, Qt::ElideRight, width));
    if (m_keyboardFocus && hasFocus()) {
        painter.setOpacity(1);
        painter.setPen(QPen(Theme::withAlpha(Theme::accent(), 0.8), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(bounds.adjusted(1, 1, -1, -1), 6, 6);
    }
}

void ModeButton::changeEvent(QEvent *event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        update();
}

void ModeButton::focusInEvent(QFocusEvent *event)
{
    m_keyboardFocus =
        event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
}

void ModeButton::focusOutEvent(QFocusEvent *event)
{
    m_keyboardFocus = false;
    QAbstractButton::focusOutEvent(event);
}
