#pragma once

#include "Models/Mode.h"
#include "Models/OutputDestination.h"

#include <QString>
#include <QUrl>

#include <optional>

// The placement decisions that hold for a whole run, frozen when the run starts.
struct OutputPlan {
    OutputDestination destination = OutputDestination::besideOriginal();
    // Where results of prompt jobs go when there is no input file to sit beside.
    std::optional<QUrl> fallbackFolder;
    QString fallbackExtension = QStringLiteral("png");
    // The user's suffix template with "{scale}" and "{model}".
    QString suffix;
    std::optional<double> scale;

    // `outputFolder` absent means beside the input files; `scale` is only kept for one model.
    static OutputPlan make(std::optional<Mode> mode, const std::optional<QString> &outputFolder,
                           const QString &suffix, std::optional<double> scale);
};
