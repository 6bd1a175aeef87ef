#include "Services/OutputPlacement.h"

#include "Models/JobInput.h"
#include "Services/DataUri.h"
#include "Services/ImageFile.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace
{

// Names chosen for results that are not on the disk yet: between choosing a name and moving the
// part there, the journal is told, and another result of this process must not pick it meanwhile.
QMutex reservedLock;
QSet<QString> reservedPaths;

QString partPrefix(const QString &owner)
{
    return owner.isEmpty() ? QStringLiteral(".moonforge-")
                           : QStringLiteral(".moonforge-") + owner + QLatin1Char('-');
}

// The bytes reach the disk before the file gets its final name, so a crash never leaves a
// truncated result under it.
bool syncToDisk(QFile &file)
{
#ifdef Q_OS_WIN
    return _commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

// What a file the user creates gets: read and write for everyone, less the process's umask. The
// scratch file is made private, and the result must not stay so.
QFile::Permissions ordinaryFilePermissions()
{
    int mask = 022;
#ifdef Q_OS_LINUX
    // Read, not set: setting the umask to learn it would race with other threads' files.
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            bool ok = false;
            const int value = line.startsWith("Umask:") ? line.mid(6).trimmed().toInt(&ok, 8) : 0;
            if (ok)
                mask = value;
        }
    }
#endif
    const std::pair<int, QFile::Permissions> bits[] = {{0400, QFile::ReadOwner | QFile::ReadUser},
                                                       {0200, QFile::WriteOwner | QFile::WriteUser},
                                                       {0040, QFile::ReadGroup},
                                                       {0020, QFile::WriteGroup},
                                                       {0004, QFile::ReadOther},
                                                       {0002, QFile::WriteOther}};
    QFile::Permissions permissions;
    for (const auto &[bit, permission] : bits) {
        if (!(mask & bit))
            permissions |= permission;
    }
    return permissions;
}

} // namespace

namespace OutputPlacement
{

QString mirroredFolder(const QUrl &file, const QUrl &treeRoot)
{
    if (!file.isLocalFile() || !treeRoot.isLocalFile())
        return {};
    const QString root = QDir::cleanPath(QFileInfo(treeRoot.toLocalFile()).absoluteFilePath());
    const QString parent = QDir::cleanPath(QFileInfo(file.toLocalFile()).absolutePath());
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    if (!parent.startsWith(prefix))
        return {};
    const QString below = parent.mid(prefix.size());
    // Clean absolute paths hold no "." or ".." parts; checked anyway, as this path is appended to
    // the output folder and must never lead out of it.
    for (const QString &part : below.split(QLatin1Char('/'))) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return {};
    }
    return below;
}

QUrl folder(const OutputPlan &plan, const JobInput &input, const QUrl &treeRoot)
{
    if (!plan.destination.isBesideOriginal()) {
        const QUrl chosen = plan.destination.folderUrl();
        const QString below = input.isFile() ? mirroredFolder(input.url(), treeRoot) : QString();
        if (below.isEmpty())
            return chosen;
        return QUrl::fromLocalFile(QDir(chosen.toLocalFile()).filePath(below));
    }
    if (input.isFile())
        return QUrl::fromLocalFile(QFileInfo(input.url().toLocalFile()).absolutePath());
    if (plan.fallbackFolder)
        return *plan.fallbackFolder;
    return QUrl::fromLocalFile(QDir::tempPath());
}

QString scaleText(std::optional<double> scale)
{
    if (!scale)
        return QStringLiteral("up");
    const double value = *scale;
    // Nonsense from a schema must still give a usable name rather than undefined conversions.
    if (!std::isfinite(value) || std::fabs(value) >= 1e15)
        return QStringLiteral("up");
    if (std::round(value) == value)
        return QString::number(static_cast<qint64>(std::round(value)));
    return QString::asprintf("%.1f", value);
}

QString name(const OutputPlan &plan, const QString &modelName, bool tagWithModel, int index,
             int count)
{
    QString text = plan.suffix;
    text.replace(QStringLiteral("{scale}"), scaleText(plan.scale));
    text.replace(QStringLiteral("{model}"), modelName);
    if (tagWithModel && !text.contains(modelName))
        text += QLatin1Char('-') + modelName;
    if (count >= 2)
        text += QLatin1Char('-') + QString::number(index + 1);
    // The template is user text that becomes part of a path: it must never leave the folder.
    text.replace(QLatin1Char('/'), QLatin1Char('-'));
    text.replace(QLatin1Char('\\'), QLatin1Char('-'));
    text.remove(QChar(0));
    return text;
}

QString extension(const QUrl &address, const QString &fallback)
{
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9]{1,8}$"));
    // An inline file's type is its media type, not anything in its (encoded) contents.
    const QString suffix =
        DataUri::isDataUri(address) ? DataUri::suffix(address) : QFileInfo(address.path()).suffix();
    return safe.match(suffix).hasMatch() ? suffix : fallback;
}

