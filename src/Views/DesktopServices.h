#pragma once

#include "Services/Desktop.h"

class QWidget;

// The real desktop: Qt file dialogs, and the file browser over the freedesktop FileManager1
// interface with the folder opened as a fallback.
class DesktopServices : public Desktop
{
public:
    explicit DesktopServices(QWidget *dialogParent = nullptr) : m_parent(dialogParent) {}
    // The window the panels open over; the application sets it once its window exists.
    void setDialogParent(QWidget *dialogParent) { m_parent = dialogParent; }

    QList<QUrl> chooseFiles(const OpenRequest &request) override;
    QUrl chooseFolder(const QString &title) override;
    void reveal(const QList<QUrl> &files) override;

private:
    QWidget *m_parent;
};
