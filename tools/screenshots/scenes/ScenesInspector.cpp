#include "Scene.h"
#include "Services/AppStore.h"
#include "Views/Inspector/InspectorView.h"
#include "Views/Inspector/ModelPicker.h"

#include <QAbstractButton>
#include <QLineEdit>

// The inspector column in each mode and in the states worth a look: the open picker with search
// results, a model whose settings could not be read, and a model's advanced parameters.
namespace
{
constexpr int width = InspectorView::columnWidth;

InspectorView *inspector(SceneSetup &setup, Mode mode, const QString &slug = {},
                         bool withToken = true)
{
    AppStore &store = setup.store(withToken);
    store.setMode(mode);
    if (!slug.isEmpty())
        store.selectOnly(
            *CatalogModel::fromSlug(slug, std::nullopt, QStringLiteral("Custom model"), true));
    auto *view = new InspectorView(store);
    setup.waitFor([&store] {
        const auto kind = store.schemaState().kind();
        return kind == SchemaState::Kind::ready || kind == SchemaState::Kind::failed;
    });
    return view;
}

void addPhotos(SceneSetup &setup, int count)
{
    QList<QUrl> photos;
    for (int i = 0; i < count; ++i)
        photos.append(QUrl::fromLocalFile(setup.photo(QStringLiteral("photo-%1.jpg").arg(i))));
    setup.store().addFiles(photos);
    setup.waitFor([&setup] {
        return !setup.store().isAddingFiles() && setup.store().estimatedCost().has_value();
    });
}
} // namespace

MOONFORGE_SCENE("inspector-upscale", width, 860)
{
    InspectorView *view =
        inspector(setup, Mode::upscale, QStringLiteral("nightmareai/real-esrgan"));
    addPhotos(setup, 6);
    return view;
}

MOONFORGE_SCENE("inspector-image", width, 860)
{
    return inspector(setup, Mode::image);
}

MOONFORGE_SCENE("inspector-video", width, 860)
{
    AppStore &store = setup.store();
    store.setMode(Mode::video);
    // Two models side by side show the tabs.
    store.toggle(*CatalogModel::fromSlug(QStringLiteral("minimax/video-01"), std::nullopt,
                                         QStringLiteral("Custom model"), true));
    return inspector(setup, Mode::video);
}

MOONFORGE_SCENE("inspector-picker", width, 860)
{
    InspectorView *view = inspector(setup, Mode::image);
    view->picker()->setExpanded(true);
    auto *field = view->picker()->findChild<QLineEdit *>(QStringLiteral("modelSearch"));
    field->setText(QStringLiteral("flux"));
    setup.waitFor([view] { return !view->picker()->remote().isEmpty(); });
    return view;
}

// Without a token: the card offers Settings beside Retry, and the run section asks for a token.
MOONFORGE_SCENE("inspector-failed", width, 700)
{
    return inspector(setup, Mode::upscale, QStringLiteral("someone/missing-model"), false);
}

MOONFORGE_SCENE("inspector-advanced", width, 1000)
{
    InspectorView *view =
        inspector(setup, Mode::image, QStringLiteral("black-forest-labs/flux-schnell"));
    if (auto *advanced = view->findChild<QAbstractButton *>(QStringLiteral("advancedToggle")))
        advanced->click();
    return view;
}
