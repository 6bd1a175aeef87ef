// Adding jobs: files and folders, prompts, and reusing an earlier prompt.
#include "Services/AppStore.h"
#include "Services/FileInspector.h"
#include "Services/FileIntake.h"
#include "Services/ImageFile.h"

#include <algorithm>

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
    m_intake->add(urls, state().includeSubfolders);
}

bool AppStore::isAddingFiles() const
{
    return m_intake->isBusy();
}

KnownFiles AppStore::listedFiles() const
{
    KnownFiles known;
    for (const ImageJobPtr &job : m_jobsByMode.value(Mode::upscale)) {
        if (job->input().isFile())
            known.sources.append(job->input().url());
        for (const ModelVariantPtr &variant : job->variants()) {
            if (!variant->resultURL().isEmpty())
                known.results.append(variant->resultURL());
        }
    }
    return known;
}

void AppStore::addFoundFiles(const QList<FoundFile> &files)
{
    // Titles are looked up once per slice, not once per file.
    const auto titles = selectedTitles();
    // Appended in place: copying a list of tens of thousands of jobs for every slice of a drop
    // would make each slice cost as much as the whole list.
    QList<ImageJobPtr> &list = m_jobsByMode[Mode::upscale];
    const qsizetype first = list.size();
    for (const FoundFile &file : files) {
        auto job = std::make_shared<ImageJob>(JobInput::file(file.url));
        job->setTreeRoot(file.treeRoot);
        job->setVariants(newVariants(titles));
        list.append(job);
    }
    const QList<ImageJobPtr> added = list.mid(first);
    announceAppended({{Mode::upscale, first}});
    for (const ImageJobPtr &job : added)
        m_inspector->inspect(job);
}

void AppStore::prioritizeInspection(const QList<ImageJobPtr> &jobs)
{
    m_inspector->prioritize(jobs);
}

void AppStore::setPreviewFillSide(int pixels)
{
    m_inspector->setPreviewFillSide(pixels);
}

void AppStore::presentOpenPanel()
{
    if (!m_environment.desktop)
        return;
    Desktop::OpenRequest request;
    request.title = tr("Choose images or a folder of images");
    request.acceptLabel = tr("Add");
    request.allowMultiple = true;
    request.allowFolders = true;
    request.mimeTypes = ImageFile::acceptedTypes();
    // A file of a type the filter does not know may still be an image by its content.
    request.offerAllFiles = true;
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
    request.acceptLabel = tr("Use");
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
    QList<ImageJobPtr> &list = m_jobsByMode[currentMode()];
    list.append(job);
    announceAppended({{currentMode(), list.size() - 1}});
}

void AppStore::reuse(const ImageJobPtr &job)
{
    if (!job || !job->input().isPrompt())
        return;
    setDraftPrompt(job->input().text());
    setDraftReferences(reusedReferences(job->input().references(), state().selectedSlugs,
                                        m_directory->schemaStates()));
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
