#pragma once

#include "Models/ImageJob.h"

#include <QList>
#include <QString>

#include <optional>

// The result files on disk for a batch's photos, found by name: in the photo's folder, or in the
// output folder (flat, or keeping the photo's place below the added folder). Files left by a
// crash count too, which is the point: a pair paid twice leaves a numbered second file.
struct ResultCount {
    int total = 0;
    int fewest = 0; // per photo
    int most = 0;

    static ResultCount of(const QList<ImageJobPtr> &jobs, const QString &addedFolder,
                          const std::optional<QString> &outputFolder);
};
