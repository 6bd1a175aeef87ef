// Adding jobs: files and folders, prompts, and reusing an earlier prompt.
#include "Services/AppStore.h"
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

QList<std::pair<QString, QString>> AppStore::selectedTitles() const
{
    QList<std::pair<QString, QString>> titles;
    for (const QString &slug : state().selectedSlugs)
        titles.append({slug, title(slug)});
    return titles;
}

QList<ModelVariantPtr> AppStore::newVariants(const QList<std::pair<QString, QString>> &titles)
{
    QList<ModelVariantPtr> variants;
    variants.reserve(titles.size());
    for (const auto &[slug, title] : titles)
        variants.append(std::make_shared<ModelVariant>(slug, title));
    return variants;
}

void AppStore::addFiles(const QList<QUrl> &urls)
{
    if (m_mode && *m_mode != Mode::upscale)
        return;
    m_intake.add(urls);
}

bool AppStore::isAddingFiles() const
{
    return m_intake.isBusy();
}

QList<QUrl> AppStore::listedFiles() const
{
    QList<QUrl> urls;
    for (const ImageJobPtr &job : m_jobsByMode.value(Mode::upscale))
        if (job->input().isFile())
            urls.append(job->input().url());
    return urls;
}

void AppStore::addFoundFiles(const QList<QUrl> &files)
{
    // Titles are looked up once per slice, not once per file.
    const auto titles = selectedTitles();
    QList<ImageJobPtr> list = jobs(Mode::upscale);
    const qsizetype first = list.size();
    for (const QUrl &url : files) {
        auto job = std::make_shared<ImageJob>(JobInput::file(url));
        job->setVariants(newVariants(titles));
        list.append(job);
    }
    m_jobsByMode[Mode::upscale] = list;
    Q_EMIT jobsChanged();
    for (qsizetype i = first; i < list.size(); ++i)
        inspectInBackground(list.at(i));
}

void AppStore::inspectInBackground(const ImageJobPtr &job)
{
    m_inspectionQueue.emplace_back(job->id(), job);
    m_inspectionWaiting.insert(job->id());
    startInspections();
}

void AppStore::prioritizeInspection(const QList<ImageJobPtr> &jobs)
{
    m_inspectionFirst.clear();
    for (const ImageJobPtr &job : jobs)
        if (job && m_inspectionWaiting.contains(job->id()))
            m_inspectionFirst.append(job);
    startInspections();
}

void AppStore::setPreviewFillSide(int pixels)
{
    m_previewFillSide = std::max(0, pixels);
}

ImageJobPtr AppStore::nextInspection()
{
    while (!m_inspectionFirst.isEmpty()) {
        const ImageJobPtr job = m_inspectionFirst.takeFirst().lock();
        if (job && m_inspectionWaiting.remove(job->id()))
            return job;
    }
    while (!m_inspectionQueue.empty()) {
        const auto [id, weak] = m_inspectionQueue.front();
        m_inspectionQueue.pop_front();
        // A removed job is dropped here; a wished-for one was inspected already.
        if (m_inspectionWaiting.remove(id))
            if (const ImageJobPtr job = weak.lock())
                return job;
    }
    return nullptr;
}

void AppStore::startInspections()
{
    if (!m_inspectionPool) {
        m_inspectionPool.reset(new QThreadPool);
        m_inspectionPool->setThreadPriority(QThread::LowPriority);
    }
    while (m_inspectionsRunning < m_inspectionPool->maxThreadCount()) {
        const ImageJobPtr job = nextInspection();
        if (!job)
            return;
        ++m_inspectionsRunning;
        const QUrl url = job->input().url();
        const std::weak_ptr<ImageJob> weakJob = job;
        const QPointer<AppStore> store(this);
        const int fillSide = m_previewFillSide;
        m_inspectionPool->start([url, weakJob, store, fillSide] {
            lowerThreadPriority();
            // One file's inspection, then its preview, one after the other.
            const ImageFile::Info info = ImageFile::inspect(url);
            const std::optional<QImage> thumb =
                fillSide > 0 ? filledPreview(url, info, fillSide) : ImageFile::thumbnail(url, 256);
            if (!store)
                return;
            QMetaObject::invokeMethod(
                store.data(),
                [store, weakJob, info, thumb] {
                    --store->m_inspectionsRunning;
                    if (const ImageJobPtr target = weakJob.lock()) {
                        target->setPixelSize(info.pixelSize);
                        target->setByteSize(info.byteSize);
                        if (thumb)
                            target->setThumbnail(*thumb);
                    }
                    store->startInspections();
                },
                Qt::QueuedConnection);
        });
    }
}

void AppStore::presentOpenPanel()
{
    if (!m_environment.desktop)
        return;
    Desktop::OpenRequest request;
    request.title = tr("Choose images or a folder of images");
    request.allowMultiple = true;
    request.allowFolders = true;
    request.mimeTypes = ImageFile::acceptedTypes();
    const QList<QUrl> chosen = m_environment.desktop->chooseFiles(request);
    if (!chosen.isEmpty())
        addFiles(chosen);
}

QList<QUrl> AppStore::chooseReferenceImages()
{
    if (!m_environment.desktop)
        return {};
    Desktop::OpenRequest request;
    request.title = tr("Choose reference images");
    request.allowMultiple = true;
    request.allowFolders = false;
    request.mimeTypes = ImageFile::acceptedTypes();
    return m_environment.desktop->chooseFiles(request);
}

void AppStore::addPromptJob(const QString &prompt, const QList<QUrl> &references)
{
    const QString text = prompt.trimmed();
    if (text.isEmpty())
        return;
    auto job = std::make_shared<ImageJob>(JobInput::prompt(text, references));
    job->setVariants(newVariants(selectedTitles()));
    QList<ImageJobPtr> list = jobs();
    list.append(job);
    m_jobsByMode[currentMode()] = list;
    Q_EMIT jobsChanged();
}

void AppStore::reuse(const ImageJobPtr &job)
{
    if (!job || !job->input().isPrompt())
        return;
    setDraftPrompt(job->input().text());
    setDraftReferences(
        reusedReferences(job->input().references(), state().selectedSlugs, m_schemaStates));
}

QList<QUrl> AppStore::reusedReferences(const QList<QUrl> &references, const QStringList &slugs,
                                       const QMap<QString, SchemaState> &schemas)
{
    const bool takesList = std::any_of(slugs.begin(), slugs.end(), [&schemas](const QString &slug) {
        const auto it = schemas.constFind(slug);
        return it != schemas.constEnd() && it->schema() && it->schema()->imageIsArray;
    });
    // A model that takes one image uses the last reference, so that is the one worth keeping.
    if (takesList || references.size() < 2)
        return references;
    return {references.last()};
}
