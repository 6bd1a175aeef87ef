#pragma once

#include "Models/CostRange.h"
#include "Models/Mode.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// One kept result of a finished job, as stored.
struct VariantSnapshot {
    QString slug;
    QString title;
    QUrl resultURL;
    std::optional<double> resultWidth;
    std::optional<double> resultHeight;
    std::optional<double> elapsed;
    std::optional<CostRange> cost;

    friend bool operator==(const VariantSnapshot &, const VariantSnapshot &) = default;
};

// One finished job of a mode's list, as the record kept before the journal stored it: a file job
// has `fileURL`, a prompt job `prompt` and its `references`. Read once, into a new journal.
struct JobSnapshot {
    Mode mode = Mode::upscale;
    std::optional<QUrl> fileURL;
    std::optional<QString> prompt;
    QList<QUrl> references;
    std::optional<double> pixelWidth;
    std::optional<double> pixelHeight;
    qint64 byteSize = 0;
    QList<VariantSnapshot> variants;

    // The stored document is one array of snapshots. Encoding gives none when a value cannot be
    // written as JSON; decoding throws StoredDecodeError when the document cannot be read whole.
    static std::optional<QByteArray> encode(const QList<JobSnapshot> &snapshots);
    static QList<JobSnapshot> decode(const QByteArray &bytes);

    friend bool operator==(const JobSnapshot &, const JobSnapshot &) = default;
};
