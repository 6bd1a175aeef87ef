#include "Views/Workspace/DropZoneView.h"

#include "Services/AppStore.h"
#include "Views/Theme/Icons.h"
#include "Views/Theme/Theme.h"
#include "Views/Workspace/AccentButton.h"

#include <QPainter>
#include <QRadialGradient>

#include <cmath>
#include <numbers>

using namespace Qt::StringLiterals;

namespace
{

constexpr QSizeF zoneSize(380, 260);
constexpr qreal zoneRadius = 16;
constexpr qreal circleSide = 78;
constexpr qreal symbolSide = 24;
constexpr qreal noteGap = 18;
// Inside the panel, from the top: glow, title, line, button.
constexpr qreal titleGap = 16;
constexpr qreal lineGap = 6;
constexpr qreal buttonGap = 18;

QFont titleFont()
{
    return Theme::font(17, QFont::DemiBold);
}
QFont lineFont()
{
    return Theme::font(11.5);
}
QFont noteFont()
{
    return Theme::font(11);
}

QColor mix(const QColor &a, const QColor &b, qreal t)
{
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t),
                            float(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

const QString lineText = u"Or a folder. JPEG, PNG, HEIC, TIFF and RAW all work."_s;

} // namespace

DropZoneView::DropZoneView(AppStore &store, QWidget *parent)
    : QWidget(parent), m_store(store), m_target(this, 0), m_bounce(this, 1),
      m_breath(this, 2600, true, QEasingCurve::InOutSine, 0),
      m_choose(new AccentButton(u"Choose Images…"_s, this))
{
    setObjectName(u"dropZone"_s);
    setAccessibleName(title());
    setAccessibleDescription(lineText);
    m_choose->setObjectName(u"chooseImagesButton"_s);
    connect(m_choose, &QPushButton::clicked, this, [this] { m_store.presentOpenPanel(); });
    connect(&store, &AppStore::stateChanged, this, [this] {
        placeButton();
        update();
    });
    placeButton();
}

QString DropZoneView::title() const
{
    return m_targeted ? u"Drop to add"_s : u"Drop images here"_s;
}

QString DropZoneView::compareText() const
{
    const qsizetype count = m_store.state().selectedSlugs.size();
    if (count < 2)
        return {};
    return u"Each image will be run through "_s + QString::number(count) +
           u" models so you can compare"_s;
}

qreal DropZoneView::breath() const
{
    return m_breath.value();
}

void DropZoneView::setTargeted(bool targeted)
{
    if (m_targeted == targeted)
        return;
    m_targeted = targeted;
    setAccessibleName(title());
    m_target.springTo(targeted ? 1 : 0, 0.25);
    // The symbol bounces on every change, coming and going.
    m_bounce.setValue(0);
    m_bounce.animateTo(1, 450, QEasingCurve::Linear);
    update();
}

QRectF DropZoneView::zoneRect() const
{
    const bool note = !compareText().isEmpty();
    const qreal noteHeight = note ? noteGap + QFontMetricsF(noteFont()).height() : 0;
    const qreal total = zoneSize.height() + noteHeight;
    return {(width() - zoneSize.width()) / 2, std::max<qreal>(0, (height() - total) / 2),
            zoneSize.width(), zoneSize.height()};
}

QSize DropZoneView::minimumSizeHint() const
{
    return {int(zoneSize.width()) + 20, int(zoneSize.height()) + 60};
}

void DropZoneView::placeButton()
{
    const QRectF zone = zoneRect();
    const QSize button = m_choose->sizeHint();
    const qreal content = circleSide + titleGap + QFontMetricsF(titleFont()).height() + lineGap +
                          QFontMetricsF(lineFont()).height() + buttonGap + button.height();
    const qreal top = zone.top() + (zone.height() - content) / 2;
    const qreal buttonTop = top + content - button.height();
    m_choose->setGeometry(int(std::round(zone.center().x() - button.width() / 2.0)),
                          int(std::round(buttonTop)), button.width(), button.height());
}

void DropZoneView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeButton();
}

void DropZoneView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_breath.start();
}

void DropZoneView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_breath.stop();
}

