#include "BatchLaunch.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>

#include <sys/prctl.h>

#include <csignal>

BatchLaunch BatchLaunch::run(const QString &binary, const QStringList &arguments,
                             const QProcessEnvironment &environment, std::optional<int> killAtDone)
{
    static const QRegularExpression progress(QStringLiteral("^done (\\d+) of (\\d+)$"));
    BatchLaunch launch;
    QProcess batch;
    batch.setProcessEnvironment(environment);
    batch.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    batch.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    QElapsedTimer clock;
    clock.start();
    batch.start(binary, arguments);
    if (!batch.waitForStarted(10000)) {
        launch.error = batch.errorString();
        return launch;
    }
    QByteArray last;
    const auto readLines = [&] {
        while (batch.canReadLine()) {
            const QByteArray line = batch.readLine().trimmed();
            last = line;
            const QRegularExpressionMatch match = progress.match(QString::fromUtf8(line));
            if (!launch.killed && killAtDone && match.hasMatch() &&
                match.captured(1).toInt() >= *killAtDone) {
                batch.kill();
                launch.killed = true;
                launch.doneAtKill = match.captured(1).toInt();
            }
        }
    };
    while (batch.state() != QProcess::NotRunning) {
        batch.waitForReadyRead(1000);
        readLines();
    }
    readLines();
    launch.seconds = double(clock.nsecsElapsed()) / 1e9;
    launch.exitCode = batch.exitStatus() == QProcess::NormalExit ? batch.exitCode() : -1;
    if (!launch.killed)
        launch.summary = QJsonDocument::fromJson(last).object();
    return launch;
}
