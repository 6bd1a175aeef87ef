#include "Models/RunSpend.h"

bool RunSpend::allows(double price) const
{
    // Sums of cents in binary fractions miss by a hair; a pair that brings the run exactly to its
    // limit is within it.
    constexpr double tolerance = 1e-9;
    return !limit || committed() + price <= *limit + tolerance;
}
