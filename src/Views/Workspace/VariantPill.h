#pragma once

#include "Models/ModelVariant.h"

#include <QColor>
#include <QPalette>
#include <QRectF>
#include <QSizeF>
#include <QString>

class QPainter;

// The status pill of one variant, painted by the job rows: a capsule tinted by the status with
// the status icon, the model's title and, once done, the result's size and charge.
namespace VariantPill
{

// Green when done, accent while working, orange when failed, grey when waiting or cancelled.
QColor colour(const RunStatus &status, const QPalette &palette);
// The tooltip: the title with timing, charge and a missing file for a done variant, the message
// of a failed one, the title and the status word otherwise.
QString helpText(const ModelVariant &variant);
// "Queued", "Preparing", … for the statuses that are not done or failed.
QString statusWord(const RunStatus &status);
// What a screen reader reads: the title, the state and, once done, the size and the charge the
// pill shows, e.g. "Real-ESRGAN, done, 1600 × 1066, $0.0023".
QString accessibleName(const ModelVariant &variant);
QSizeF sizeFor(const ModelVariant &variant);
// Paints the pill into `rect`. `transition` runs 0 → 1 after a status change, `from` being the
// colour the pill had before; 1 paints the resting look.
void paint(QPainter &painter, const QRectF &rect, const ModelVariant &variant,
           const QPalette &palette, qreal ringRotation, qreal transition = 1,
           const QColor &from = {});

constexpr qreal height = 19;

} // namespace VariantPill
