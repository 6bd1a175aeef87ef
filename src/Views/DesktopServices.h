#pragma once

#include "Services/Desktop.h"

#include <QDBusConnection>

class QWidget;

// The real desktop: the file-chooser portal's open panel with Qt's dialog where no portal
// answers, and the file browser over the freedesktop FileManager1 interface with the folder
// opened as a fallback.
class DesktopServices : public Desktop
{
public:
    explicit DesktopServices(QWidget *dialogParent = nullptr);
    // Asks the portal on `bus` (tests use a private one).
    DesktopServices(const QDBusConnection &bus, QWidget *dialogParent);
    // The window the panels open over; the application sets it once its window exists.
    void setDialogParent(QWidget *dialogParent) { m_parent = dialogParent; }

    QList<QUrl> chooseFiles(const OpenRequest &request) override;
    QUrl chooseFolder(const QString &title) override;
    void reveal(const QList<QUrl> &files) override;

private:
    QDBusConnection m_bus;
    QWidget *m_parent;
    // One open panel at a time: the portal's wait still delivers events.
    bool m_choosing = false;
};
