#include "Services/OutputPlan.h"

OutputPlan OutputPlan::make(std::optional<Mode> mode, const std::optional<QString> &outputFolder,
                            const QString &suffix, std::optional<double> scale)
{
    OutputPlan plan;
    if (outputFolder)
        plan.destination = OutputDestination::folder(QUrl::fromLocalFile(*outputFolder));
    if (mode == Mode::image)
        plan.fallbackFolder =
            QUrl::fromLocalFile(Modes::userFolder(QStandardPaths::PicturesLocation));
    else if (mode == Mode::video)
        plan.fallbackFolder =
            QUrl::fromLocalFile(Modes::userFolder(QStandardPaths::MoviesLocation));
    plan.fallbackExtension = mode == Mode::video ? QStringLiteral("mp4") : QStringLiteral("png");
    plan.suffix = suffix;
    plan.scale = scale;
    return plan;
}
