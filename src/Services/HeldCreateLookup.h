#pragma once

#include "Models/TaskHandle.h"
#include "Services/Coroutine.h"
#include "Services/ReplicateClient.h"

#include <QDateTime>
#include <QJsonObject>
#include <QSet>
#include <QString>

#include <optional>

// A create whose answer was lost (the application ended while the service held it) may still
// have started a paid prediction. The service lists recent predictions newest first; the one
// for the lost create has the same model and input and was made after the create went out.
namespace HeldCreateLookup
{
// Service and local clocks may disagree by this much; both keep network time, and a wider
// window would take in an earlier prediction of the same input made just before.
constexpr int clockSlackSeconds = 10;
// Enough for the predictions of many hours of runs.
constexpr int maxPages = 20;

// The id of the earliest prediction of `slug` with exactly `input` created at or after
// `sentAt`, other than those in `claimed`; none when the create never reached the service.
QCoro::Task<std::optional<QString>> find(ReplicateClient client, QString slug, QJsonObject input,
                                         QDateTime sentAt, QSet<QString> claimed,
                                         TaskHandle handle);
} // namespace HeldCreateLookup
