#include "AppStoreProbe.h"
#include "Models/ModelCatalog.h"
#include "Scene.h"
#include "Services/AppStore.h"
#include "Views/Theme/AmbientBackdrop.h"
#include "Views/Workspace/CentreContent.h"

#include <QDir>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace
{

// The centre pane over the window's backdrop, at the size it has in a default window.
QWidget *framed(AppStore &store, CentreContent **centre = nullptr)
{
    auto *backdrop = new AmbientBackdrop;
    auto *column = new QVBoxLayout(backdrop);
    column->setContentsMargins(0, 12, 0, 0);
    auto *content = new CentreContent(store);
    column->addWidget(content);
    if (centre)
        *centre = content;
    return backdrop;
}

void select(AppStore &store, Mode mode, int count)
{
    store.setMode(mode);
    store.selectOnly(ModelCatalog::builtIn(mode).at(0));
    for (int i = 1; i < count; ++i)
        store.toggle(ModelCatalog::builtIn(mode).at(i));
}

void finish(const ModelVariantPtr &variant, const QString &result, QSizeF size, double cost)
{
    variant->setResultURL(QUrl::fromLocalFile(result));
    variant->setResultPixelSize(size);
    variant->setElapsed(8.4);
    variant->setCost(CostRange{cost, cost});
    variant->setStatus(RunStatus::done());
}

} // namespace

MOONFORGE_SCENE("dropzone", 740, 560)
{
    AppStore &store = setup.store();
    select(store, Mode::upscale, 2);
    return framed(store);
}

MOONFORGE_SCENE("dropzone-targeted", 740, 560)
{
    AppStore &store = setup.store();
    select(store, Mode::upscale, 1);
    CentreContent *centre = nullptr;
    QWidget *widget = framed(store, &centre);
    centre->setDragTargeted(true);
    return widget;
}

// Every status a pill can show, on photos whose previews have arrived.
MOONFORGE_SCENE("joblist-states", 740, 560)
{
    AppStore &store = setup.store();
    select(store, Mode::upscale, 2);
    QList<QUrl> photos;
    const QStringList names{u"harbour-at-dawn.jpg"_s, u"lighthouse.jpg"_s,
                            u"market-street-in-the-old-town-after-the-rain.jpg"_s, u"dunes.jpg"_s,
                            u"portrait-anna.jpg"_s};
    for (int i = 0; i < names.size(); ++i)
        photos.append(QUrl::fromLocalFile(
            setup.photo(names.at(i), i == 4 ? 1067 : 1600, i == 4 ? 1600 : 1067)));
    store.addFiles(photos);
    setup.waitFor([&store] {
        const auto jobs = store.jobs();
        return !store.isAddingFiles() &&
               std::all_of(jobs.begin(), jobs.end(),
                           [](const ImageJobPtr &job) { return !job->thumbnail().isNull(); });
    });
    const QList<ImageJobPtr> jobs = store.jobs();
    // Results beside the photos; the last job's second one was moved away.
    const QString result = setup.photo(u"result.png"_s, 64, 43);
    finish(jobs.at(0)->variants().at(0), result, {6400, 4268}, 0.0023);
    finish(jobs.at(0)->variants().at(1), result, {3200, 2134}, 0.012);
    jobs.at(1)->variants().at(0)->setStatus(RunStatus::running());
    jobs.at(1)->variants().at(1)->setStatus(RunStatus::uploading());
    finish(jobs.at(2)->variants().at(0), result, {6400, 4268}, 0.0023);
    jobs.at(2)->variants().at(1)->setStatus(
        RunStatus::failed(u"Rate limited by Replicate. Try fewer at a time."_s));
    jobs.at(3)->variants().at(0)->setStatus(RunStatus::preparing());
    jobs.at(3)->variants().at(1)->setStatus(RunStatus::downloading());
    jobs.at(4)->variants().at(1)->setStatus(RunStatus::cancelled());
    return framed(store);
}

// A prompt with two references for a model that takes a list, above queued prompts.
MOONFORGE_SCENE("composer-references", 740, 560)
{
    AppStore &store = setup.store();
    select(store, Mode::image, 2);
    setup.waitFor([&store] {
        const auto slugs = store.state().selectedSlugs;
        return std::none_of(slugs.begin(), slugs.end(), [&store](const QString &slug) {
            return store.directory().schemaStates().value(slug).kind() ==
                   SchemaState::Kind::loading;
        });
    });
    ModelSchema schema;
    schema.imageKey = u"image_input"_s;
    schema.imageIsArray = true;
    for (const QString &slug : store.state().selectedSlugs)
        AppStoreProbe::setSchemaState(store, slug, SchemaState::ready(schema));
    store.addPromptJob(u"A lighthouse on a cliff at dusk, warm light in the windows, long "
                       u"exposure over a rough sea"_s,
                       {});
    store.addPromptJob(u"Isometric cutaway of a tiny bakery"_s, {});
    finish(store.jobs().at(0)->variants().at(0), setup.photo(u"generated.png"_s, 64, 64),
           {1024, 1024}, 0.003);
    store.jobs().at(0)->variants().at(1)->setStatus(RunStatus::running());
    store.setDraftPrompt(u"The same harbour in winter,\nsnow on the boats"_s);
    store.setDraftReferences(
        {QUrl::fromLocalFile(setup.photo(u"harbour-at-dawn.jpg"_s)),
         QUrl::fromLocalFile(
             setup.photo(u"a-very-long-reference-photo-name-from-the-camera-roll.jpg"_s))});
    return framed(store);
}
