#include "Services/JournalDatabase.h"

#include "Models/HistorySnapshot.h"
#include "Services/OutputPlacement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

#include <exception>

namespace
{

// SQLite's own result codes, as the driver reports them.
const QString busyCode = QStringLiteral("5");
const QString lockedCode = QStringLiteral("6");
const QString notADatabaseCode = QStringLiteral("26");
const QString corruptCode = QStringLiteral("11");

const char *const schema[] = {
    "CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT)",
    "CREATE TABLE jobs (id TEXT PRIMARY KEY, mode TEXT NOT NULL, position INTEGER NOT NULL, "
    "kind TEXT NOT NULL, source TEXT NOT NULL, refs TEXT NOT NULL, tree_root TEXT, "
    "pixel_width REAL, pixel_height REAL, byte_size INTEGER NOT NULL)",
    "CREATE TABLE runs (id TEXT PRIMARY KEY, mode TEXT NOT NULL, destination TEXT, "
    "fallback_folder TEXT, fallback_extension TEXT NOT NULL, suffix TEXT NOT NULL, scale REAL, "
    "tag_with_model INTEGER NOT NULL, spend_limit REAL, spent REAL NOT NULL DEFAULT 0)",
    "CREATE TABLE pairs (id TEXT PRIMARY KEY, job_id TEXT NOT NULL, position INTEGER NOT NULL, "
    "slug TEXT NOT NULL, title TEXT NOT NULL, status TEXT NOT NULL, message TEXT, "
    "prediction_id TEXT, cancel_url TEXT, result_url TEXT, result_width REAL, "
    "result_height REAL, elapsed REAL, cost_low REAL, cost_high REAL, run_id TEXT, "
    "create_sent_at TEXT, create_input TEXT, part_folder TEXT, outputs TEXT)",
    "CREATE INDEX pairs_by_job ON pairs (job_id, position)",
};

// What a journal of the first version lacks.
const char *const fromVersion1[] = {
    "ALTER TABLE pairs ADD COLUMN part_folder TEXT",
    "ALTER TABLE pairs ADD COLUMN outputs TEXT",
};

QVariant nullable(const std::optional<double> &value)
{
    return value ? QVariant(*value) : QVariant(QMetaType(QMetaType::Double));
}

QVariant nullable(const QString &text)
{
    return text.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(text);
}

// The driver binds a null string as NULL; an empty text is still a text.
QString text(const QString &value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

std::optional<double> optionalDouble(const QVariant &value)
{
    return value.isNull() ? std::nullopt : std::optional(value.toDouble());
}

QString idText(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces);
}

// The stored names of the statuses.
const QList<std::pair<QString, RunStatus::Kind>> &statusNames()
{
    using Kind = RunStatus::Kind;
    static const QList<std::pair<QString, Kind>> names{
        {QStringLiteral("waiting"), Kind::waiting},
        {QStringLiteral("preparing"), Kind::preparing},
        {QStringLiteral("uploading"), Kind::uploading},
        {QStringLiteral("running"), Kind::running},
        {QStringLiteral("downloading"), Kind::downloading},
        {QStringLiteral("done"), Kind::done},
        {QStringLiteral("failed"), Kind::failed},
        {QStringLiteral("cancelled"), Kind::cancelled},
    };
    return names;
}

RunStatus::Kind statusFromName(const QString &name)
{
    for (const auto &[text, kind] : statusNames()) {
        if (text == name)
            return kind;
    }
    return RunStatus::Kind::waiting;
}

QString statusName(RunStatus::Kind kind)
{
    for (const auto &[text, named] : statusNames()) {
        if (named == kind)
            return text;
    }
    return statusNames().constFirst().first;
}

bool fileExists(const QString &url)
{
    const QUrl parsed(url);
    return parsed.isLocalFile() && QFileInfo::exists(parsed.toLocalFile());
}

// The journal, its write-ahead log and its index move together.
void moveAside(const QString &path, const QString &aside)
{
    QFile::rename(path, aside);
    for (const char *tail : {"-wal", "-shm"}) {
        if (QFileInfo::exists(path + QLatin1String(tail)))
            QFile::rename(path + QLatin1String(tail), aside + QLatin1String(tail));
    }
}

} // namespace

JournalDatabase::JournalDatabase(QString path) : m_path(std::move(path)) {}

JournalDatabase::~JournalDatabase()
{
    disconnect();
}

