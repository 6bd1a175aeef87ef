#include "FileStore.h"

#include <QUuid>

QString FileStore::add(const QString &name, const QByteArray &contentType, const QByteArray &bytes)
{
    const QString id = QUuid::createUuid().toString(QUuid::Id128);
    m_files.insert(id, StoredFile{id, name, contentType, bytes, QDateTime::currentDateTimeUtc()});
    return id;
}

const StoredFile *FileStore::find(const QString &id) const
{
    auto it = m_files.constFind(id);
    return it == m_files.constEnd() ? nullptr : &it.value();
}

const StoredFile *FileStore::resolve(const QString &address, const QString &base,
                                     StoredFile *scratch) const
{
    if (address.startsWith(QLatin1String("data:"))) {
        const qsizetype comma = address.indexOf(QLatin1Char(','));
        if (comma < 0)
            return nullptr;
        const QString meta = address.mid(5, comma - 5);
        const QByteArray payload = address.mid(comma + 1).toLatin1();
        scratch->contentType = meta.section(QLatin1Char(';'), 0, 0).toLatin1();
        scratch->bytes = meta.endsWith(QLatin1String(";base64"))
                             ? QByteArray::fromBase64(payload)
                             : QByteArray::fromPercentEncoding(payload);
        scratch->name = QStringLiteral("input");
        return scratch;
    }
    if (!address.startsWith(base + QLatin1Char('/')))
        return nullptr;
    // /v1/files/{id}, /v1/files/{id}/download and /delivery/{id}/{name} all name a stored file.
    const QStringList parts = address.mid(base.size() + 1).split(QLatin1Char('/'));
    if (parts.size() >= 3 && parts.at(0) == QLatin1String("v1") &&
        parts.at(1) == QLatin1String("files"))
        return find(parts.at(2));
    if (parts.size() >= 2 && parts.at(0) == QLatin1String("delivery"))
        return find(parts.at(1));
    return nullptr;
}
