#include "Models/CatalogModel.h"

#include <QHashFunctions>
#include <QStringList>

namespace
{

const QString webPrefix = QStringLiteral("https://replicate.com/");

QString requiredString(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString())
        throw CatalogDecodeError(std::string("Missing or non-text key \"") + key + "\".");
    return value.toString();
}

} // namespace

std::optional<CatalogModel> CatalogModel::fromSlug(const QString &text,
                                                   const std::optional<QString> &title,
                                                   const QString &blurb, bool isCustom)
{
    QString path = text.trimmed();
    path.remove(webPrefix, Qt::CaseSensitive);
    const QStringList pieces = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (pieces.size() < 2)
        return std::nullopt;
    CatalogModel model;
    model.owner = pieces.at(0);
    model.name = pieces.at(1);
    model.title = title ? *title : titleFromName(model.name);
    model.blurb = blurb;
    model.isCustom = isCustom;
    return model;
}

std::optional<CatalogModel> CatalogModel::fromListing(const QJsonObject &object, bool isCustom)
{
    const QJsonValue owner = object.value(QStringLiteral("owner"));
    const QJsonValue name = object.value(QStringLiteral("name"));
    if (!owner.isString() || !name.isString())
        return std::nullopt;
    const QJsonValue description = object.value(QStringLiteral("description"));
    const QString trimmed = description.isString() ? description.toString().trimmed() : QString();
    const QString slug = owner.toString() + QLatin1Char('/') + name.toString();
    return fromSlug(slug, std::nullopt, trimmed.isEmpty() ? slug : trimmed, isCustom);
}

QString CatalogModel::titleFromName(const QString &name)
{
    QString title = name;
    title.replace(QLatin1Char('-'), QLatin1Char(' '));
    bool atWordStart = true;
    for (QChar &ch : title) {
        if (ch.isSpace()) {
            atWordStart = true;
            continue;
        }
        ch = atWordStart ? ch.toUpper() : ch.toLower();
        atWordStart = false;
    }
    return title;
}

QJsonObject CatalogModel::toStored() const
{
    return QJsonObject{
        {QStringLiteral("owner"), owner},       {QStringLiteral("name"), name},
        {QStringLiteral("title"), title},       {QStringLiteral("blurb"), blurb},
        {QStringLiteral("isCustom"), isCustom},
    };
}

CatalogModel CatalogModel::fromStored(const QJsonObject &object)
{
    CatalogModel model;
    model.owner = requiredString(object, "owner");
    model.name = requiredString(object, "name");
    model.title = requiredString(object, "title");
    model.blurb = requiredString(object, "blurb");
    const QJsonValue custom = object.value(QStringLiteral("isCustom"));
    if (!custom.isBool())
        throw CatalogDecodeError("Missing or non-boolean key \"isCustom\".");
    model.isCustom = custom.toBool();
    return model;
}

size_t qHash(const CatalogModel &model, size_t seed)
{
    return qHashMulti(seed, model.owner, model.name, model.title, model.blurb, model.isCustom);
}
