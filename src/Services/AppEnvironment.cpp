#include "Services/AppEnvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

AppEnvironment AppEnvironment::production()
{
    AppEnvironment environment;
    const QString apiBase = qEnvironmentVariable("MOONFORGE_API_BASE");
    if (!apiBase.isEmpty())
        environment.apiBase = QUrl(apiBase);
    const QString webBase = qEnvironmentVariable("MOONFORGE_WEB_BASE");
    if (!webBase.isEmpty())
        environment.webBase = QUrl(webBase);
    environment.environmentToken = qEnvironmentVariable("REPLICATE_API_TOKEN").trimmed();
    // The offline demo keeps its own settings file and keyring item, so its work never mixes with
    // real work and a real token never goes to the stand-in.
    environment.settingsPath = qEnvironmentVariable("MOONFORGE_SETTINGS_FILE");
    environment.journalPath = qEnvironmentVariable("MOONFORGE_JOURNAL_FILE");
    if (environment.journalPath.isEmpty() && !environment.settingsPath.isEmpty()) {
        // A separate settings file (the offline demo) keeps its own journal beside it.
        environment.journalPath = QFileInfo(environment.settingsPath)
                                      .absoluteDir()
                                      .filePath(QStringLiteral("journal.sqlite3"));
    }
    if (environment.journalPath.isEmpty()) {
        const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        if (!data.isEmpty())
            environment.journalPath = QDir(data).filePath(QStringLiteral("journal.sqlite3"));
    }
    const QString keyringPrefix = qEnvironmentVariable("MOONFORGE_KEYRING_PREFIX").trimmed();
    if (!keyringPrefix.isEmpty())
        environment.keychainPrefix = keyringPrefix;
    const QString caches = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!caches.isEmpty())
        environment.cacheFolder = QDir(caches).filePath(QStringLiteral("Moonforge"));
    return environment;
}

std::unique_ptr<QSettings> AppEnvironment::openSettings() const
{
    return openSettings(settingsPath);
}

std::unique_ptr<QSettings> AppEnvironment::openSettings(const QString &settingsPath)
{
    // Named here rather than taken from the application object, which a worker thread or a
    // tool may not have set up.
    if (settingsPath.isEmpty())
        return std::make_unique<QSettings>(QStringLiteral("Moonforge"),
                                           QStringLiteral("Moonforge"));
    return std::make_unique<QSettings>(settingsPath, QSettings::IniFormat);
}
