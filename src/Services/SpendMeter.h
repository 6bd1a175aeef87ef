#pragma once

#include "Models/ModelVariant.h"
#include "Models/RunSpend.h"

#include <QObject>

#include <memory>
#include <optional>
#include <vector>

// Keeps one run's spend: each started pair counts at its list price while it runs and at its
// charge once it ends. It follows the started pairs itself, so the total is current the moment a
// pair ends, and tells of every change of the total.
class SpendMeter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SpendMeter)
public:
    SpendMeter(Mode mode, std::optional<double> limit, QObject *parent = nullptr);

    const RunSpend &spend() const { return m_spend; }

    // A pair the run starts now, with the high end of its list price when one is known.
    void start(const ModelVariantPtr &variant, std::optional<double> price);
    // A pair left waiting because the limit cannot be checked without its price.
    void leaveUnpriced();
    // The limit kept the next pair from starting.
    void stopAtLimit();
    // The run has ended: the figures stay as they are, whatever happens to its pairs later.
    void freeze();

Q_SIGNALS:
    void changed();

private:
    struct Pair {
        ModelVariantPtr variant;
        std::optional<double> price;
        // What the pair adds to the run's figures now.
        double charged = 0;
        double inFlight = 0;
        bool unpricedDone = false;
    };
    void recount(Pair &pair);

    // Each on the heap: the connections point at it while the list grows.
    std::vector<std::unique_ptr<Pair>> m_pairs;
    RunSpend m_spend;
};
