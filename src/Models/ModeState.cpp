#include "Models/ModeState.h"

#include "Models/ModelCatalog.h"

ModeState ModeState::defaultFor(Mode mode)
{
    ModeState state;
    state.mode = mode;
    const QString first = ModelCatalog::builtIn(mode).constFirst().slug();
    state.selectedSlugs = {first};
    state.focusedSlug = first;
    switch (mode) {
    case Mode::upscale:
        state.filenameSuffix = QStringLiteral("-upscaled");
        break;
    case Mode::image:
        state.outputFolder = Modes::userFolder(QStandardPaths::PicturesLocation);
        break;
    case Mode::video:
        state.outputFolder = Modes::userFolder(QStandardPaths::MoviesLocation);
        break;
    }
    return state;
}

void ModeState::toggle(const QString &slug)
{
    if (!selectedSlugs.contains(slug)) {
        selectedSlugs.append(slug);
        focusedSlug = slug;
        return;
    }
    // The last selected model stays selected.
    if (selectedSlugs.size() < 2)
        return;
    selectedSlugs.removeAll(slug);
    if (focusedSlug == slug)
        focusedSlug = selectedSlugs.constFirst();
}

void ModeState::pruneUnknownSelection()
{
    QStringList known;
    for (const CatalogModel &model : ModelCatalog::builtIn(mode))
        known.append(model.slug());
    for (const CatalogModel &model : customModels)
        known.append(model.slug());

    QStringList kept;
    for (const QString &slug : std::as_const(selectedSlugs)) {
        if (known.contains(slug))
            kept.append(slug);
    }
    if (kept.isEmpty())
        kept.append(known.constFirst());
    selectedSlugs = kept;
    keepFocusInSelection();
}

void ModeState::removeCustom(const CatalogModel &model)
{
    const QString slug = model.slug();
    customModels.removeIf([&slug](const CatalogModel &custom) { return custom.slug() == slug; });
    selectedSlugs.removeAll(slug);
    if (selectedSlugs.isEmpty())
        selectedSlugs.append(ModelCatalog::builtIn(mode).constFirst().slug());
    keepFocusInSelection();
}

void ModeState::keepFocusInSelection()
{
    if (!selectedSlugs.contains(focusedSlug))
        focusedSlug = selectedSlugs.constFirst();
}
