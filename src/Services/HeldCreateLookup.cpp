#include "Services/HeldCreateLookup.h"

namespace HeldCreateLookup
{

QCoro::Task<std::optional<QString>> find(ReplicateClient client, QString slug, QJsonObject input,
                                         QDateTime sentAt, QSet<QString> claimed, TaskHandle handle)
{
    const QDateTime earliest = sentAt.addSecs(-clockSlackSeconds);
    std::optional<QString> found;
    QString address;
    for (int page = 0; page < maxPages; ++page) {
        auto listing = client.listPredictions(address, handle);
        const ReplicateClient::PredictionPage listed = co_await listing;
        for (const ReplicateClient::ListedPrediction &entry : listed.results) {
            if (entry.createdAt.isValid() && entry.createdAt < earliest)
                co_return found; // older ones follow
            // Newest first: the last match seen is the earliest one.
            if (entry.model == slug && entry.input == input &&
                !claimed.contains(entry.prediction.id))
                found = entry.prediction.id;
        }
        if (!listed.next)
            break;
        address = *listed.next;
    }
    co_return found;
}

} // namespace HeldCreateLookup
