// Adding jobs: files and folders, prompts, and reusing an earlier prompt.
#include "Services/AppStore.h"
#include "Services/ImageFile.h"

#include <QCollator>
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
    QCollator collator;
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(found.begin(), found.end(), [&collator](const QUrl &a, const QUrl &b) {
        return collator.compare(a.fileName(), b.fileName()) < 0;
    });
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
        if (existing.contains(url))
            continue;
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
    const QList<QUrl> references = job->input().references();
    const QStringList slugs = state().selectedSlugs;
    const bool takesList = std::any_of(slugs.begin(), slugs.end(), [this](const QString &slug) {
        const auto it = m_schemaStates.constFind(slug);
        return it != m_schemaStates.constEnd() && it->schema() && it->schema()->imageIsArray;
    });
    if (takesList || references.size() < 2)
        setDraftReferences(references);
    else
        setDraftReferences({references.last()});
}
