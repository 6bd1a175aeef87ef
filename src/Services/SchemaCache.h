#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

// Raw model records on disk, one file per slug under "<cache root>/schemas". The parsed schema is
// never stored: it is read again from the record on every load. An empty root means there is no
// cache: nothing is found, nothing is written and everything is stale.
namespace SchemaCache
{
// A record older than this many seconds is refreshed (exactly this old is still fresh).
inline constexpr qint64 maxAgeSeconds = 7 * 24 * 60 * 60;

// "<root>/schemas", created (with its parents) on every ask; empty without a root. A failure to
// create it is ignored: reads then find nothing and writes fail quietly.
QString directory(const QString &root);
// The slug with every "/" as "_", plus ".json".
QString fileName(const QString &slug);
QString filePath(const QString &root, const QString &slug);

// The cached record; none when missing, unreadable, not JSON or not an object.
std::optional<QJsonObject> load(const QString &root, const QString &slug);
// Writes the record compactly and atomically; every failure is ignored.
void store(const QString &root, const QString &slug, const QJsonObject &record);
// Missing, undated or older than maxAgeSeconds at `now`.
bool isStale(const QString &root, const QString &slug,
             const QDateTime &now = QDateTime::currentDateTimeUtc());
} // namespace SchemaCache
