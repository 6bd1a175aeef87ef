#pragma once

#include "Models/CatalogModel.h"
#include "Models/Mode.h"

#include <QList>

#include <optional>

// The built-in models of each mode. The first entry of each list is the mode's default model.
namespace ModelCatalog
{

const QList<CatalogModel> &upscale();
const QList<CatalogModel> &image();
const QList<CatalogModel> &video();
const QList<CatalogModel> &builtIn(Mode mode);

// First occurrence of each slug, order kept.
QList<CatalogModel> dedup(const QList<CatalogModel> &models);

// The first model of `models` with that slug.
std::optional<CatalogModel> find(const QList<CatalogModel> &models, const QString &slug);

// The slug of the service's curated collection for `mode`.
QString collectionSlug(Mode mode);

} // namespace ModelCatalog
