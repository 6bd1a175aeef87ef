#include "ModelRegistry.h"

#include "Models/ModelCatalog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

using SchemaFactory::Kind;
using SchemaFactory::OutputShape;

namespace
{

QString fakeVersion(const QString &slug)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(slug.toUtf8(), QCryptographicHash::Sha256).toHex());
}

QJsonObject generatedRecord(const CatalogModel &model, Kind kind, OutputShape shape)
{
    const QJsonObject schema{
        {QStringLiteral("openapi"), QStringLiteral("3.0.2")},
        {QStringLiteral("info"), QJsonObject{{QStringLiteral("title"), QStringLiteral("Cog")},
                                             {QStringLiteral("version"), QStringLiteral("0.1.0")}}},
        {QStringLiteral("components"),
         QJsonObject{
             {QStringLiteral("schemas"), SchemaFactory::components(kind, model.name, shape)}}}};
    const bool official = kind != Kind::upscale || model.owner == QLatin1String("google");
    return QJsonObject{
        {QStringLiteral("url"), QString(QStringLiteral("https://replicate.com/") + model.slug())},
        {QStringLiteral("owner"), model.owner},
        {QStringLiteral("name"), model.name},
        {QStringLiteral("description"), model.blurb},
        {QStringLiteral("visibility"), QStringLiteral("public")},
        {QStringLiteral("is_official"), official},
        {QStringLiteral("run_count"), 1000 + model.name.size() * 977},
        {QStringLiteral("cover_image_url"), QJsonValue::Null},
        {QStringLiteral("default_example"), QJsonValue::Null},
        {QStringLiteral("latest_version"),
         QJsonObject{{QStringLiteral("id"), fakeVersion(model.slug())},
                     {QStringLiteral("created_at"), QStringLiteral("2025-06-01T12:00:00.000000Z")},
                     {QStringLiteral("cog_version"), QStringLiteral("0.14.0")},
                     {QStringLiteral("openapi_schema"), schema}}}};
}

Kind kindOfFixture(const QString &slug)
{
    if (slug.contains(QLatin1String("esrgan")) || slug.contains(QLatin1String("required-image")))
        return Kind::upscale;
    if (slug.contains(QLatin1String("video")))
        return Kind::video;
    return Kind::image;
}

QJsonObject schemasOf(const QJsonObject &record)
{
    return record.value(QStringLiteral("latest_version"))
        .toObject()
        .value(QStringLiteral("openapi_schema"))
        .toObject()
        .value(QStringLiteral("components"))
        .toObject()
        .value(QStringLiteral("schemas"))
        .toObject();
}

OutputShape shapeOfRecord(const QJsonObject &record)
{
    const QJsonObject output = schemasOf(record).value(QStringLiteral("Output")).toObject();
    const QString type = output.value(QStringLiteral("type")).toString();
    if (type == QLatin1String("array"))
        return OutputShape::list;
    if (type == QLatin1String("object"))
        return OutputShape::object;
    return OutputShape::single;
}

QStringList slugs(const QList<CatalogModel> &models)
{
    QStringList list;
    for (const CatalogModel &model : models)
        list.append(model.slug());
    return list;
}

} // namespace

QString SimModel::versionId() const
{
    return record.value(QStringLiteral("latest_version"))
        .toObject()
        .value(QStringLiteral("id"))
        .toString();
}

QJsonObject SimModel::schemas() const
{
    return schemasOf(record);
}

QJsonObject SimModel::inputSchema() const
{
    return schemas().value(QStringLiteral("Input")).toObject();
}

