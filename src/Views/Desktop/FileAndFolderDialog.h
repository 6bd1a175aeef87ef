#pragma once

#include "Services/Desktop.h"

#include <QFileDialog>

// Qt's open panel, for desktops without a file-chooser portal. When folders may be chosen it is
// Qt's own widget dialog, whose "Add" takes a selected folder as it is instead of entering it;
// a double click still enters a folder, and so does a typed path ending in "/".
class FileAndFolderDialog final : public QFileDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileAndFolderDialog)
public:
    FileAndFolderDialog(const Desktop::OpenRequest &request, QWidget *parent = nullptr);

    // Runs the dialog modally; empty when it was dismissed.
    static QList<QUrl> choose(const Desktop::OpenRequest &request, QWidget *parent);
    QList<QUrl> chosen() const;

public Q_SLOTS:
    void accept() override;

private:
    bool m_allowFolders;
    QList<QUrl> m_chosen;
};
