#include "Views/DesktopServices.h"

#include "Views/Desktop/FileAndFolderDialog.h"
#include "Views/Desktop/PortalFileChooser.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QScopedValueRollback>

DesktopServices::DesktopServices(QWidget *dialogParent)
    : DesktopServices(QDBusConnection::sessionBus(), dialogParent)
{
}

DesktopServices::DesktopServices(const QDBusConnection &bus, QWidget *dialogParent)
    : m_bus(bus), m_parent(dialogParent)
{
}

QList<QUrl> DesktopServices::chooseFiles(const OpenRequest &request)
{
    if (m_choosing)
        return {};
    const QScopedValueRollback choosing(m_choosing, true);
    if (std::optional<QList<QUrl>> chosen = PortalFileChooser::open(m_bus, request, m_parent))
        return *chosen;
    return FileAndFolderDialog::choose(request, m_parent);
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
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, 3000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [folder](QDBusPendingCallWatcher *finished) {
                         // No file browser answered on the bus: open the folder of the first file.
                         if (finished->isError())
                             QDesktopServices::openUrl(folder);
                         finished->deleteLater();
                     });
}
