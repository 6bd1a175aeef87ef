#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

class QPainter;
class QRectF;

// Symbols by the names the designs use ("chevron.left", "checkmark.circle.fill" …), drawn from the
// vendored SVG set in resources/icons, tinted when painted and rendered at the target's device
// pixel ratio so they stay sharp on every screen.
namespace Icons
{

// How heavy the strokes look; the SVGs are line drawings whose stroke width this scales.
enum class Weight { light, regular, medium, semibold, bold };

// Whether the table knows `symbol`.
bool has(const QString &symbol);
// The symbol as a pixmap of `logicalSize` device-independent pixels at `devicePixelRatio`.
QPixmap pixmap(const QString &symbol, const QColor &tint, qreal logicalSize, qreal devicePixelRatio,
               Weight weight = Weight::regular);
// Paints the symbol centred in `rect`, square, as large as the rect's shorter side.
void paint(QPainter &painter, const QRectF &rect, const QString &symbol, const QColor &tint,
           Weight weight = Weight::regular);
// An icon for actions and tool buttons: rendered afresh for every size and pixel ratio asked;
// the disabled mode is drawn at reduced opacity.
QIcon icon(const QString &symbol, const QColor &tint, Weight weight = Weight::regular);

} // namespace Icons
