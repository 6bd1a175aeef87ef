#include "Services/SpendMeter.h"

SpendMeter::SpendMeter(Mode mode, std::optional<double> limit, QObject *parent) : QObject(parent)
{
    m_spend.mode = mode;
    m_spend.limit = limit;
}

void SpendMeter::start(const ModelVariantPtr &variant, std::optional<double> price)
{
    m_pairs.push_back(std::make_unique<Pair>(Pair{variant, price}));
    Pair *pair = m_pairs.back().get();
    connect(variant.get(), &ModelVariant::statusChanged, this, [this, pair] { recount(*pair); });
    connect(variant.get(), &ModelVariant::costChanged, this, [this, pair] { recount(*pair); });
    recount(*pair);
}

void SpendMeter::leaveUnpriced()
{
    ++m_spend.unpricedNotStarted;
    Q_EMIT changed();
}

void SpendMeter::stopAtLimit()
{
    if (m_spend.stoppedAtLimit)
        return;
    m_spend.stoppedAtLimit = true;
    Q_EMIT changed();
}

void SpendMeter::freeze()
{
    for (const std::unique_ptr<Pair> &pair : m_pairs)
        disconnect(pair->variant.get(), nullptr, this, nullptr);
    m_pairs.clear();
}

void SpendMeter::recount(Pair &pair)
{
    const RunStatus status = pair.variant->status();
    double charged = 0;
    double inFlight = 0;
    bool unpricedDone = false;
    if (!status.isTerminal()) {
        inFlight = pair.price.value_or(0);
    } else if (const std::optional<CostRange> cost = pair.variant->cost()) {
        // Also a failed pair billed for its compute time, or one cancelled after it succeeded.
        charged = cost->high;
    } else if (status.kind() == RunStatus::Kind::done) {
        // The charge could not be worked out from the result: the list price it started at
        // stands in, so a limit is never passed unseen.
        if (pair.price)
            charged = *pair.price;
        else
            unpricedDone = true;
    }
    if (charged == pair.charged && inFlight == pair.inFlight && unpricedDone == pair.unpricedDone)
        return;
    m_spend.charged += charged - pair.charged;
    // Adding and taking away the same estimates may leave a trace of rounding behind.
    m_spend.inFlight += inFlight - pair.inFlight;
    if (m_spend.inFlight < 1e-12)
        m_spend.inFlight = 0;
    m_spend.unpricedDone += int(unpricedDone) - int(pair.unpricedDone);
    pair.charged = charged;
    pair.inFlight = inFlight;
    pair.unpricedDone = unpricedDone;
    Q_EMIT changed();
}
