#include "Services/AppVersion.h"

#include "Version.h"

namespace AppVersion
{

QString text(const QString &shortVersion, const QString &build)
{
    const auto orMark = [](const QString &value) {
        const QString trimmed = value.trimmed();
        return trimmed.isEmpty() ? QStringLiteral("?") : trimmed;
    };
    return orMark(shortVersion) + u" (" + orMark(build) + u')';
}

QString current()
{
    return text(QStringLiteral(MOONFORGE_VERSION), QStringLiteral(MOONFORGE_BUILD_NUMBER));
}

} // namespace AppVersion
