#pragma once

#include "Models/CatalogModel.h"
#include "Models/Mode.h"
#include "Models/ParamValue.h"

#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// The per-mode settings: selection, focus, custom models, overrides and where results go.
struct ModeState {
    Mode mode = Mode::upscale;
    QStringList selectedSlugs;
    QString focusedSlug;
    QList<CatalogModel> customModels;
    QMap<QString, ParamOverrides> overrides;
    std::optional<QString> outputFolder;
    QString filenameSuffix;
    // Dropped and chosen folders bring the images of their subfolders too.
    bool includeSubfolders = false;
    // A run starts no pair that could take its spending past this many dollars; none means no
    // limit.
    std::optional<double> spendLimit;

    // The state a mode starts with: its first built-in model, selected and focused.
    static ModeState defaultFor(Mode mode);

    // Adds an unselected slug and focuses it, or removes a selected one unless it is the last.
    void toggle(const QString &slug);
    // Drops selected slugs that are neither built in nor custom; never leaves the selection empty.
    void pruneUnknownSelection();
    // Forgets a custom model and deselects it; never leaves the selection empty.
    void removeCustom(const CatalogModel &model);

    friend bool operator==(const ModeState &, const ModeState &) = default;

private:
    void keepFocusInSelection();
};