void JournalDatabase::disconnect()
{
    if (m_connection.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(std::exchange(m_connection, {}));
}

JournalDatabase::Opening JournalDatabase::connect(QString *why)
{
    m_connection = QStringLiteral("journal-%1").arg(quintptr(this));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
    if (!db.open()) {
        *why = db.lastError().text();
        return Opening::failed;
    }
    QSqlQuery query(db);
    const auto failure = [&query, why] {
        const QSqlError error = query.lastError();
        *why = error.databaseText().isEmpty() ? error.text() : error.databaseText();
        const QString code = error.nativeErrorCode();
        if (code == busyCode || code == lockedCode)
            return Opening::locked;
        if (code == notADatabaseCode || code == corruptCode)
            return Opening::corrupt;
        return Opening::failed;
    };
    // Held for as long as this process runs, so a second instance finds the journal taken
    // rather than writing into it too.
    if (!query.exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE")))
        return failure();
    if (!query.exec(QStringLiteral("PRAGMA quick_check")))
        return failure();
    if (!query.next() || query.value(0).toString() != QLatin1String("ok")) {
        *why = query.value(0).toString();
        return Opening::corrupt;
    }
    query.finish();
    if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
        !query.exec(QStringLiteral("PRAGMA synchronous=NORMAL")) ||
        !query.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return failure();
    query.exec(QStringLiteral("COMMIT"));
    return Opening::ok;
}

JournalContents JournalDatabase::open(const QByteArray &history)
{
    JournalContents contents;
    const bool existed = QFileInfo::exists(m_path);
    // On a first start the application's data folder may not be there yet.
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QString why;
    Opening opening = connect(&why);
    if (opening == Opening::corrupt) {
        disconnect();
        const QString aside =
            m_path + QStringLiteral(".corrupt-") +
            QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        moveAside(m_path, aside);
        contents.problem = QStringLiteral("The job journal was damaged (%1). It was set aside as "
                                          "%2 and a new one started, so earlier jobs are not "
                                          "listed.")
                               .arg(why, QFileInfo(aside).fileName());
        opening = connect(&why);
    }
    if (opening == Opening::locked) {
        disconnect();
        contents.problem = QStringLiteral("The job journal %1 is in use by another Moonforge. "
                                          "Jobs added here will not be kept after quitting.")
                               .arg(m_path);
        return contents;
    }
    if (opening != Opening::ok) {
        disconnect();
        contents.problem = QStringLiteral("The job journal %1 could not be opened (%2). Jobs "
                                          "added here will not be kept after quitting.")
                               .arg(m_path, why);
        return contents;
    }
    QSqlQuery query(QSqlDatabase::database(m_connection));
    query.exec(QStringLiteral("PRAGMA user_version"));
    const int version = query.next() ? query.value(0).toInt() : 0;
    query.finish();
    if (version > schemaVersion) {
        disconnect();
        contents.problem = QStringLiteral("The job journal %1 was written by a newer Moonforge. "
                                          "Jobs added here will not be kept after quitting.")
                               .arg(m_path);
        return contents;
    }
    if (version == 0) {
        if (!createSchema()) {
            disconnect();
            contents.problem = QStringLiteral("The job journal %1 could not be set up. Jobs "
                                              "added here will not be kept after quitting.")
                                   .arg(m_path);
            return contents;
        }
        // Only a journal made for the first time takes the earlier record in; one that replaces
        // a damaged journal does not bring back jobs removed long ago.
        if (!existed && contents.problem.isEmpty())
            importHistory(history);
    } else if (version < schemaVersion && !upgradeSchema()) {
        disconnect();
        contents.problem = QStringLiteral("The job journal %1 could not be set up. Jobs "
                                          "added here will not be kept after quitting.")
                               .arg(m_path);
        return contents;
    }
    JournalContents read = this->read();
    read.problem = contents.problem;
    return read;
}

bool JournalDatabase::createSchema()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    db.transaction();
    QSqlQuery query(db);
    for (const char *statement : schema) {
        if (!query.exec(QLatin1String(statement))) {
            db.rollback();
            return false;
        }
    }
    query.exec(QStringLiteral("PRAGMA user_version=%1").arg(schemaVersion));
    return db.commit();
}

bool JournalDatabase::upgradeSchema()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    db.transaction();
    QSqlQuery query(db);
    for (const char *statement : fromVersion1) {
        if (!query.exec(QLatin1String(statement))) {
            db.rollback();
            return false;
        }
    }
    query.exec(QStringLiteral("PRAGMA user_version=%1").arg(schemaVersion));
    return db.commit();
}

