#include "BatchOptions.h"

#include "Models/ModeState.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace
{
std::nullopt_t mistake(const QString &text)
{
    std::fprintf(stderr, "moonforge-batch: %s\n", qUtf8Printable(text));
    return std::nullopt;
}

QString absolute(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}
} // namespace

std::optional<BatchOptions> BatchOptions::read(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Upscales every photo of FOLDER and its subfolders through Moonforge's own store, with no "
        "window. Launched again over the same settings after a crash, it carries on with the jobs "
        "its journal lists. The token comes from REPLICATE_API_TOKEN only."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption settings(
        QStringLiteral("settings"),
        QStringLiteral("Settings file (else MOONFORGE_SETTINGS_FILE); never the user's own."),
        QStringLiteral("file"));
    const QCommandLineOption journal(
        QStringLiteral("journal"),
        QStringLiteral("Job journal (else MOONFORGE_JOURNAL_FILE, else beside the settings)."),
        QStringLiteral("file"));
    const QCommandLineOption service(
        QStringLiteral("service"),
        QStringLiteral("Base address of a stand-in service: its API under /v1, its model pages "
                       "at the root (else MOONFORGE_API_BASE and MOONFORGE_WEB_BASE)."),
        QStringLiteral("url"));
    const QCommandLineOption model(QStringLiteral("model"),
                                   QStringLiteral("Upscale model (default: the mode's default)."),
                                   QStringLiteral("owner/name"));
    const QCommandLineOption output(QStringLiteral("output"),
                                    QStringLiteral("Results go here instead of beside the photos."),
                                    QStringLiteral("folder"));
    parser.addOptions({settings, journal, service, model, output});
    parser.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("The photos."));
    // Parsed here rather than by process(), which would exit with a status of its own.
    if (!parser.parse(app.arguments()))
        return mistake(parser.errorText());
    if (parser.isSet(help))
        parser.showHelp(0);

    if (parser.positionalArguments().size() != 1)
        return mistake(QStringLiteral("give exactly one folder of photos (see --help)"));
    BatchOptions options;
    options.folder = absolute(parser.positionalArguments().constFirst());
    if (!QFileInfo(options.folder).isDir())
        return mistake(QStringLiteral("%1 is not a folder").arg(options.folder));
    if (parser.isSet(output))
        options.outputFolder = absolute(parser.value(output));
    options.modelSlug = parser.isSet(model)
                            ? parser.value(model)
                            : ModeState::defaultFor(Mode::upscale).selectedSlugs.constFirst();

    AppEnvironment &environment = options.environment;
    environment = AppEnvironment::production();
    if (parser.isSet(settings))
        environment.settingsPath = absolute(parser.value(settings));
    // Ten thousand jobs must never land in the user's own list.
    if (environment.settingsPath.isEmpty())
        return mistake(QStringLiteral("give a settings file (--settings or "
                                      "MOONFORGE_SETTINGS_FILE)"));
    if (parser.isSet(journal))
        environment.journalPath = absolute(parser.value(journal));
    else if (qEnvironmentVariableIsEmpty("MOONFORGE_JOURNAL_FILE"))
        environment.journalPath = QFileInfo(environment.settingsPath)
                                      .absoluteDir()
                                      .filePath(QStringLiteral("journal.sqlite3"));
    if (parser.isSet(service)) {
        const QUrl base(parser.value(service));
        environment.webBase = base;
        environment.apiBase = base.resolved(QUrl(QStringLiteral("/v1")));
    }
    // Only the environment's token: the desktop's keyring item stays with the desktop, so a real
    // token never reaches a stand-in by accident.
    if (qEnvironmentVariableIsEmpty("MOONFORGE_KEYRING_PREFIX"))
        environment.keychainPrefix = QStringLiteral("org.moonforge.batch");
    if (environment.environmentToken.isEmpty())
        return mistake(QStringLiteral("set REPLICATE_API_TOKEN"));
    // Schemas and prices of a stand-in must not end up in the desktop's caches.
    environment.cacheFolder.clear();
    return options;
}
