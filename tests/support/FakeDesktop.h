#pragma once

#include "Services/Desktop.h"

#include <QStringList>

// The desktop as a test scripts it: open panels answer from a queue, folder choosers with one
// folder, and every request is recorded for the test to read back.
class FakeDesktop final : public Desktop
{
public:
    // One answer per open panel, in order; once they run out a panel is cancelled.
    QList<QList<QUrl>> fileAnswers;
    // What every folder chooser answers; empty cancels.
    QUrl folderAnswer;

    QList<OpenRequest> openRequests;
    QStringList folderTitles;
    // Each reveal's files.
    QList<QList<QUrl>> revealed;

    QList<QUrl> chooseFiles(const OpenRequest &request) override
    {
        openRequests.append(request);
        return fileAnswers.isEmpty() ? QList<QUrl>() : fileAnswers.takeFirst();
    }
    QUrl chooseFolder(const QString &title) override
    {
        folderTitles.append(title);
        return folderAnswer;
    }
    void reveal(const QList<QUrl> &files) override { revealed.append(files); }
};
