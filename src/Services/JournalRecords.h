#pragma once

#include "Models/Mode.h"
#include "Models/RunStatus.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

// Plain copies of what the journal keeps, so they can cross to its thread and back.

struct JournalJob {
    QUuid id;
    Mode mode = Mode::upscale;
    qint64 position = 0; // order within the mode's list; gaps are fine
    bool isPrompt = false;
    QString source; // the file's URL, or the prompt text
    QStringList references;
    QString treeRoot;
    std::optional<double> pixelWidth;
    std::optional<double> pixelHeight;
    qint64 byteSize = 0;
};

struct JournalPair {
    QUuid id;
    QUuid jobId;
    int position = 0;
    QString slug;
    QString title;
    RunStatus::Kind status = RunStatus::Kind::waiting;
    QString message;
    QString predictionId;
    QString cancelURL;
    QString resultURL;
    std::optional<double> resultWidth;
    std::optional<double> resultHeight;
    std::optional<double> elapsed;
    std::optional<double> costLow;
    std::optional<double> costHigh;
    // Written on their own, never by a row of the fields above.
    QUuid runId;
    QDateTime createSentAt; // UTC; invalid when no create went out unanswered
    QString createInput;    // the JSON input of that create
    QString partFolder;     // where its result is being written; a crash may leave parts there
    QStringList outputs;    // final paths, by output index, named before the move into place
};

// Where a pair writes: with no index, the folder its parts go to; else output `index` is about to
// be given `path` as its final name.
struct JournalPlacement {
    QUuid pairId;
    std::optional<int> index;
    QString path;
};

// What a run froze when it started: enough to finish its pairs after a restart.
struct JournalRun {
    QUuid id;
    Mode mode = Mode::upscale;
    QString destinationFolder; // empty: beside the original
    QString fallbackFolder;
    QString fallbackExtension;
    QString suffix;
    std::optional<double> scale;
    bool tagWithModel = false;
    std::optional<double> spendLimit;
    double spent = 0;
};

// One turn's worth of changes, written in one transaction, in this order.
struct JournalBatch {
    QList<QUuid> removedJobs;
    QList<JournalJob> jobs;
    // Each listed job's pairs replace the ones it had.
    QList<std::pair<QUuid, QList<JournalPair>>> jobPairs;
    QList<JournalRun> runs;
    QList<std::pair<QUuid, QUuid>> pairRuns; // pair, run
    QList<JournalPair> createsSent;          // id, createSentAt and createInput only
    QList<JournalPlacement> placements;
    QList<std::pair<QUuid, double>> runsSpent; // run, what it has committed so far

    bool isEmpty() const
    {
        return removedJobs.isEmpty() && jobs.isEmpty() && jobPairs.isEmpty() && runs.isEmpty() &&
               pairRuns.isEmpty() && createsSent.isEmpty() && placements.isEmpty() &&
               runsSpent.isEmpty();
    }
};

// What the journal held at start, with what is gone from the disk already left out.
struct JournalContents {
    QList<JournalJob> jobs; // by mode, then position
    QHash<QUuid, QList<JournalPair>> pairs;
    QHash<QUuid, JournalRun> runs;
    // Why the journal cannot be used, or was replaced; empty when all is well.
    QString problem;
    bool isOpen = false;
};
