#include "Services/SchemaCache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

QString SchemaCache::directory(const QString &root)
{
    if (root.isEmpty())
        return {};
    const QString path = QDir(root).filePath(QStringLiteral("schemas"));
    QDir().mkpath(path);
    return path;
}

QString SchemaCache::fileName(const QString &slug)
{
    QString name = slug;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return name + QStringLiteral(".json");
}

QString SchemaCache::filePath(const QString &root, const QString &slug)
{
    const QString folder = directory(root);
    return folder.isEmpty() ? QString() : QDir(folder).filePath(fileName(slug));
}

std::optional<QJsonObject> SchemaCache::load(const QString &root, const QString &slug)
{
    const QString path = filePath(root, slug);
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

void SchemaCache::store(const QString &root, const QString &slug, const QJsonObject &record)
{
    const QString path = filePath(root, slug);
    if (path.isEmpty())
        return;
    // QSaveFile writes a temporary file and renames it over the old one on commit, so a reader
    // sees either the old record or the new one, never half of one.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QJsonDocument(record).toJson(QJsonDocument::Compact));
    file.commit();
}

bool SchemaCache::isStale(const QString &root, const QString &slug, const QDateTime &now)
{
    const QString path = filePath(root, slug);
    if (path.isEmpty())
        return true;
    const QFileInfo info(path);
    const QDateTime modified = info.exists() ? info.lastModified() : QDateTime();
    if (!modified.isValid())
        return true;
    // Compared in milliseconds so that "one second past" is never rounded back to fresh.
    return modified.msecsTo(now) > maxAgeSeconds * 1000;
}
