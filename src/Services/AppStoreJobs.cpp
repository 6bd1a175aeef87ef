// Adding jobs: files and folders, prompts, and reusing an earlier prompt.
#include "Services/AppStore.h"
#include "Services/ImageFile.h"
#include "Services/NaturalOrder.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QPointer>

#include <algorithm>

QList<QUrl> AppStore::expand(const QList<QUrl> &urls)
{
    QList<QUrl> found;
    for (const QUrl &url : urls) {
        const QFileInfo info(url.toLocalFile());
        if (!info.exists())
            continue;
        if (info.isDir()) {
            const QDir dir(info.absoluteFilePath());
            const QFileInfoList children =
                dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
            for (const QFileInfo &child : children) {
                const QUrl childUrl = QUrl::fromLocalFile(child.absoluteFilePath());
                if (!child.isHidden() && ImageFile::isImage(childUrl))
                    found.append(childUrl);
            }
        } else if (ImageFile::isImage(url)) {
            found.append(url);
        }
    }
    // Each name is compared many times; split it into runs once.
    const NaturalOrder order;
    QList<std::pair<NaturalOrder::Key, QUrl>> keyed;
    keyed.reserve(found.size());
    for (const QUrl &url : std::as_const(found))
        keyed.append({NaturalOrder::key(url.fileName()), url});
    std::stable_sort(keyed.begin(), keyed.end(), [&order](const auto &a, const auto &b) {
        return order.compare(a.first, b.first) < 0;
    });
    for (qsizetype i = 0; i < keyed.size(); ++i)
        found[i] = keyed.at(i).second;
    return found;
}

QList<ModelVariantPtr> AppStore::newVariants() const
{
    QList<ModelVariantPtr> variants;
    for (const QString &slug : state().selectedSlugs)
        variants.append(std::make_shared<ModelVariant>(slug, title(slug)));
    return variants;
}

void AppStore::addFiles(const QList<QUrl> &urls)
{
    if (m_mode && *m_mode != Mode::upscale)
        return;
    QList<ImageJobPtr> list = jobs(Mode::upscale);
    QSet<QUrl> existing;
    for (const ImageJobPtr &job : list)
        if (job->input().isFile())
            existing.insert(job->input().url());
    QList<ImageJobPtr> added;
    for (const QUrl &url : expand(urls)) {
        // A file dropped together with its folder, or twice in one drop, becomes one job: a
        // second row would only run the same work again and write a numbered copy of it.
        if (existing.contains(url))
            continue;
        existing.insert(url);
        auto job = std::make_shared<ImageJob>(JobInput::file(url));
        job->setVariants(newVariants());
        added.append(job);
    }
    if (added.isEmpty())
        return;
    list.append(added);
    m_jobsByMode[Mode::upscale] = list;
    Q_EMIT jobsChanged();
    for (const ImageJobPtr &job : std::as_const(added))
        inspectInBackground(job);
}

void AppStore::inspectInBackground(const ImageJobPtr &job)
{
    if (!m_inspectionPool) {
        m_inspectionPool.reset(new QThreadPool);
        m_inspectionPool->setThreadPriority(QThread::LowPriority);
    }
    const QUrl url = job->input().url();
    const std::weak_ptr<ImageJob> weakJob = job;
    const QPointer<AppStore> store(this);
    m_inspectionPool->start([url, weakJob, store] {
        // One file's inspection, then its preview, one after the other.
        const ImageFile::Info info = ImageFile::inspect(url);
        const std::optional<QImage> thumb = ImageFile::thumbnail(url, 256);
        if (!store)
            return;
        QMetaObject::invokeMethod(
            store.data(),
            [weakJob, info, thumb] {
                const ImageJobPtr target = weakJob.lock();
                if (!target)
                    return;
                target->setPixelSize(info.pixelSize);
                target->setByteSize(info.byteSize);
                if (thumb)
                    target->setThumbnail(*thumb);
            },
            Qt::QueuedConnection);
    });
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
    job->setVariants(newVariants());
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