Target target(const OutputPlan &plan, const JobInput &input, const QString &stem,
              const QString &modelName, bool tagWithModel, int index, int count,
              const QUrl &address, const QUrl &treeRoot)
{
    QString fileName = stem + name(plan, modelName, tagWithModel, index, count);
    // A file made only of dots would name the folder itself or its parent.
    if (fileName.isEmpty() || fileName.count(QLatin1Char('.')) == fileName.size())
        fileName = QStringLiteral("result");
    fileName += QLatin1Char('.') + extension(address, plan.fallbackExtension);
    return {folder(plan, input, treeRoot).toLocalFile(), fileName};
}

std::unique_ptr<QTemporaryFile> openPart(const QString &folderPath, const QString &owner)
{
    if (!QDir().mkpath(folderPath))
        throw std::runtime_error(
            QStringLiteral("Could not create the folder “%1”.").arg(folderPath).toStdString());
    // Hidden, and removed again unless committed: an interrupted result never shows up.
    auto part = std::make_unique<QTemporaryFile>(
        QDir(folderPath).filePath(partPrefix(owner) + QStringLiteral("XXXXXX.part")));
    if (!part->open())
        throw std::runtime_error(part->errorString().toStdString());
    return part;
}

bool isPartOf(const QString &fileName, const QString &owner)
{
    // Exactly what openPart() makes for this owner: the prefix, six letters or digits, ".part".
    const QString prefix = partPrefix(owner);
    if (owner.isEmpty() || !fileName.startsWith(prefix) || !fileName.endsWith(u".part") ||
        fileName.size() != prefix.size() + 6 + 5)
        return false;
    const QStringView random = QStringView(fileName).mid(prefix.size(), 6);
    return std::all_of(random.begin(), random.end(),
                       [](QChar c) { return c.isLetterOrNumber() && c.unicode() < 128; });
}

int removeParts(const QString &folderPath, const QSet<QString> &owners)
{
    if (owners.isEmpty() || folderPath.isEmpty())
        return 0;
    const QDir folder(folderPath);
    const qsizetype ownerStart = partPrefix({}).size();
    int removed = 0;
    const QStringList names = folder.entryList({partPrefix({}) + QStringLiteral("*.part")},
                                               QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QString &name : names) {
        const qsizetype ownerEnd = name.lastIndexOf(QLatin1Char('-'));
        if (ownerEnd <= ownerStart)
            continue;
        const QString owner = name.mid(ownerStart, ownerEnd - ownerStart);
        if (owners.contains(owner) && isPartOf(name, owner) && QFile::remove(folder.filePath(name)))
            ++removed;
    }
    return removed;
}

void finishPart(QTemporaryFile &part)
{
    if (!part.flush() || !part.setPermissions(ordinaryFilePermissions()) || !syncToDisk(part))
        throw std::runtime_error(part.errorString().toStdString());
}

QString reserveName(const Target &target)
{
    const QFileInfo proposal(QDir(target.folder).filePath(target.fileName));
    const QString folder = proposal.absolutePath();
    const QString ext = proposal.suffix();
    const QString base = ext.isEmpty() ? proposal.fileName() : proposal.completeBaseName();
    const QMutexLocker locker(&reservedLock);
    // The same numbering as ImageFile::uniqueURL, skipping names held by other results.
    for (int n = 1; n <= 9999; ++n) {
        QString candidate = folder + QLatin1Char('/') + base;
        if (n > 1)
            candidate += QLatin1Char(' ') + QString::number(n);
        if (!ext.isEmpty())
            candidate += QLatin1Char('.') + ext;
        if (!reservedPaths.contains(candidate) && !QFileInfo::exists(candidate)) {
            reservedPaths.insert(candidate);
            return candidate;
        }
    }
    throw std::runtime_error("No free file name is left for this result.");
}

void releaseName(const QString &path)
{
    const QMutexLocker locker(&reservedLock);
    reservedPaths.remove(path);
}

bool moveInto(QTemporaryFile &part, const QString &path)
{
    // The rename refuses to replace a file, so a name the user took since it was chosen only
    // makes the caller pick the next free one.
    if (part.rename(path)) {
        // It is the result now, no longer a scratch file.
        part.setAutoRemove(false);
        return true;
    }
    if (!QFileInfo::exists(path))
        throw std::runtime_error(part.errorString().toStdString());
    return false;
}

QUrl commit(QTemporaryFile &part, const Target &target)
{
    finishPart(part);
    for (int attempt = 0; attempt < maxCommitAttempts; ++attempt) {
        const QString path = reserveName(target);
        const bool moved = moveInto(part, path);
        releaseName(path);
        if (moved)
            return QUrl::fromLocalFile(path);
    }
    throw std::runtime_error("No free file name is left for this result.");
}

QUrl place(const OutputPlan &plan, const JobInput &input, const QString &stem,
           const QString &modelName, bool tagWithModel, int index, int count, const QUrl &address,
           const QByteArray &bytes, const QUrl &treeRoot)
{
    const Target where =
        target(plan, input, stem, modelName, tagWithModel, index, count, address, treeRoot);
    const auto part = openPart(where.folder);
    if (part->write(bytes) != bytes.size())
        throw std::runtime_error(part->errorString().toStdString());
    return commit(*part, where);
}

} // namespace OutputPlacement
