#pragma once

#include "Models/CatalogModel.h"
#include "Models/Mode.h"
#include "Models/ModelSchema.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class AppStore;

// The texts and lists the inspector derives from the store, as plain functions so the views and
// their tests share one definition.
namespace InspectorText
{

// "Upscale", "Upscale 6 Images", "Generate 1 Video"; upscale when no mode is chosen.
QString runTitle(std::optional<Mode> mode, int pendingPairs);
// "Choose a model", "Flux Dev", "Flux Dev +2".
QString summary(const QList<CatalogModel> &selected);
// "image" in upscale, "prompt" otherwise.
QString sourceNoun(Mode mode);
QString suffixPlaceholder(Mode mode);
// "4", "2.5" or "up": a number only with exactly one model whose factor is known.
QString scaleToken(int selectedCount, std::optional<double> scale);
// "photo-4x.png", "your-prompt-a-flux-dev.mp4" …: the extension follows what the model makes,
// or the mode when that is unknown.
QString filenamePreview(Mode mode, OutputKind output, const QString &suffix,
                        const QString &scaleToken, const QString &focusedName, int selectedCount);
// The folder chooser's message: "Where should upscale results be saved?".
QString folderPrompt(Mode mode);

// The picker's list: with an empty query the selected models first, then the rest of `models`
// and `remote` (each slug once); otherwise every entry whose slug, title or blurb holds the
// trimmed, lower-cased query.
QList<CatalogModel> results(const QList<CatalogModel> &models, const QList<CatalogModel> &remote,
                            const QList<CatalogModel> &selected, const QStringList &selectedSlugs,
                            const QString &query);
// A typed or pasted slug (or model-page address) that no listed entry has, as a custom model.
std::optional<CatalogModel> pastedModel(const QString &query, const QList<CatalogModel> &results);

// The first sentence of a help text, cut to 46 characters and "…".
QString shortHelp(const QString &text);

} // namespace InspectorText
