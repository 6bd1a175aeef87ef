#pragma once

#include "BatchOptions.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

class AppStore;

// Drives one store through a folder as a person at the window would: upscale mode, one model,
// subfolders included, the folder added, Run pressed, and pressed again while pairs are left and
// the last run got somewhere. Prints "done N of M" once a second and one JSON line at the end.
class BatchRun final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BatchRun)
public:
    BatchRun(AppStore &store, BatchOptions options);
    ~BatchRun() override;

    // 0 when every pair is done, 1 when some are not, 2 when the store could not run at all.
    int exec();

private:
    struct Tally {
        int pairs = 0;
        int done = 0;
        int failed = 0;
        int cancelled = 0;
        int waiting = 0;
        int active = 0;
    };
    Tally tally() const;
    // Runs the event loop until `holds` is true, looking again at every change of the store.
    void waitUntil(const std::function<bool()> &holds);
    bool prepare();
    void addFolderUnlessResuming();
    void runUntilNothingMoves();
    void printProgress() const;
    void printSummary() const;

    AppStore &m_store;
    BatchOptions m_options;
    QElapsedTimer m_clock;
    QTimer m_progress;
    int m_runs = 0;
};
