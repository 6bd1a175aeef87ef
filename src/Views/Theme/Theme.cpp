#include "Views/Theme/Theme.h"

#include <QGuiApplication>
#include <QScreen>

namespace Theme
{

QColor accent()
{
    return QColor::fromRgbF(0.46f, 0.38f, 1.0f);
}

QColor accentSoft()
{
    return QColor::fromRgbF(0.72f, 0.36f, 1.0f);
}

QLinearGradient accentGradient(const QRectF &rect)
{
    QLinearGradient gradient(rect.topLeft(), rect.bottomRight());
    gradient.setColorAt(0, accent());
    gradient.setColorAt(1, accentSoft());
    return gradient;
}

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

QColor withAlpha(QColor colour, qreal opacity)
{
    colour.setAlphaF(static_cast<float>(colour.alphaF() * opacity));
    return colour;
}

QColor primary(const QPalette &palette)
{
    return palette.color(QPalette::WindowText);
}

QColor primaryAt(const QPalette &palette, qreal opacity)
{
    return withAlpha(primary(palette), opacity);
}

QColor secondary(const QPalette &palette)
{
    return primaryAt(palette, isDark(palette) ? 0.55 : 0.5);
}

QColor tertiary(const QPalette &palette)
{
    return primaryAt(palette, isDark(palette) ? 0.25 : 0.26);
}

QColor cardFill(const QPalette &palette)
{
    return primaryAt(palette, 0.05);
}

QColor separator(const QPalette &palette)
{
    return isDark(palette) ? QColor(255, 255, 255, 26) : QColor(0, 0, 0, 26);
}

QColor cardStroke(const QPalette &palette)
{
    return separator(palette);
}

QColor green(const QPalette &palette)
{
    return isDark(palette) ? QColor(48, 209, 88) : QColor(40, 167, 69);
}

QColor orange(const QPalette &palette)
{
    return isDark(palette) ? QColor(255, 159, 10) : QColor(230, 126, 0);
}

QColor red(const QPalette &palette)
{
    return isDark(palette) ? QColor(255, 69, 58) : QColor(224, 49, 49);
}

QColor grey(const QPalette &palette)
{
    return isDark(palette) ? QColor(152, 152, 157) : QColor(142, 142, 147);
}

QFont font(qreal pixels, QFont::Weight weight)
{
    QFont result = QGuiApplication::font();
    // Pixel sizes are whole numbers in QFont; a point size at the screen's logical DPI keeps the
    // designed half sizes (10.5, 11.5 …) without rounding them away.
    const QScreen *screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    result.setPointSizeF(pixels * 72.0 / dpi);
    result.setWeight(weight);
    return result;
}

} // namespace Theme
