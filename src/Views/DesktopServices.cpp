#include "Views/DesktopServices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeDatabase>

QList<QUrl> DesktopServices::chooseFiles(const OpenRequest &request)
{
    QFileDialog dialog(m_parent, request.title);
    dialog.setFileMode(request.allowMultiple ? QFileDialog::ExistingFiles
                                             : QFileDialog::ExistingFile);
    if (!request.mimeTypes.isEmpty())
        dialog.setMimeTypeFilters(request.mimeTypes);
    if (request.allowFolders) {
        // Qt's panels pick either files or folders; offer folders through the file list too.
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedUrls();
}

QUrl DesktopServices::chooseFolder(const QString &title)
{
    return QFileDialog::getExistingDirectoryUrl(m_parent, title);
}

void DesktopServices::reveal(const QList<QUrl> &files)
{
    if (files.isEmpty())
        return;
    QStringList uris;
    for (const QUrl &file : files)
        uris.append(file.toString(QUrl::FullyEncoded));
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    // Asynchronous, so a slow or absent file browser never stalls the window.
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(files.first().toLocalFile()).absolutePath());
    auto *watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, 3000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [folder](QDBusPendingCallWatcher *finished) {
                         // No file browser answered on the bus: open the folder of the first file.
                         if (finished->isError())
                             QDesktopServices::openUrl(folder);
                         finished->deleteLater();
                     });
}
