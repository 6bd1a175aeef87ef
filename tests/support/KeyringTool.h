#pragma once

#include <QProcess>
#include <QString>

#include <optional>

// The session keyring as secret-tool sees it, so tests check what our code left there without
// asking our code. A search lists its item paths ("[/1]") on standard error.
namespace KeyringTool
{
inline QByteArray run(const QString &command, const QString &service, const QByteArray &input,
                      int *code, QProcess::ProcessChannelMode channels = QProcess::SeparateChannels)
{
    QProcess tool;
    tool.setProcessChannelMode(channels);
    const QStringList options = command == "store"    ? QStringList{"--label=test"}
                                : command == "search" ? QStringList{"--all"}
                                                      : QStringList();
    tool.start("secret-tool",
               QStringList{command} + options +
                   QStringList{"service", service, "account", "replicate-api-token"});
    tool.write(input);
    tool.closeWriteChannel();
    tool.waitForFinished(10000);
    *code = tool.exitCode();
    return tool.readAllStandardOutput();
}
inline bool store(const QString &service, const QString &secret)
{
    int code = -1;
    run("store", service, secret.toUtf8(), &code);
    return code == 0;
}
inline std::optional<QString> lookup(const QString &service)
{
    int code = -1;
    const QString secret = QString::fromUtf8(run("lookup", service, {}, &code));
    return code == 0 ? std::optional(secret) : std::nullopt;
}
inline qsizetype count(const QString &service)
{
    int code = -1;
    return QByteArray("\n")
        .append(run("search", service, {}, &code, QProcess::MergedChannels))
        .count("\n[/");
}
} // namespace KeyringTool
