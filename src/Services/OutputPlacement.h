#pragma once

#include "Services/OutputPlan.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

class JobInput;

// Where one result file goes and under which name; writes it without replacing anything.
// File system failures are thrown as std::runtime_error carrying the platform's text.
namespace OutputPlacement
{

// The folder for a job's results under `plan`.
QUrl folder(const OutputPlan &plan, const JobInput &input);

// "{scale}" as written in a name: "up" when absent, whole numbers plain, else one decimal.
QString scaleText(std::optional<double> scale);

// The name part after the stem for output `index` of `count`, separators made harmless.
QString name(const OutputPlan &plan, const QString &modelName, bool tagWithModel, int index,
             int count);

// The extension of the output address when it is short and alphanumeric, else `fallback`.
QString extension(const QUrl &address, const QString &fallback);

// Creates the folder, picks a free name and writes `bytes` atomically. Returns the written file.
QUrl place(const OutputPlan &plan, const JobInput &input, const QString &stem,
           const QString &modelName, bool tagWithModel, int index, int count, const QUrl &address,
           const QByteArray &bytes);

} // namespace OutputPlacement
