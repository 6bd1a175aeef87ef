#include "Services/JobJournal.h"

#include "Services/JournalDatabase.h"
#include "Services/SleepTimer.h"

#include <QCoroSignal>
#include <QJsonDocument>

JobJournal::JobJournal(const QString &path, QObject *parent) : QObject(parent)
{
    m_thread.setObjectName(QStringLiteral("journal"));
    m_database = new JournalDatabase(path);
    m_database->moveToThread(&m_thread);
    m_thread.start(QThread::LowPriority);
}

JobJournal::~JobJournal()
{
    flush();
    for (const Waiter &waiter : std::exchange(m_waiters, {}))
        waiter.wake.cancel();
    // After every batch posted before it, on the journal's thread, which then ends.
    JournalDatabase *database = m_database;
    QMetaObject::invokeMethod(database, [database] {
        delete database;
        QThread::currentThread()->quit();
    });
    m_thread.wait();
}

void JobJournal::open(const QByteArray &history, std::function<void(JournalContents)> done)
{
    JournalDatabase *database = m_database;
    QMetaObject::invokeMethod(database, [this, database, history, done = std::move(done)] {
        JournalContents contents = database->open(history);
        // This object outlives the journal's thread (its end waits for it), so it is there to
        // post to; the call is dropped if it is gone by the time the GUI thread gets to it.
        QMetaObject::invokeMethod(
            this,
            [this, contents = std::move(contents), done] {
                m_open = contents.isOpen;
                done(contents);
            },
            Qt::QueuedConnection);
    });
}

void JobJournal::putJob(const JournalJob &job)
{
    m_jobs.insert(job.id, job);
    scheduleFlush();
}

void JobJournal::putPairs(const QUuid &jobId, const QList<JournalPair> &pairs)
{
    m_pairs.insert(jobId, pairs);
    scheduleFlush();
}

void JobJournal::removeJob(const QUuid &jobId)
{
    m_jobs.remove(jobId);
    m_pairs.remove(jobId);
    m_removed.append(jobId);
    scheduleFlush();
}

void JobJournal::putRun(const JournalRun &run)
{
    m_runs.append(run);
    scheduleFlush();
}

void JobJournal::assignRun(const QUuid &pairId, const QUuid &runId)
{
    m_pairRuns.append({pairId, runId});
    scheduleFlush();
}

void JobJournal::createSent(const QUuid &pairId, const QDateTime &at, const QJsonObject &input)
{
    JournalPair pair;
    pair.id = pairId;
    pair.createSentAt = at;
    pair.createInput = QString::fromUtf8(QJsonDocument(input).toJson(QJsonDocument::Compact));
    m_createsSent.append(pair);
    scheduleFlush();
}

void JobJournal::partFolder(const QUuid &pairId, const QString &folder)
{
    m_placements.append({pairId, std::nullopt, folder});
    scheduleFlush();
}

void JobJournal::outputNamed(const QUuid &pairId, int index, const QString &path)
{
    m_placements.append({pairId, index, path});
    scheduleFlush();
}

void JobJournal::runSpent(const QUuid &runId, double spent)
{
    // Only the latest figure of a turn is worth writing.
    m_runsSpent.insert(runId, spent);
    scheduleFlush();
}

void JobJournal::scheduleFlush()
{
    // A posted call, so the changes of one turn of the event loop go in one transaction.
    if (m_flushPosted)
        return;
    m_flushPosted = true;
    QMetaObject::invokeMethod(this, &JobJournal::flush, Qt::QueuedConnection);
}

void JobJournal::flushNow()
{
    flush();
}

void JobJournal::flush()
{
    m_flushPosted = false;
    JournalBatch batch;
    batch.removedJobs = std::exchange(m_removed, {});
    batch.jobs = std::exchange(m_jobs, {}).values();
    for (auto it = m_pairs.constBegin(); it != m_pairs.constEnd(); ++it)
        batch.jobPairs.append({it.key(), it.value()});
    m_pairs.clear();
    batch.runs = std::exchange(m_runs, {});
    batch.pairRuns = std::exchange(m_pairRuns, {});
    batch.createsSent = std::exchange(m_createsSent, {});
    batch.placements = std::exchange(m_placements, {});
    for (auto it = m_runsSpent.constBegin(); it != m_runsSpent.constEnd(); ++it)
        batch.runsSpent.append({it.key(), it.value()});
    m_runsSpent.clear();
    if (batch.isEmpty())
        return;
    const quint64 ticket = ++m_handedOver;
    JournalDatabase *database = m_database;
    QMetaObject::invokeMethod(database, [this, database, batch = std::move(batch), ticket] {
        database->apply(batch);
        QMetaObject::invokeMethod(
            this, [this, ticket] { acknowledge(ticket); }, Qt::QueuedConnection);
    });
}

void JobJournal::acknowledge(quint64 ticket)
{
    m_committed = std::max(m_committed, ticket);
    std::vector<Waiter> waiting;
    for (Waiter &waiter : std::exchange(m_waiters, {})) {
        if (waiter.ticket <= m_committed)
            waiter.wake.cancel();
        else
            waiting.push_back(std::move(waiter));
    }
    m_waiters = std::move(waiting);
}

QCoro::Task<void> JobJournal::committed(QPointer<JobJournal> journal)
{
    if (!journal || !journal->m_open)
        co_return;
    journal->flush();
    const quint64 ticket = journal->m_handedOver;
    if (journal->m_committed >= ticket)
        co_return;
    const TaskHandle wake;
    journal->m_waiters.push_back({ticket, wake});
    SleepTimer timer(commitWaitMs);
    const TaskHandle::Registration woken = wake.onCancel([&timer] { timer.wake(); });
    timer.start();
    auto waiting = qCoro(&timer, &SleepTimer::woken);
    co_await waiting;
}

QCoro::Task<void> JobJournal::recordCreate(QPointer<JobJournal> journal, QUuid pairId,
                                           QJsonObject input)
{
    if (!journal || !journal->m_open)
        co_return;
    journal->createSent(pairId, QDateTime::currentDateTimeUtc(), input);
    auto committing = committed(journal);
    co_await committing;
}

QCoro::Task<void> JobJournal::recordOutput(QPointer<JobJournal> journal, QUuid pairId, int index,
                                           QString path)
{
    if (!journal || !journal->m_open)
        co_return;
    journal->outputNamed(pairId, index, path);
    auto committing = committed(journal);
    co_await committing;
}
