#pragma once

#include "Models/Mode.h"

#include <optional>

// What one run has spent at list prices, in US dollars: the charges of its finished pairs and the
// estimates of those still going, both at the high end of their ranges, against its optional
// limit.
struct RunSpend {
    Mode mode = Mode::upscale;
    // The charges of the pairs that ended: a done pair's own charge (its estimate when the charge
    // could not be worked out), and what a failed pair was billed for its compute time.
    double charged = 0;
    // The estimates of the started pairs that have not ended.
    double inFlight = 0;
    std::optional<double> limit;
    // The limit kept the next pair from starting; the run ends once its started pairs end.
    bool stoppedAtLimit = false;
    // Pairs left waiting under the limit because no price could be worked out for them.
    int unpricedNotStarted = 0;
    // Done pairs whose charge is unknown (possible only without a limit): `charged` leaves them
    // out, so it is a lower bound.
    int unpricedDone = 0;

    double committed() const { return charged + inFlight; }
    // Whether a pair of this list price may start now.
    bool allows(double price) const;

    friend bool operator==(const RunSpend &, const RunSpend &) = default;
};
