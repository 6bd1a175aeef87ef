#pragma once

#include <QMetaType>

// An estimated charge in US dollars, as a closed range.
struct CostRange {
    double low = 0;
    double high = 0;

    CostRange operator+(const CostRange &other) const
    {
        return {low + other.low, high + other.high};
    }
    CostRange operator*(double factor) const { return {low * factor, high * factor}; }
    friend bool operator==(const CostRange &, const CostRange &) = default;
};

Q_DECLARE_METATYPE(CostRange)
