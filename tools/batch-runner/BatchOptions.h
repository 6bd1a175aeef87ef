#pragma once

#include "Services/AppEnvironment.h"

#include <QString>

#include <optional>

class QCoreApplication;

// What one launch of moonforge-batch works on, from its command line and the environment.
struct BatchOptions {
    QString folder;                      // absolute path of the folder of photos
    std::optional<QString> outputFolder; // absolute; none puts results beside the photos
    QString modelSlug;
    AppEnvironment environment;

    // Handles --help itself; prints what is wrong and gives nothing on a mistake.
    static std::optional<BatchOptions> read(const QCoreApplication &app);
};
