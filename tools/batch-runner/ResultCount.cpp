#include "ResultCount.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>

namespace
{
// How many files of one folder are named after each possible stem: every prefix of a name that
// ends before a character other than a letter or digit. Photos themselves and hidden files
// (unfinished downloads) are left out.
QHash<QString, int> resultsByStem(const QString &folder, const QSet<QString> &photos)
{
    QHash<QString, int> byStem;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files)) {
        if (photos.contains(dir.filePath(name)))
            continue;
        for (qsizetype end = 1; end < name.size(); ++end) {
            if (!name.at(end).isLetterOrNumber())
                ++byStem[name.left(end)];
        }
    }
    return byStem;
}
} // namespace

ResultCount ResultCount::of(const QList<ImageJobPtr> &jobs, const QString &addedFolder,
                            const std::optional<QString> &outputFolder)
{
    QSet<QString> photos;
    for (const ImageJobPtr &job : jobs)
        photos.insert(job->input().url().toLocalFile());
    QHash<QString, QHash<QString, int>> folders; // each folder read once
    const auto resultsIn = [&](const QString &folder, const QString &stem) {
        auto it = folders.find(folder);
        if (it == folders.end())
            it = folders.insert(folder, resultsByStem(folder, photos));
        return it->value(stem);
    };

    ResultCount count;
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        const ImageJob &job = *jobs.at(i);
        const QString photoFolder = QFileInfo(job.input().url().toLocalFile()).absolutePath();
        const QString stem = job.filenameStem();
        int results = 0;
        if (!outputFolder) {
            results = resultsIn(photoFolder, stem);
        } else {
            const QString below = QDir(addedFolder).relativeFilePath(photoFolder);
            const QString mirrored = QDir::cleanPath(QDir(*outputFolder).filePath(below));
            results = resultsIn(mirrored, stem);
            if (mirrored != QDir::cleanPath(*outputFolder))
                results += resultsIn(*outputFolder, stem);
        }
        count.total += results;
        count.fewest = i == 0 ? results : std::min(count.fewest, results);
        count.most = std::max(count.most, results);
    }
    return count;
}
