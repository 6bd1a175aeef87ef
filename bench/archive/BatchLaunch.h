#pragma once

#include <QJsonObject>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>

// One launch of moonforge-batch, waited for to its end; or killed with SIGKILL as soon as one of
// its progress lines ("done N of M") reports at least `killAtDone` pairs done.
struct BatchLaunch {
    bool killed = false;
    int doneAtKill = 0;
    int exitCode = -1;
    QJsonObject summary; // its last line, when it ended by itself
    double seconds = 0;
    QString error;

    static BatchLaunch run(const QString &binary, const QStringList &arguments,
                           const QProcessEnvironment &environment,
                           std::optional<int> killAtDone = std::nullopt);
};
