#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>

struct StoredFile {
    QString id;
    QString name;
    QByteArray contentType;
    QByteArray bytes;
    QDateTime created;
};

// Uploaded files and produced outputs, kept in memory for the life of the process.
class FileStore
{
public:
    QString add(const QString &name, const QByteArray &contentType, const QByteArray &bytes);
    const StoredFile *find(const QString &id) const;
    // The bytes behind an address this service handed out (an upload or an output), or a data
    // URI. Nothing for anything else.
    const StoredFile *resolve(const QString &address, const QString &base,
                              StoredFile *scratch) const;
    void clear() { m_files.clear(); }

private:
    QHash<QString, StoredFile> m_files;
};