void DropZoneView::paintIllustration(QPainter &painter, const QPointF &centre, qreal targeted)
{
    // A blurred gradient disc is a radial gradient fading out at its rim.
    const qreal radius = circleSide / 2 * (0.94 + (1.1 - 0.94) * m_breath.value());
    painter.save();
    painter.setOpacity(0.45 + (0.8 - 0.45) * targeted);
    QRadialGradient glow(centre, radius * 1.12, centre - QPointF(radius * 0.3, radius * 0.3));
    glow.setColorAt(0, Theme::accent());
    glow.setColorAt(0.6, Theme::withAlpha(Theme::accentSoft(), 0.85));
    glow.setColorAt(0.85, Theme::withAlpha(Theme::accentSoft(), 0.35));
    glow.setColorAt(1, Theme::withAlpha(Theme::accentSoft(), 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawEllipse(centre, radius * 1.12, radius * 1.12);
    painter.restore();

    const qreal bounce = 1 + 0.22 * std::sin(m_bounce.value() * std::numbers::pi);
    const qreal side = symbolSide * bounce;
    const QString symbol =
        m_targeted ? u"arrow.down.circle.fill"_s : u"photo.on.rectangle.angled"_s;
    // The filled arrow draws its inner stroke in white, so its disc takes a deep accent.
    const QColor tint = m_targeted ? Theme::accent().darker(135) : QColor(Qt::white);
    Icons::paint(painter, QRectF(centre - QPointF(side / 2, side / 2), QSizeF(side, side)), symbol,
                 tint, Icons::Weight::light);
}

void DropZoneView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &colours = palette();
    const qreal t = m_target.value();
    const QRectF zone = zoneRect();

    painter.save();
    const qreal scale = 1 + 0.015 * t;
    painter.translate(zone.center());
    painter.scale(scale, scale);
    painter.translate(-zone.center());
    painter.setBrush(
        mix(Theme::primaryAt(colours, 0.035), Theme::withAlpha(Theme::accent(), 0.12), t));
    const qreal lineWidth = 1 + 0.8 * t;
    QPen outline(mix(Theme::primaryAt(colours, 0.22), Theme::withAlpha(Theme::accent(), 0.9), t),
                 lineWidth);
    // Dash lengths are in pen widths.
    outline.setDashPattern({6 / lineWidth, 5 / lineWidth});
    painter.setPen(outline);
    const QRectF panel =
        zone.adjusted(lineWidth / 2, lineWidth / 2, -lineWidth / 2, -lineWidth / 2);
    painter.drawRoundedRect(panel, zoneRadius, zoneRadius);

    const QFontMetricsF titleMetrics(titleFont());
    const QFontMetricsF lineMetrics(lineFont());
    const qreal content = circleSide + titleGap + titleMetrics.height() + lineGap +
                          lineMetrics.height() + buttonGap + m_choose->height();
    qreal y = zone.top() + (zone.height() - content) / 2;
    paintIllustration(painter, QPointF(zone.center().x(), y + circleSide / 2), t);
    y += circleSide + titleGap;
    painter.setPen(Theme::primary(colours));
    painter.setFont(titleFont());
    painter.drawText(QRectF(zone.left(), y, zone.width(), titleMetrics.height()), Qt::AlignCenter,
                     title());
    y += titleMetrics.height() + lineGap;
    painter.setPen(Theme::secondary(colours));
    painter.setFont(lineFont());
    painter.drawText(QRectF(zone.left(), y, zone.width(), lineMetrics.height()), Qt::AlignCenter,
                     lineText);
    painter.restore();

    const QString note = compareText();
    if (note.isEmpty())
        return;
    const QFontMetricsF noteMetrics(noteFont());
    const qreal iconSide = 11;
    const qreal textWidth = noteMetrics.horizontalAdvance(note);
    const qreal total = iconSide + 5 + textWidth;
    const qreal top = zone.bottom() + noteGap;
    const qreal left = zone.center().x() - total / 2;
    Icons::paint(painter,
                 QRectF(left, top + (noteMetrics.height() - iconSide) / 2, iconSide, iconSide),
                 u"square.grid.2x2"_s, Theme::secondary(colours));
    painter.setPen(Theme::secondary(colours));
    painter.setFont(noteFont());
    painter.drawText(QRectF(left + iconSide + 5, top, textWidth + 2, noteMetrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, note);
}
