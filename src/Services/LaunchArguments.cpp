#include "Services/LaunchArguments.h"

#include "Services/AppVersion.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace
{
// An argument that starts like a URI ("file:", "sftp:") and is not a file of that name.
bool looksLikeUri(const QString &argument, const QString &path)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    return scheme.match(argument).hasMatch() && !QFileInfo::exists(path);
}

// A local file's URL from a command-line argument; empty when it names nothing on this machine.
QUrl localFile(const QString &argument, const QDir &workingDirectory)
{
    const QString path = QDir::cleanPath(workingDirectory.absoluteFilePath(argument));
    if (!looksLikeUri(argument, path))
        return QUrl::fromLocalFile(path);
    QUrl url(argument);
    // "file://localhost/…" is this machine too; any other host is not.
    if (url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        url.setHost(QString());
    if (!url.isValid() || !url.isLocalFile() || !url.host().isEmpty())
        return {};
    const QString local = url.toLocalFile();
    if (!QDir::isAbsolutePath(local))
        return {};
    return QUrl::fromLocalFile(QDir::cleanPath(local));
}
} // namespace

LaunchArguments LaunchArguments::parse(const QStringList &arguments,
                                       const QString &workingDirectory)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Upscale images and generate images and video with hosted models."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("files"),
        QStringLiteral("Image files, folders of images or file:// URIs to queue for upscaling. "
                       "A running Moonforge receives them."),
        QStringLiteral("[FILE|FOLDER|URI…]"));

    LaunchArguments launch;
    if (!parser.parse(arguments)) {
        launch.action = Action::fail;
        launch.text = parser.errorText();
        return launch;
    }
    if (parser.isSet(help)) {
        launch.action = Action::showHelp;
        launch.text = parser.helpText();
        return launch;
    }
    if (parser.isSet(version)) {
        launch.action = Action::showVersion;
        launch.text = QStringLiteral("Moonforge ") + AppVersion::current() + u'\n';
        return launch;
    }
    const QDir base(workingDirectory);
    for (const QString &argument : parser.positionalArguments()) {
        const QUrl file = localFile(argument, base);
        if (file.isEmpty())
            launch.skipped.append(argument);
        else
            launch.files.append(file);
    }
    return launch;
}

bool LaunchArguments::onlyPrints(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--"))
            return false;
        for (const char *option : {"-h", "--help", "-v", "--version"}) {
            if (argument == QLatin1String(option))
                return true;
        }
    }
    return false;
}
