#include "Services/AppEnvironment.h"

#include <QDir>
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
    const QString caches = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!caches.isEmpty())
        environment.cacheFolder = QDir(caches).filePath(QStringLiteral("Moonforge"));
    return environment;
}
