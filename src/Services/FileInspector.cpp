#include "Services/FileInspector.h"

#include "Services/ImageFile.h"

#include <QMetaObject>
#include <QPointer>

#include <algorithm>
#include <cmath>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace
{

// Qt cannot lower a thread's priority under Linux's normal scheduling policy (its range there is
// a single value), so decoding would compete as an equal with the GUI thread. A nice value on
// the pool thread itself lets the GUI thread take the processor as soon as it wakes.
void lowerThreadPriority()
{
#ifdef Q_OS_LINUX
    static thread_local const bool lowered = ::setpriority(PRIO_PROCESS, ::gettid(), 10) == 0;
    Q_UNUSED(lowered);
#endif
}

// A preview just large enough to fill a square of `side` pixels, cropped to it: a list row
// keeps no more than it paints. The decoder is asked for the size whose shorter side fills the
// square (never above 256 on the longer side), so large photos are still read scaled.
std::optional<QImage> filledPreview(const QUrl &url, const ImageFile::Info &info, int side)
{
    int maxPixel = 256;
    if (info.pixelSize && info.pixelSize->width() > 0 && info.pixelSize->height() > 0) {
        const double longer = std::max(info.pixelSize->width(), info.pixelSize->height());
        const double shorter = std::min(info.pixelSize->width(), info.pixelSize->height());
        maxPixel = std::clamp(int(std::ceil(side * longer / shorter)), side, 256);
    }
    std::optional<QImage> image = ImageFile::thumbnail(url, maxPixel);
    if (!image || image->isNull())
        return image;
    QImage filled = *image;
    if (std::min(filled.width(), filled.height()) > side)
        filled =
            filled.scaled(side, side, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const int width = std::min(side, filled.width());
    const int height = std::min(side, filled.height());
    return filled.copy((filled.width() - width) / 2, (filled.height() - height) / 2, width, height);
}

} // namespace

FileInspector::FileInspector(QObject *parent) : QObject(parent)
{
    m_pool.setThreadPriority(QThread::LowPriority);
}

FileInspector::~FileInspector()
{
    // Queued inspections are dropped; the pool waits for the running ones as it goes.
    m_pool.clear();
}

void FileInspector::inspect(const ImageJobPtr &job)
{
    m_queue.emplace_back(job->id(), job);
    m_waiting.insert(job->id());
    m_unread.insert(job->id());
    start();
}

void FileInspector::expect(qsizetype jobs)
{
    m_waiting.reserve(m_waiting.size() + jobs);
    m_unread.reserve(m_unread.size() + jobs);
}

void FileInspector::prioritize(const QList<ImageJobPtr> &jobs)
{
    m_first.clear();
    for (const ImageJobPtr &job : jobs)
        if (job && m_waiting.contains(job->id()))
            m_first.append(job);
    start();
}

void FileInspector::setPreviewFillSide(int pixels)
{
    m_previewFillSide = std::max(0, pixels);
}

ImageJobPtr FileInspector::next()
{
    while (!m_first.isEmpty()) {
        const ImageJobPtr job = m_first.takeFirst().lock();
        if (job && m_waiting.remove(job->id()))
            return job;
    }
    while (!m_queue.empty()) {
        const auto [id, weak] = m_queue.front();
        m_queue.pop_front();
        // A removed job is dropped here; a wished-for one was inspected already.
        if (m_waiting.remove(id)) {
            if (const ImageJobPtr job = weak.lock())
                return job;
            m_unread.remove(id);
        }
    }
    return nullptr;
}

void FileInspector::start()
{
    while (m_running < m_pool.maxThreadCount()) {
        const ImageJobPtr job = next();
        if (!job)
            return;
        ++m_running;
        const QUrl url = job->input().url();
        const QUuid id = job->id();
        const std::weak_ptr<ImageJob> weakJob = job;
        const QPointer<FileInspector> self(this);
        const int fillSide = m_previewFillSide;
        m_pool.start([url, id, weakJob, self, fillSide] {
            lowerThreadPriority();
            // One file's inspection, then its preview, one after the other.
            const ImageFile::Info info = ImageFile::inspect(url);
            const std::optional<QImage> thumb =
                fillSide > 0 ? filledPreview(url, info, fillSide) : ImageFile::thumbnail(url, 256);
            if (!self)
                return;
            QMetaObject::invokeMethod(
                self.data(),
                [self, id, weakJob, info, thumb] {
                    --self->m_running;
                    self->m_unread.remove(id);
                    if (const ImageJobPtr target = weakJob.lock()) {
                        target->setPixelSize(info.pixelSize);
                        target->setByteSize(info.byteSize);
                        if (thumb)
                            target->setThumbnail(*thumb);
                        Q_EMIT self->inspected();
                    }
                    self->start();
                },
                Qt::QueuedConnection);
        });
    }
}
