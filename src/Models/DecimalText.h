#pragma once

#include <QString>

#include <optional>

// Reads text that is wholly a plain decimal number ("12", "-0.5", "1e3"): no surrounding blanks,
// no group separators, no "inf" or "nan", no hexadecimal. Text that fails gives none.
std::optional<double> parseDecimal(const QString &text);

// The same for text that is wholly a decimal integer, read exactly when it fits in 64 bits.
std::optional<qint64> parseDecimalInteger(const QString &text);
