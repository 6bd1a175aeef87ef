#pragma once

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <deque>
#include <functional>

// Turns dropped files and folders into the image files not listed yet. Listing, typing and
// sorting run on a worker thread; the files found come back on the GUI thread in slices, a few
// per event-loop turn, so a drop of thousands of photos never holds the window still. Drops are
// handled one after the other in the order they came.
class FileIntake final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileIntake)

public:
    // `known` gives the files already listed; it is asked when a drop's listing starts, so an
    // earlier drop's files count as known to a later one.
    explicit FileIntake(std::function<QList<QUrl>()> known, QObject *parent = nullptr);
    ~FileIntake() override;

    void add(const QList<QUrl> &urls);
    // Forgets queued drops and the files of the current one not handed out yet.
    void cancel();
    // True from the first add until the last slice of the last drop is handed out.
    bool isBusy() const { return m_busy; }

    // The image files the URLs name or directly contain, in the file browser's order.
    static QList<QUrl> expand(const QList<QUrl> &urls);
    // Longest time spent handing out slices in one event-loop turn.
    static constexpr int sliceBudgetMs = 6;

Q_SIGNALS:
    // New files in drop order, each file once.
    void found(const QList<QUrl> &files);
    void busyChanged();

private:
    void startNext();
    void listed();
    void handOut();
    void setBusy(bool busy);

    std::function<QList<QUrl>()> m_known;
    std::deque<QList<QUrl>> m_queue;
    QFutureWatcher<QList<QUrl>> m_listing;
    QList<QUrl> m_found;
    qsizetype m_handedOut = 0;
    QTimer m_handOutTimer;
    // Set from the start of a listing until its answer is handled. The future alone cannot say
    // this: it stops running before its finished signal reaches this thread.
    bool m_listingPending = false;
    bool m_listingCancelled = false;
    bool m_busy = false;
};
