#pragma once

#include "Models/ModelPrice.h"

#include <QString>

#include <optional>

// The per-model price files under "<cache root>/prices". A stored price never expires: once a
// model has a file, its page is not read again. An unreadable file counts as absent.
class PriceCache
{
public:
    // An empty root keeps no cache: nothing is read and nothing is written.
    explicit PriceCache(QString cacheRoot);

    // The folder of the price files, created with its parents on the way (errors ignored).
    QString folder() const;
    // "owner_name.json" for "owner/name"; empty for a text that is not a model slug.
    static QString fileName(const QString &slug);

    std::optional<ModelPrice> cached(const QString &slug) const;
    // Replaces the file in one step; failures leave the previous file (or none) and are silent.
    void store(const QString &slug, const ModelPrice &price) const;

private:
    QString filePath(const QString &slug) const;

    QString m_root;
};
