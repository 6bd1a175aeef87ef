#pragma once

#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QPalette>

class QWidget;

// The shared look: colours and fonts every screen paints with. Light or dark follows the palette
// (a window colour darker than mid-grey means dark); widgets repaint on QEvent::PaletteChange.
namespace Theme
{

QColor accent();
QColor accentSoft();
// From accent at the top-left corner of `rect` to accentSoft at its bottom-right.
QLinearGradient accentGradient(const QRectF &rect);

bool isDark(const QPalette &palette);
// The text colours of the three emphasis levels.
QColor primary(const QPalette &palette);
QColor secondary(const QPalette &palette);
QColor tertiary(const QPalette &palette);
// The primary colour at `opacity` (0…1): the tinted fills the screens use everywhere.
QColor primaryAt(const QPalette &palette, qreal opacity);
QColor cardFill(const QPalette &palette);
QColor cardStroke(const QPalette &palette);
QColor separator(const QPalette &palette);

// The desktop's semantic colours, tuned for each appearance.
QColor green(const QPalette &palette);
QColor orange(const QPalette &palette);
QColor red(const QPalette &palette);
QColor grey(const QPalette &palette);

QColor withAlpha(QColor colour, qreal opacity);

// A font of `pixels` device-independent pixels (fractions kept) and `weight`.
QFont font(qreal pixels, QFont::Weight weight = QFont::Normal);

// Corner radius of cards, rows and fields.
constexpr qreal cardRadius = 11;

} // namespace Theme
