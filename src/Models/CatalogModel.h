#pragma once

#include <QJsonObject>
#include <QMetaType>
#include <QString>

#include <optional>
#include <stdexcept>

// A model's identity (its slug "owner/name") and the texts it is shown with.
struct CatalogModel {
    QString owner;
    QString name;
    QString title;
    QString blurb;
    bool isCustom = false;

    QString slug() const { return owner + QLatin1Char('/') + name; }

    // From typed or pasted text: blanks trimmed, a model-page address reduced to its path, extra
    // path segments ignored. No entry without both an owner and a name.
    static std::optional<CatalogModel> fromSlug(const QString &text,
                                                const std::optional<QString> &title,
                                                const QString &blurb, bool isCustom);
    // From one model object of a service listing.
    static std::optional<CatalogModel> fromListing(const QJsonObject &object, bool isCustom);

    // "flux-1.1-pro" reads "Flux 1.1 Pro".
    static QString titleFromName(const QString &name);

    // Stored form: exactly "owner", "name", "title", "blurb" and "isCustom", all required.
    QJsonObject toStored() const;
    static CatalogModel fromStored(const QJsonObject &object);

    friend bool operator==(const CatalogModel &, const CatalogModel &) = default;
};

class CatalogDecodeError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

size_t qHash(const CatalogModel &model, size_t seed = 0);

Q_DECLARE_METATYPE(CatalogModel)
