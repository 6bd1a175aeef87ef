#pragma once

#include "Services/JournalRecords.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// The journal's SQLite file. It lives on the journal's own thread, which alone holds the
// connection (Qt SQL connections belong to the thread that made them); every call runs there.
class JournalDatabase final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(JournalDatabase)
public:
    explicit JournalDatabase(QString path);
    ~JournalDatabase() override;

    // Opens (or makes) the file and reads it. A file that is not a database or fails its check
    // is moved aside and a fresh one made; one another process holds is left alone and the
    // journal stays closed. `history`, the document of the earlier record, is imported into a
    // journal made for the first time. Jobs whose file is gone and results no longer on disk
    // are left out, and deleted from the file.
    JournalContents open(const QByteArray &history);
    // Writes one batch in one transaction; false (nothing written) when it failed.
    bool apply(const JournalBatch &batch);
    bool isOpen() const { return !m_connection.isEmpty(); }

    static constexpr int schemaVersion = 2;
    static constexpr int busyTimeoutMs = 250;

private:
    enum class Opening { ok, corrupt, locked, failed };
    Opening connect(QString *why);
    void disconnect();
    bool createSchema();
    bool upgradeSchema();
    void importHistory(const QByteArray &history);
    JournalContents read();

    QString m_path;
    QString m_connection; // empty while closed
};
