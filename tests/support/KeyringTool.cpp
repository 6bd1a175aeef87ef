#include "KeyringTool.h"

#include <QProcess>

namespace
{
// secret-tool prints a search's item paths on standard error and its attributes on standard
// output; a lookup prints the secret alone on standard output.
QByteArray run(const QStringList &arguments, const QByteArray &input, int *exitCode,
               bool merged = false)
{
    QProcess tool;
    if (merged)
        tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral("secret-tool"), arguments);
    tool.write(input);
    tool.closeWriteChannel();
    tool.waitForFinished(10000);
    *exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    return tool.readAllStandardOutput();
}

QStringList attributes(const QString &service)
{
    return {QStringLiteral("service"), service, QStringLiteral("account"),
            QStringLiteral("replicate-api-token")};
}
} // namespace

bool KeyringTool::store(const QString &service, const QString &secret)
{
    int code = 0;
    run(QStringList{QStringLiteral("store"), QStringLiteral("--label=test")} + attributes(service),
        secret.toUtf8(), &code);
    return code == 0;
}

std::optional<QString> KeyringTool::lookup(const QString &service)
{
    int code = 0;
    const QByteArray out =
        run(QStringList{QStringLiteral("lookup")} + attributes(service), {}, &code);
    if (code != 0)
        return std::nullopt;
    return QString::fromUtf8(out);
}

int KeyringTool::count(const QString &service)
{
    int code = 0;
    const QByteArray out =
        run(QStringList{QStringLiteral("search"), QStringLiteral("--all")} + attributes(service),
            {}, &code, true);
    int items = 0;
    for (const QByteArray &line : out.split('\n'))
        items += line.startsWith('[') ? 1 : 0;
    return items;
}
