#pragma once

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <deque>
#include <functional>

// A file a drop brought, and the folder the user added when it was found by walking that
// folder's tree (empty otherwise).
struct FoundFile {
    QUrl url;
    QUrl treeRoot;

    friend bool operator==(const FoundFile &, const FoundFile &) = default;
};

// What the job lists already hold.
struct KnownFiles {
    QList<QUrl> sources;
    // Files the listed jobs' results were saved as.
    QList<QUrl> results;
};

// Turns dropped files and folders (and, when asked, their subfolders) into the image files not
// listed yet. Walking, typing and sorting run on a worker thread; the files found come back on
// the GUI thread in slices, a few per event-loop turn, so a drop of a whole archive never holds
// the window still. Drops are handled one after the other in the order they came.
class FileIntake final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileIntake)

public:
    // `known` is asked when a drop's listing starts, so an earlier drop's files count as known to
    // a later one.
    explicit FileIntake(std::function<KnownFiles()> known, QObject *parent = nullptr);
    ~FileIntake() override;

    // With `includeSubfolders`, folders bring the images of their whole tree.
    void add(const QList<QUrl> &urls, bool includeSubfolders = false);
    // Forgets queued drops and the files of the current one not handed out yet.
    void cancel();
    // True from the first add until the last slice of the last drop is handed out.
    bool isBusy() const { return m_busy; }

    // The image files the URLs name or directly contain, in the file browser's order.
    static QList<QUrl> expand(const QList<QUrl> &urls);
    // The image files the URLs name or contain, folders walked to the bottom when
    // `includeSubfolders`, in the order described at its definition.
    static QList<FoundFile> list(const QList<QUrl> &urls, bool includeSubfolders);
    // Longest time spent handing out slices in one event-loop turn.
    static constexpr int sliceBudgetMs = 6;

Q_SIGNALS:
    // New files in drop order, each file once.
    void found(const QList<FoundFile> &files);
    // Before a drop's first slice: how many new files its slices will bring in all.
    void expecting(qsizetype files);
    void busyChanged();

private:
    void startNext();
    void listed();
    void handOut();
    void setBusy(bool busy);

    std::function<KnownFiles()> m_known;
    struct Drop {
        QList<QUrl> urls;
        bool includeSubfolders = false;
    };
    std::deque<Drop> m_queue;
    QFutureWatcher<QList<FoundFile>> m_listing;
    QList<FoundFile> m_found;
    qsizetype m_handedOut = 0;
    QTimer m_handOutTimer;
    // Set from the start of a listing until its answer is handled. The future alone cannot say
    // this: it stops running before its finished signal reaches this thread.
    bool m_listingPending = false;
    bool m_listingCancelled = false;
    bool m_busy = false;
};