void JournalDatabase::importHistory(const QByteArray &history)
{
    QList<JobSnapshot> snapshots;
    if (!history.isEmpty()) {
        try {
            snapshots = JobSnapshot::decode(history);
        } catch (const std::exception &) {
            // An unreadable record brings nothing back, as it did before.
        }
    }
    JournalBatch batch;
    QHash<Mode, qint64> positions;
    for (const JobSnapshot &snapshot : std::as_const(snapshots)) {
        JournalJob job;
        job.id = QUuid::createUuid();
        job.mode = snapshot.mode;
        job.position = positions[snapshot.mode]++;
        job.isPrompt = !snapshot.fileURL;
        if (snapshot.fileURL)
            job.source = snapshot.fileURL->toString(QUrl::FullyEncoded);
        else if (snapshot.prompt)
            job.source = *snapshot.prompt;
        else
            continue;
        for (const QUrl &reference : snapshot.references)
            job.references.append(reference.toString(QUrl::FullyEncoded));
        job.pixelWidth = snapshot.pixelHeight ? snapshot.pixelWidth : std::nullopt;
        job.pixelHeight = snapshot.pixelWidth ? snapshot.pixelHeight : std::nullopt;
        job.byteSize = snapshot.byteSize;
        QList<JournalPair> pairs;
        for (const VariantSnapshot &variant : snapshot.variants) {
            JournalPair pair;
            pair.id = QUuid::createUuid();
            pair.jobId = job.id;
            pair.position = int(pairs.size());
            pair.slug = variant.slug;
            pair.title = variant.title;
            pair.status = RunStatus::Kind::done;
            pair.resultURL = variant.resultURL.toString(QUrl::FullyEncoded);
            pair.resultWidth = variant.resultHeight ? variant.resultWidth : std::nullopt;
            pair.resultHeight = variant.resultWidth ? variant.resultHeight : std::nullopt;
            pair.elapsed = variant.elapsed;
            if (variant.cost) {
                pair.costLow = variant.cost->low;
                pair.costHigh = variant.cost->high;
            }
            pairs.append(pair);
        }
        batch.jobs.append(job);
        batch.jobPairs.append({job.id, pairs});
    }
    apply(batch);
    QSqlQuery query(QSqlDatabase::database(m_connection));
    query.exec(QStringLiteral("INSERT OR REPLACE INTO meta (key, value) VALUES "
                              "('historyImported', '%1')")
                   .arg(snapshots.size()));
}

