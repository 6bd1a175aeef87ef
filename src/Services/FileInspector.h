#pragma once

#include "Models/ImageJob.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QThreadPool>
#include <QUuid>

#include <deque>
#include <memory>

// Reads each added file's pixel size, byte size and preview on worker threads, the files of the
// rows on screen first, and sets them on the job back on the GUI thread.
class FileInspector final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileInspector)

public:
    explicit FileInspector(QObject *parent = nullptr);
    ~FileInspector() override;

    void inspect(const ImageJobPtr &job);
    // Makes room for this many more jobs at once, so that a drop of an archive does not grow the
    // queue's sets again and again (each growth rehashes everything in them on the GUI thread).
    void expect(qsizetype jobs);
    // Inspects these jobs' files before the others still waiting, in this order; a later call
    // replaces the earlier wish.
    void prioritize(const QList<ImageJobPtr> &jobs);
    // Previews fill a square of this many device pixels, cropped to it; 0 (the start) keeps them
    // whole, at most 256 pixels on the longer side.
    void setPreviewFillSide(int pixels);
    int previewFillSide() const { return m_previewFillSide; }
    // The job's file is still waiting or being read: its pixel size is not known yet.
    bool isReading(const ImageJob &job) const { return m_unread.contains(job.id()); }

Q_SIGNALS:
    // One file's size and preview are set on its job (or it could not be read).
    void inspected();

private:
    // Hands waiting inspections to the pool while it has idle threads, wished-for jobs first.
    void start();
    ImageJobPtr next();

    // Waiting inspections in the order added, and the jobs the list wants first; the pool gets
    // one file per idle thread, so a new wish takes effect with the next file that finishes.
    std::deque<std::pair<QUuid, std::weak_ptr<ImageJob>>> m_queue;
    QList<std::weak_ptr<ImageJob>> m_first;
    QSet<QUuid> m_waiting;
    // Waiting or on a worker.
    QSet<QUuid> m_unread;
    int m_running = 0;
    int m_previewFillSide = 0;
    QThreadPool m_pool;
};
