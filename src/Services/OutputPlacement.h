#pragma once

#include "Services/OutputPlan.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QTemporaryFile>
#include <QUrl>

#include <memory>
#include <optional>

class JobInput;

// Where one result file goes and under which name; writes it without replacing anything.
// File system failures are thrown as std::runtime_error carrying the platform's text.
namespace OutputPlacement
{

// Where `file` lies below `treeRoot`, as a relative folder path: empty when it lies directly in
// it, when either is missing, or when the file is not below it at all.
QString mirroredFolder(const QUrl &file, const QUrl &treeRoot);

// The folder for a job's results under `plan`. In a chosen folder, a file found by walking the
// tree of `treeRoot` keeps its place below that folder.
QUrl folder(const OutputPlan &plan, const JobInput &input, const QUrl &treeRoot = {});

// "{scale}" as written in a name: "up" when absent, whole numbers plain, else one decimal.
QString scaleText(std::optional<double> scale);

// The name part after the stem for output `index` of `count`, separators made harmless.
QString name(const OutputPlan &plan, const QString &modelName, bool tagWithModel, int index,
             int count);

// The extension of the output address (of its media type for a data: URI) when it is short and
// alphanumeric, else `fallback`.
QString extension(const QUrl &address, const QString &fallback);

// Where one output goes before any collision is resolved.
struct Target {
    QString folder;   // local path
    QString fileName; // stem, suffix and extension
};
Target target(const OutputPlan &plan, const JobInput &input, const QString &stem,
              const QString &modelName, bool tagWithModel, int index, int count,
              const QUrl &address, const QUrl &treeRoot = {});

// A hidden temporary file in `folderPath` (created with its parents) to write a result into,
// its name carrying `owner` (the pair's id) when given. It is removed when dropped uncommitted.
std::unique_ptr<QTemporaryFile> openPart(const QString &folderPath, const QString &owner = {});
// Whether `fileName` is exactly a name openPart() gives to a part of `owner` (never empty).
bool isPartOf(const QString &fileName, const QString &owner);
// Removes the parts of `owners` that a crash left in `folderPath`, and nothing else. Returns how
// many went.
int removeParts(const QString &folderPath, const QSet<QString> &owners);

// How many times a name is chosen again when the chosen one was taken before the move.
inline constexpr int maxCommitAttempts = 100;
// Flushes the finished part to the disk and gives it ordinary permissions.
void finishPart(QTemporaryFile &part);
// The first free name for `target`, on the disk and among the names held by this call for
// other results of this process; held until releaseName().
QString reserveName(const Target &target);
void releaseName(const QString &path);
// Moves the part to exactly `path`, never replacing a file: false when the name is taken.
bool moveInto(QTemporaryFile &part, const QString &path);

// Moves the finished part file to the first free name for `target` without ever replacing a
// file. Returns the final file.
QUrl commit(QTemporaryFile &part, const Target &target);

// Creates the folder, picks a free name and writes `bytes` atomically. Returns the written file.
QUrl place(const OutputPlan &plan, const JobInput &input, const QString &stem,
           const QString &modelName, bool tagWithModel, int index, int count, const QUrl &address,
           const QByteArray &bytes, const QUrl &treeRoot = {});

} // namespace OutputPlacement
