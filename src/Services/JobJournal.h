#pragma once

#include "Models/TaskHandle.h"
#include "Services/Coroutine.h"
#include "Services/JournalRecords.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <functional>
#include <vector>

class JournalDatabase;

// The GUI thread's side of the job journal. Changes are gathered during a turn of the event loop
// and handed to the journal's own thread as one batch, written there in one transaction; the GUI
// thread never waits for the file, except once, when the journal closes.
class JobJournal final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(JobJournal)
public:
    explicit JobJournal(const QString &path, QObject *parent = nullptr);
    // Writes what is pending, then closes the file and ends the thread.
    ~JobJournal() override;

    // Reads the journal on its thread; `done` gets what it held, on the GUI thread.
    void open(const QByteArray &history, std::function<void(JournalContents)> done);
    // False until opened, and for good when the file could not be used.
    bool isOpen() const { return m_open; }

    void putJob(const JournalJob &job);
    void putPairs(const QUuid &jobId, const QList<JournalPair> &pairs);
    void removeJob(const QUuid &jobId);
    void putRun(const JournalRun &run);
    void assignRun(const QUuid &pairId, const QUuid &runId);
    void createSent(const QUuid &pairId, const QDateTime &at, const QJsonObject &input);
    void partFolder(const QUuid &pairId, const QString &folder);
    void outputNamed(const QUuid &pairId, int index, const QString &path);
    void runSpent(const QUuid &runId, double spent);

    // Hands what is pending to the journal's thread now rather than at the end of the turn.
    void flushNow();
    // Resumes once everything handed over so far is committed, or after `commitWaitMs` when the
    // disk is that slow; at once when the journal is closed or gone.
    static QCoro::Task<void> committed(QPointer<JobJournal> journal);
    // Records that a create for `pairId` goes out now with `input`, and resumes once that is on
    // disk: a crash after this point finds the pair's prediction on the service by its input.
    static QCoro::Task<void> recordCreate(QPointer<JobJournal> journal, QUuid pairId,
                                          QJsonObject input);
    // Records that output `index` of `pairId` is given `path` now, and resumes once that is on
    // disk: a crash after the move finds the result there instead of fetching it again.
    static QCoro::Task<void> recordOutput(QPointer<JobJournal> journal, QUuid pairId, int index,
                                          QString path);
    static constexpr int commitWaitMs = 2000;

private:
    void scheduleFlush();
    void flush();
    void acknowledge(quint64 ticket);

    QThread m_thread;
    JournalDatabase *m_database = nullptr; // lives on m_thread
    bool m_open = false;
    bool m_flushPosted = false;
    QList<QUuid> m_removed;
    QHash<QUuid, JournalJob> m_jobs;
    QHash<QUuid, QList<JournalPair>> m_pairs;
    QList<JournalRun> m_runs;
    QList<std::pair<QUuid, QUuid>> m_pairRuns;
    QList<JournalPair> m_createsSent;
    QList<JournalPlacement> m_placements;
    QHash<QUuid, double> m_runsSpent;
    quint64 m_handedOver = 0;
    quint64 m_committed = 0;
    struct Waiter {
        quint64 ticket;
        TaskHandle wake;
    };
    std::vector<Waiter> m_waiters;
};
