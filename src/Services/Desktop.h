#pragma once

#include <QList>
#include <QString>
#include <QUrl>

// The desktop services the store asks for: open panels and revealing files. The application
// supplies widget-based ones; tests supply scripted ones.
class Desktop
{
public:
    virtual ~Desktop() = default;

    struct OpenRequest {
        QString title;
        // The text of the button that confirms the choice.
        QString acceptLabel;
        bool allowMultiple = true;
        bool allowFolders = false;
        // MIME types offered in the panel's filter; empty offers every file.
        QStringList mimeTypes;
        // Whether an "All files" filter follows the one of `mimeTypes`.
        bool offerAllFiles = false;
    };
    // Shows a modal open panel; empty when the user cancels.
    virtual QList<QUrl> chooseFiles(const OpenRequest &request) = 0;
    virtual QUrl chooseFolder(const QString &title) = 0;
    // Shows the files selected in the file browser.
    virtual void reveal(const QList<QUrl> &files) = 0;
};