ModelRegistry::ModelRegistry()
{
    const QDir dir(QStringLiteral(":/models"));
    for (const QString &file : dir.entryList({QStringLiteral("*.json")}, QDir::Files)) {
        QFile handle(dir.filePath(file));
        if (!handle.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject record = QJsonDocument::fromJson(handle.readAll()).object();
        SimModel model;
        model.owner = record.value(QStringLiteral("owner")).toString();
        model.name = record.value(QStringLiteral("name")).toString();
        model.record = record;
        model.kind = kindOfFixture(model.slug());
        model.shape = shapeOfRecord(record);
        add(model);
    }
    const QList<QPair<Mode, Kind>> modes{
        {Mode::upscale, Kind::upscale}, {Mode::image, Kind::image}, {Mode::video, Kind::video}};
    for (const auto &[mode, kind] : modes) {
        for (const CatalogModel &entry : ModelCatalog::builtIn(mode)) {
            if (m_models.contains(entry.slug()))
                continue;
            SimModel model;
            model.owner = entry.owner;
            model.name = entry.name;
            model.kind = kind;
            model.shape = SchemaFactory::shapeFor(kind, entry.name);
            model.record = generatedRecord(entry, kind, model.shape);
            add(model);
        }
    }
    // Collections overlap the built-in lists and add models found nowhere else.
    const QList<std::tuple<QString, Kind, QStringList>> extras{
        {QStringLiteral("super-resolution"),
         Kind::upscale,
         {QStringLiteral("sim-lab/tile-upscaler"), QStringLiteral("sim-lab/photo-restore")}},
        {QStringLiteral("text-to-image"),
         Kind::image,
         {QStringLiteral("sim-lab/sketchbook"), QStringLiteral("sim-lab/poster-maker")}},
        {QStringLiteral("text-to-video"),
         Kind::video,
         {QStringLiteral("sim-lab/tiny-motion"), QStringLiteral("minimax/video-01")}}};
    const QMap<Kind, Mode> modeOf{
        {Kind::upscale, Mode::upscale}, {Kind::image, Mode::image}, {Kind::video, Mode::video}};
    for (const auto &[slug, kind, extraSlugs] : extras) {
        QStringList listed = slugs(ModelCatalog::builtIn(modeOf.value(kind))).mid(0, 7);
        for (const QString &extra : extraSlugs) {
            if (!m_models.contains(extra)) {
                const QStringList parts = extra.split(QLatin1Char('/'));
                const CatalogModel entry{parts.at(0), parts.at(1), parts.at(1),
                                         QStringLiteral("A model listed only in the ") + slug +
                                             QStringLiteral(" collection."),
                                         false};
                SimModel model;
                model.owner = entry.owner;
                model.name = entry.name;
                model.kind = kind;
                model.shape = SchemaFactory::shapeFor(kind, entry.name);
                model.record = generatedRecord(entry, kind, model.shape);
                add(model);
            }
            listed.insert(2, extra);
        }
        m_collections.insert(slug, listed);
    }
}

void ModelRegistry::add(SimModel model)
{
    m_models.insert(model.slug(), std::move(model));
}

const SimModel *ModelRegistry::find(const QString &owner, const QString &name) const
{
    auto it = m_models.constFind(owner + QLatin1Char('/') + name);
    return it == m_models.constEnd() ? nullptr : &it.value();
}

const SimModel *ModelRegistry::findByVersion(const QString &versionId) const
{
    for (const SimModel &model : m_models) {
        if (!versionId.isEmpty() && model.versionId() == versionId)
            return &model;
    }
    return nullptr;
}

QList<const SimModel *> ModelRegistry::search(const QString &text) const
{
    QList<const SimModel *> found;
    const QString needle = text.trimmed();
    for (const SimModel &model : m_models) {
        const QString description = model.record.value(QStringLiteral("description")).toString();
        if (needle.isEmpty() || model.owner.contains(needle, Qt::CaseInsensitive) ||
            model.name.contains(needle, Qt::CaseInsensitive) ||
            description.contains(needle, Qt::CaseInsensitive))
            found.append(&model);
    }
    return found;
}

QStringList ModelRegistry::collection(const QString &slug) const
{
    return m_collections.value(slug);
}

QJsonObject ModelRegistry::collectionInfo(const QString &slug) const
{
    QString name = slug;
    name.replace(QLatin1Char('-'), QLatin1Char(' '));
    if (!name.isEmpty())
        name[0] = name[0].toUpper();
    return QJsonObject{{QStringLiteral("slug"), slug},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("description"), QString(QStringLiteral("Models for ") +
                                                               name.toLower() + QLatin1Char('.'))}};
}

QList<const SimModel *> ModelRegistry::all() const
{
    QList<const SimModel *> list;
    for (const SimModel &model : m_models)
        list.append(&model);
    return list;
}
