#pragma once

#include "Models/ImageJob.h"
#include "Services/JournalRecords.h"

// Between the store's jobs and the journal's rows.
namespace JournalRows
{
JournalJob job(const ImageJob &job, Mode mode, qint64 position);
QList<JournalPair> pairs(const ImageJob &job);
// The job as it was written; its pairs come back as `restoredStatus` says.
ImageJobPtr restore(const JournalJob &job, const QList<JournalPair> &pairs);
// How a pair comes back after a restart: active work without a prediction id starts over, as
// does work that had not reached the service.
RunStatus restoredStatus(const JournalPair &pair);
// The pair was at the service when the application ended: it is picked up again rather than
// sent a second time.
bool isInFlight(const JournalPair &pair);
} // namespace JournalRows
