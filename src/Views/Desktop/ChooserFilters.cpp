#include "Views/Desktop/ChooserFilters.h"

#include <QMimeDatabase>

namespace ChooserFilters
{
QStringList nameFilters(const QStringList &mimeTypes, bool offerAllFiles)
{
    QStringList filters;
    if (!mimeTypes.isEmpty()) {
        const QMimeDatabase db;
        QStringList globs;
        for (const QString &name : mimeTypes) {
            for (const QString &glob : db.mimeTypeForName(name).globPatterns()) {
                if (!globs.contains(glob))
                    globs.append(glob);
            }
        }
        filters.append(imagesName() + QStringLiteral(" (") + globs.join(u' ') + u')');
    }
    if (offerAllFiles || filters.isEmpty())
        filters.append(allFilesName() + QStringLiteral(" (*)"));
    return filters;
}
} // namespace ChooserFilters