JournalContents JournalDatabase::read()
{
    JournalContents contents;
    contents.isOpen = true;
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    QList<QUuid> droppedJobs;
    QList<QUuid> droppedPairs;

    query.exec(QStringLiteral("SELECT id, mode, position, kind, source, refs, tree_root, "
                              "pixel_width, pixel_height, byte_size FROM jobs"));
    QHash<QUuid, qsizetype> jobAt;
    while (query.next()) {
        JournalJob job;
        job.id = QUuid::fromString(query.value(0).toString());
        job.mode = Modes::fromKey(query.value(1).toString()).value_or(Mode::upscale);
        job.position = query.value(2).toLongLong();
        job.isPrompt = query.value(3).toString() == QLatin1String("prompt");
        job.source = query.value(4).toString();
        for (const QJsonValue &reference :
             QJsonDocument::fromJson(query.value(5).toString().toUtf8()).array()) {
            // A reference image deleted since is left out.
            if (fileExists(reference.toString()))
                job.references.append(reference.toString());
        }
        job.treeRoot = query.value(6).toString();
        job.pixelWidth = optionalDouble(query.value(7));
        job.pixelHeight = optionalDouble(query.value(8));
        job.byteSize = query.value(9).toLongLong();
        if (!job.isPrompt && !fileExists(job.source)) {
            droppedJobs.append(job.id);
            continue;
        }
        jobAt.insert(job.id, contents.jobs.size());
        contents.jobs.append(job);
    }
    query.finish();

    QHash<QUuid, int> resultsGone; // per job: done pairs left out because their file is gone
    query.exec(QStringLiteral("SELECT id, job_id, position, slug, title, status, message, "
                              "prediction_id, cancel_url, result_url, result_width, "
                              "result_height, elapsed, cost_low, cost_high, run_id, "
                              "create_sent_at, create_input, part_folder, outputs FROM pairs "
                              "ORDER BY job_id, position"));
    QHash<QString, QSet<QString>> partsLeft; // folder: the pairs that wrote there
    while (query.next()) {
        JournalPair pair;
        pair.id = QUuid::fromString(query.value(0).toString());
        pair.jobId = QUuid::fromString(query.value(1).toString());
        if (!jobAt.contains(pair.jobId)) {
            droppedPairs.append(pair.id);
            continue;
        }
        pair.position = query.value(2).toInt();
        pair.slug = query.value(3).toString();
        pair.title = query.value(4).toString();
        pair.status = statusFromName(query.value(5).toString());
        pair.message = query.value(6).toString();
        pair.predictionId = query.value(7).toString();
        pair.cancelURL = query.value(8).toString();
        pair.resultURL = query.value(9).toString();
        pair.resultWidth = optionalDouble(query.value(10));
        pair.resultHeight = optionalDouble(query.value(11));
        pair.elapsed = optionalDouble(query.value(12));
        pair.costLow = optionalDouble(query.value(13));
        pair.costHigh = optionalDouble(query.value(14));
        pair.runId = QUuid::fromString(query.value(15).toString());
        pair.createSentAt = QDateTime::fromString(query.value(16).toString(), Qt::ISODateWithMs);
        pair.createInput = query.value(17).toString();
        pair.partFolder = query.value(18).toString();
        for (const QJsonValue &output :
             QJsonDocument::fromJson(query.value(19).toString().toUtf8()).array())
            pair.outputs.append(output.toString());
        // Nothing of this process writes yet, so a part of this pair is a crash's leftover.
        if (!pair.partFolder.isEmpty())
            partsLeft[std::exchange(pair.partFolder, {})].insert(
                pair.id.toString(QUuid::WithoutBraces));
        // A result deleted outside the application is no result any more.
        if (pair.status == RunStatus::Kind::done && !fileExists(pair.resultURL)) {
            droppedPairs.append(pair.id);
            ++resultsGone[pair.jobId];
            continue;
        }
        contents.pairs[pair.jobId].append(pair);
    }
    query.finish();
    // A job whose every result is gone is gone too, as it was before the journal.
    for (auto it = resultsGone.constBegin(); it != resultsGone.constEnd(); ++it) {
        if (contents.pairs.value(it.key()).isEmpty())
            droppedJobs.append(it.key());
    }
    if (!droppedJobs.isEmpty()) {
        QSet<QUuid> dropped(droppedJobs.begin(), droppedJobs.end());
        contents.jobs.removeIf(
            [&dropped](const JournalJob &job) { return dropped.contains(job.id); });
    }
    std::stable_sort(contents.jobs.begin(), contents.jobs.end(),
                     [](const JournalJob &a, const JournalJob &b) {
                         return a.mode != b.mode ? a.mode < b.mode : a.position < b.position;
                     });

    // Runs none of whose pairs is left have nothing more to say.
    query.exec(QStringLiteral("DELETE FROM runs WHERE id NOT IN (SELECT run_id FROM pairs WHERE "
                              "run_id IS NOT NULL)"));
    query.exec(QStringLiteral("SELECT id, mode, destination, fallback_folder, fallback_extension, "
                              "suffix, scale, tag_with_model, spend_limit, spent FROM runs"));
    while (query.next()) {
        JournalRun run;
        run.id = QUuid::fromString(query.value(0).toString());
        run.mode = Modes::fromKey(query.value(1).toString()).value_or(Mode::upscale);
        run.destinationFolder = query.value(2).toString();
        run.fallbackFolder = query.value(3).toString();
        run.fallbackExtension = query.value(4).toString();
        run.suffix = query.value(5).toString();
        run.scale = optionalDouble(query.value(6));
        run.tagWithModel = query.value(7).toBool();
        run.spendLimit = optionalDouble(query.value(8));
        run.spent = query.value(9).toDouble();
        contents.runs.insert(run.id, run);
    }
    query.finish();

    // Each folder is looked through once, however many pairs wrote there.
    for (auto it = partsLeft.constBegin(); it != partsLeft.constEnd(); ++it)
        OutputPlacement::removeParts(it.key(), it.value());
    if (!partsLeft.isEmpty())
        query.exec(
            QStringLiteral("UPDATE pairs SET part_folder = NULL WHERE part_folder IS NOT NULL"));

    JournalBatch forget;
    forget.removedJobs = droppedJobs;
    apply(forget);
    if (!droppedPairs.isEmpty()) {
        db.transaction();
        QSqlQuery remove(db);
        remove.prepare(QStringLiteral("DELETE FROM pairs WHERE id = ?"));
        for (const QUuid &id : std::as_const(droppedPairs)) {
            remove.addBindValue(idText(id));
            remove.exec();
        }
        db.commit();
    }
    return contents;
}

