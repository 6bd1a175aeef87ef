#include "Services/PriceCache.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

namespace
{

// Cache files of real pages are a few hundred bytes; anything much larger is not ours.
constexpr qint64 maxFileBytes = 1 << 20;

bool isSlug(const QString &slug)
{
    const QStringList parts = slug.split(QLatin1Char('/'));
    if (parts.size() != 2)
        return false;
    for (const QString &part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..") ||
            part.contains(QLatin1Char('\\')))
            return false;
    }
    return true;
}

} // namespace

PriceCache::PriceCache(QString cacheRoot) : m_root(std::move(cacheRoot)) {}

QString PriceCache::folder() const
{
    if (m_root.isEmpty())
        return QString();
    const QString path = QDir(m_root).filePath(QStringLiteral("prices"));
    QDir().mkpath(path);
    return path;
}

QString PriceCache::fileName(const QString &slug)
{
    if (!isSlug(slug))
        return QString();
    QString name = slug;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return name + QStringLiteral(".json");
}

QString PriceCache::filePath(const QString &slug) const
{
    const QString name = fileName(slug);
    const QString dir = folder();
    if (name.isEmpty() || dir.isEmpty())
        return QString();
    return QDir(dir).filePath(name);
}

std::optional<ModelPrice> PriceCache::cached(const QString &slug) const
{
    const QString path = filePath(slug);
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxFileBytes)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return ModelPrice::fromStored(document.object());
}

void PriceCache::store(const QString &slug, const ModelPrice &price) const
{
    const QString path = filePath(slug);
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QJsonDocument(price.toStored()).toJson(QJsonDocument::Compact));
    file.commit();
}
