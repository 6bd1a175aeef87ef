#include "Views/Launcher/ModeTile.h"

#include "Views/Theme/Card.h"
#include "Views/Theme/Icons.h"
#include "Views/Theme/Theme.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

namespace
{
constexpr int margin = ModeTile::hoverMargin;
constexpr qreal hoverScale = 1.02;
constexpr qreal symbolSide = 22;
constexpr qreal textWidthInset = 14;

// The symbol in the accent gradient: drawn white, then the gradient kept where the symbol is.
QPixmap gradientSymbol(const QString &symbol, qreal devicePixelRatio)
{
    QPixmap pixmap =
        Icons::pixmap(symbol, Qt::white, symbolSide, devicePixelRatio, Icons::Weight::medium);
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(0, 0, symbolSide, symbolSide),
                     Theme::accentGradient(QRectF(0, 0, symbolSide, symbolSide)));
    return pixmap;
}
} // namespace

ModeTile::ModeTile(Mode mode, QWidget *parent)
    : QAbstractButton(parent), m_mode(mode), m_hover(this, 0)
{
    setObjectName(u"modeTile_" + Modes::key(mode));
    setText(Modes::title(mode));
    setAccessibleName(Modes::title(mode));
    setAccessibleDescription(Modes::blurb(mode));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(sizeHint());
}

qreal ModeTile::scale() const
{
    return 1 + (hoverScale - 1) * m_hover.value();
}

QSize ModeTile::sizeHint() const
{
    return faceSize + QSize(2 * margin, 2 * margin);
}

void ModeTile::setHovering(bool hovering)
{
    if (m_hovering == hovering)
        return;
    m_hovering = hovering;
    m_hover.springTo(hovering ? 1 : 0, 0.22);
}

void ModeTile::enterEvent(QEnterEvent *event)
{
    setHovering(true);
    QAbstractButton::enterEvent(event);
}

void ModeTile::leaveEvent(QEvent *event)
{
    setHovering(false);
    QAbstractButton::leaveEvent(event);
}

void ModeTile::changeEvent(QEvent *event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        update();
}

void ModeTile::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &palette = this->palette();
    const QRectF face(margin, margin, faceSize.width(), faceSize.height());
    const qreal hover = m_hover.value();
    const qreal scale = this->scale();
    painter.translate(face.center());
    painter.scale(scale, scale);
    painter.translate(-face.center());

    QPainterPath shape;
    shape.addRoundedRect(face.adjusted(0.5, 0.5, -0.5, -0.5), Theme::cardRadius, Theme::cardRadius);
    painter.fillPath(shape, Theme::cardFill(palette));
    // The outline moves from the card stroke (0.5 px) to the accent at 55 % (1 px).
    const QColor idle = Theme::cardStroke(palette);
    const QColor hot = Theme::withAlpha(Theme::accent(), 0.55);
    const auto mix = [hover](float a, float b) { return a + (b - a) * float(hover); };
    const QColor stroke =
        QColor::fromRgbF(mix(idle.redF(), hot.redF()), mix(idle.greenF(), hot.greenF()),
                         mix(idle.blueF(), hot.blueF()), mix(idle.alphaF(), hot.alphaF()));
    painter.setPen(QPen(stroke, 0.5 + 0.5 * hover));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
    if (hasFocus() && !m_hovering) {
        painter.setPen(QPen(Theme::withAlpha(Theme::accent(), 0.8), 2));
        painter.drawRoundedRect(face.adjusted(1, 1, -1, -1), Theme::cardRadius - 1,
                                Theme::cardRadius - 1);
    }

    // Symbol, title and blurb as one block centred in the face.
    const QFont titleFont = Theme::font(14, QFont::DemiBold);
    const QFont blurbFont = Theme::font(11);
    const qreal textWidth = face.width() - 2 * textWidthInset;
    const QFontMetricsF titleMetrics(titleFont), blurbMetrics(blurbFont);
    const QString blurb = Modes::blurb(m_mode);
    const QRectF blurbBounds = blurbMetrics.boundingRect(
        QRectF(0, 0, textWidth, 1000), Qt::AlignHCenter | Qt::TextWordWrap, blurb);
    constexpr qreal symbolGap = 12, titleGap = 5;
    const qreal blockHeight =
        symbolSide + symbolGap + titleMetrics.height() + titleGap + blurbBounds.height();
    qreal y = face.center().y() - blockHeight / 2;

    painter.drawPixmap(QPointF(face.center().x() - symbolSide / 2, y),
                       gradientSymbol(Modes::symbol(m_mode), devicePixelRatioF()));
    y += symbolSide + symbolGap;
    painter.setFont(titleFont);
    painter.setPen(Theme::primary(palette));
    painter.drawText(QRectF(face.left(), y, face.width(), titleMetrics.height()), Qt::AlignCenter,
                     Modes::title(m_mode));
    y += titleMetrics.height() + titleGap;
    painter.setFont(blurbFont);
    painter.setPen(Theme::secondary(palette));
    painter.drawText(QRectF(face.left() + textWidthInset, y, textWidth, blurbBounds.height() + 1),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, blurb);
}