bool JournalDatabase::apply(const JournalBatch &batch)
{
    if (m_connection.isEmpty() || batch.isEmpty())
        return !m_connection.isEmpty();
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    if (!db.transaction())
        return false;
    bool ok = true;
    const auto run = [&ok](QSqlQuery &query) { ok = query.exec() && ok; };

    if (!batch.removedJobs.isEmpty()) {
        QSqlQuery pairs(db), jobs(db);
        pairs.prepare(QStringLiteral("DELETE FROM pairs WHERE job_id = ?"));
        jobs.prepare(QStringLiteral("DELETE FROM jobs WHERE id = ?"));
        for (const QUuid &id : batch.removedJobs) {
            pairs.addBindValue(idText(id));
            run(pairs);
            jobs.addBindValue(idText(id));
            run(jobs);
        }
    }
    if (!batch.jobs.isEmpty()) {
        QSqlQuery put(db);
        put.prepare(QStringLiteral(
            "INSERT INTO jobs (id, mode, position, kind, source, refs, tree_root, pixel_width, "
            "pixel_height, byte_size) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (id) DO "
            "UPDATE SET mode = excluded.mode, position = excluded.position, "
            "pixel_width = excluded.pixel_width, pixel_height = excluded.pixel_height, "
            "byte_size = excluded.byte_size, tree_root = excluded.tree_root"));
        for (const JournalJob &job : batch.jobs) {
            put.addBindValue(idText(job.id));
            put.addBindValue(Modes::key(job.mode));
            put.addBindValue(job.position);
            put.addBindValue(job.isPrompt ? QStringLiteral("prompt") : QStringLiteral("file"));
            put.addBindValue(text(job.source));
            put.addBindValue(
                QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(job.references))
                                      .toJson(QJsonDocument::Compact)));
            put.addBindValue(nullable(job.treeRoot));
            put.addBindValue(nullable(job.pixelWidth));
            put.addBindValue(nullable(job.pixelHeight));
            put.addBindValue(job.byteSize);
            run(put);
        }
    }
    if (!batch.jobPairs.isEmpty()) {
        QSqlQuery existing(db), remove(db), put(db);
        existing.prepare(QStringLiteral("SELECT id FROM pairs WHERE job_id = ?"));
        remove.prepare(QStringLiteral("DELETE FROM pairs WHERE id = ?"));
        put.prepare(QStringLiteral(
            "INSERT INTO pairs (id, job_id, position, slug, title, status, message, "
            "prediction_id, cancel_url, result_url, result_width, result_height, elapsed, "
            "cost_low, cost_high) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON "
            "CONFLICT (id) DO UPDATE SET position = excluded.position, title = excluded.title, "
            "status = excluded.status, message = excluded.message, "
            "prediction_id = excluded.prediction_id, cancel_url = excluded.cancel_url, "
            "result_url = excluded.result_url, result_width = excluded.result_width, "
            "result_height = excluded.result_height, elapsed = excluded.elapsed, "
            "cost_low = excluded.cost_low, cost_high = excluded.cost_high"));
        for (const auto &[jobId, pairs] : batch.jobPairs) {
            QSet<QString> kept;
            for (const JournalPair &pair : pairs)
                kept.insert(idText(pair.id));
            existing.addBindValue(idText(jobId));
            run(existing);
            QStringList gone;
            while (existing.next()) {
                if (!kept.contains(existing.value(0).toString()))
                    gone.append(existing.value(0).toString());
            }
            existing.finish();
            for (const QString &id : std::as_const(gone)) {
                remove.addBindValue(id);
                run(remove);
            }
            for (const JournalPair &pair : pairs) {
                put.addBindValue(idText(pair.id));
                put.addBindValue(idText(jobId));
                put.addBindValue(pair.position);
                put.addBindValue(text(pair.slug));
                put.addBindValue(text(pair.title));
                put.addBindValue(statusName(pair.status));
                put.addBindValue(nullable(pair.message));
                put.addBindValue(nullable(pair.predictionId));
                put.addBindValue(nullable(pair.cancelURL));
                put.addBindValue(nullable(pair.resultURL));
                put.addBindValue(nullable(pair.resultWidth));
                put.addBindValue(nullable(pair.resultHeight));
                put.addBindValue(nullable(pair.elapsed));
                put.addBindValue(nullable(pair.costLow));
                put.addBindValue(nullable(pair.costHigh));
                run(put);
            }
        }
    }
    if (!batch.runs.isEmpty()) {
        QSqlQuery put(db);
        put.prepare(QStringLiteral(
            "INSERT INTO runs (id, mode, destination, fallback_folder, fallback_extension, "
            "suffix, scale, tag_with_model, spend_limit) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) ON "
            "CONFLICT (id) DO UPDATE SET spend_limit = excluded.spend_limit"));
        for (const JournalRun &journaled : batch.runs) {
            put.addBindValue(idText(journaled.id));
            put.addBindValue(Modes::key(journaled.mode));
            put.addBindValue(nullable(journaled.destinationFolder));
            put.addBindValue(nullable(journaled.fallbackFolder));
            put.addBindValue(text(journaled.fallbackExtension));
            put.addBindValue(text(journaled.suffix));
            put.addBindValue(nullable(journaled.scale));
            put.addBindValue(journaled.tagWithModel ? 1 : 0);
            put.addBindValue(nullable(journaled.spendLimit));
            run(put);
        }
    }
    if (!batch.pairRuns.isEmpty()) {
        QSqlQuery put(db);
        put.prepare(QStringLiteral("UPDATE pairs SET run_id = ? WHERE id = ?"));
        for (const auto &[pair, runId] : batch.pairRuns) {
            put.addBindValue(idText(runId));
            put.addBindValue(idText(pair));
            run(put);
        }
    }
    if (!batch.createsSent.isEmpty()) {
        QSqlQuery put(db);
        put.prepare(
            // A new create makes new outputs: those named for an earlier one are no longer its.
            QStringLiteral("UPDATE pairs SET create_sent_at = ?, create_input = ?, outputs = NULL "
                           "WHERE id = ?"));
        for (const JournalPair &pair : batch.createsSent) {
            put.addBindValue(pair.createSentAt.toUTC().toString(Qt::ISODateWithMs));
            put.addBindValue(text(pair.createInput));
            put.addBindValue(idText(pair.id));
            run(put);
        }
    }
    if (!batch.placements.isEmpty()) {
        QSqlQuery folder(db), outputs(db), put(db);
        folder.prepare(QStringLiteral("UPDATE pairs SET part_folder = ? WHERE id = ?"));
        outputs.prepare(QStringLiteral("SELECT outputs FROM pairs WHERE id = ?"));
        put.prepare(QStringLiteral("UPDATE pairs SET outputs = ? WHERE id = ?"));
        for (const JournalPlacement &placement : batch.placements) {
            if (!placement.index) {
                folder.addBindValue(nullable(placement.path));
                folder.addBindValue(idText(placement.pairId));
                run(folder);
                continue;
            }
            outputs.addBindValue(idText(placement.pairId));
            run(outputs);
            QJsonArray named =
                outputs.next()
                    ? QJsonDocument::fromJson(outputs.value(0).toString().toUtf8()).array()
                    : QJsonArray();
            outputs.finish();
            while (named.size() <= *placement.index)
                named.append(QString());
            named[*placement.index] = placement.path;
            put.addBindValue(
                QString::fromUtf8(QJsonDocument(named).toJson(QJsonDocument::Compact)));
            put.addBindValue(idText(placement.pairId));
            run(put);
        }
    }
    if (!batch.runsSpent.isEmpty()) {
        QSqlQuery put(db);
        put.prepare(QStringLiteral("UPDATE runs SET spent = ? WHERE id = ?"));
        for (const auto &[runId, spent] : batch.runsSpent) {
            put.addBindValue(spent);
            put.addBindValue(idText(runId));
            run(put);
        }
    }
    if (!ok) {
        db.rollback();
        return false;
    }
    return db.commit();
}
