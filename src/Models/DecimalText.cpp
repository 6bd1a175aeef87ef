#include "Models/DecimalText.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

std::optional<double> parseDecimal(const QString &text)
{
    // The pattern decides what counts as decimal; the C locale only does the arithmetic.
    static const QRegularExpression pattern(
        QStringLiteral("\\A[+-]?(?:[0-9]+\\.?[0-9]*|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?\\z"));
    if (!pattern.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    // Out of range the text is still a number: overflow reads as infinity (which the C locale
    // returns) and underflow as zero.
    if (!ok && !std::isinf(value))
        return text.startsWith(QLatin1Char('-')) ? -0.0 : 0.0;
    return value;
}

std::optional<qint64> parseDecimalInteger(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("\\A[+-]?[0-9]+\\z"));
    if (!pattern.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}
