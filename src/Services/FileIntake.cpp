#include "Services/FileIntake.h"

#include "Services/ImageFile.h"
#include "Services/NaturalOrder.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QSet>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <utility>
#include <vector>

namespace
{

// Files per slice: small enough that making their jobs and rows stays well inside one frame.
constexpr qsizetype sliceSize = 64;

// Answers ImageFile::isImage for many files of a folder. A name whose extension matches exactly
// one type is typed by that name alone (so the type database reads no content), and the answer is
// kept per extension; a photo folder then costs one lookup, not one per file.
class FolderTyper
{
public:
    bool isImage(const QFileInfo &file)
    {
        const QString suffix = file.suffix();
        if (const auto it = m_bySuffix.constFind(suffix); it != m_bySuffix.constEnd())
            return *it;
        const QList<QMimeType> byName = m_db.mimeTypesForFileName(file.fileName());
        // "a.tar.gz" is typed by more than its last suffix; such names are not remembered.
        if (byName.size() != 1 || suffix.isEmpty() || !byName.first().suffixes().contains(suffix))
            return ImageFile::isImage(QUrl::fromLocalFile(file.absoluteFilePath()));
        const bool image = ImageFile::isImageType(byName.first());
        m_bySuffix.insert(suffix, image);
        return image;
    }

private:
    QMimeDatabase m_db;
    QHash<QString, bool> m_bySuffix;
};

// What a listing found, with the folder each file sits in below the folder the user added: empty
// for a file named on its own or lying directly in a dropped folder.
struct Listing {
    QList<FoundFile> files;
    QStringList folders;

    void append(const QFileInfo &file, const QUrl &treeRoot, const QString &folder)
    {
        files.append({QUrl::fromLocalFile(file.absoluteFilePath()), treeRoot});
        folders.append(folder);
    }
};

// The images of every folder below `root`. Hidden files and folders are not asked for. Each
// real folder is walked once: folders reached through links come after every folder reached
// without one, so a link into the tree never takes a folder from its own place, and a link whose
// target was walked already (two links to each other or to one place) or holds the link itself
// (a link back up the tree, even above the added folder) is skipped. A folder that cannot be read
// lists nothing.
void walkTree(const QFileInfo &root, FolderTyper &typer, Listing &listing)
{
    struct Folder {
        QString path;  // as the user will see it, below the added folder
        QString below; // relative to the added folder
        QString real;  // with every link resolved
        QString from;  // for a link: the real path of the folder holding it
    };
    const QUrl treeRoot = QUrl::fromLocalFile(root.absoluteFilePath());
    const QString rootReal = root.canonicalFilePath();
    QSet<QString> visited{rootReal};
    // The order of walking is free: the listing is sorted afterwards.
    std::vector<Folder> pending{{root.absoluteFilePath(), QString(), rootReal, QString()}};
    std::deque<Folder> linked;
    while (!pending.empty() || !linked.empty()) {
        if (pending.empty()) {
            Folder folder = std::move(linked.front());
            linked.pop_front();
            folder.real = QFileInfo(folder.path).canonicalFilePath();
            const QString prefix = folder.real.endsWith(QLatin1Char('/'))
                                       ? folder.real
                                       : folder.real + QLatin1Char('/');
            if (folder.real.isEmpty() || visited.contains(folder.real) ||
                folder.from == folder.real || folder.from.startsWith(prefix))
                continue;
            visited.insert(folder.real);
            pending.push_back(std::move(folder));
        }
        const Folder folder = std::move(pending.back());
        pending.pop_back();
        const QFileInfoList entries =
            QDir(folder.path)
                .entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
        for (const QFileInfo &entry : entries) {
            if (!entry.isDir()) {
                if (typer.isImage(entry))
                    listing.append(entry, treeRoot, folder.below);
                continue;
            }
            const QString name = entry.fileName();
            Folder child{entry.absoluteFilePath(),
                         folder.below.isEmpty() ? name : folder.below + QLatin1Char('/') + name,
                         QString(), folder.real};
            if (entry.isSymLink()) {
                linked.push_back(std::move(child));
                continue;
            }
            // A real folder's real path follows from its parent's without asking the disk.
            child.real = QDir(folder.real).filePath(name);
            visited.insert(child.real);
            pending.push_back(std::move(child));
        }
    }
}

// Each folder's position among the listing's folders: component by component in the file
// browser's order, a folder before its subfolders, the folder a drop named before all of them.
QHash<QString, int> folderRanks(const QStringList &folders, const NaturalOrder &order)
{
    const QSet<QString> unique(folders.cbegin(), folders.cend());
    QList<std::pair<QList<NaturalOrder::Key>, QString>> keyed;
    keyed.reserve(unique.size());
    for (const QString &folder : unique) {
        QList<NaturalOrder::Key> components;
        if (!folder.isEmpty()) {
            for (const QString &component : folder.split(QLatin1Char('/')))
                components.append(NaturalOrder::key(component));
        }
        keyed.append({components, folder});
    }
    std::sort(keyed.begin(), keyed.end(), [&order](const auto &a, const auto &b) {
        const qsizetype common = std::min(a.first.size(), b.first.size());
        for (qsizetype i = 0; i < common; ++i) {
            if (const int c = order.compare(a.first.at(i), b.first.at(i)); c != 0)
                return c < 0;
        }
        if (a.first.size() != b.first.size())
            return a.first.size() < b.first.size();
        // Names equal to the collator ("Jan", "jan") still need one fixed order.
        return a.second < b.second;
    });
    QHash<QString, int> ranks;
    for (qsizetype i = 0; i < keyed.size(); ++i)
        ranks.insert(keyed.at(i).second, int(i));
    return ranks;
}

// A file dropped together with its folder, twice in one drop, or again later becomes one job: a
// second row would only run the same work again and write a numbered copy of it. Results saved
// beside their originals are left out when a folder brings them: adding the folder again must not
// queue the last run's outputs as new photos. A result named on its own is still taken, to be run
// once more.
QList<FoundFile> newFiles(const QList<QUrl> &urls, bool includeSubfolders, const KnownFiles &known)
{
    QSet<QUrl> seen(known.sources.cbegin(), known.sources.cend());
    const QSet<QUrl> results(known.results.cbegin(), known.results.cend());
    const QSet<QUrl> named(urls.cbegin(), urls.cend());
    QList<FoundFile> fresh;
    for (const FoundFile &file : FileIntake::list(urls, includeSubfolders)) {
        if (seen.contains(file.url))
            continue;
        if (results.contains(file.url) && !named.contains(file.url))
            continue;
        seen.insert(file.url);
        fresh.append(file);
    }
    return fresh;
}

} // namespace

FileIntake::FileIntake(std::function<KnownFiles()> known, QObject *parent)
    : QObject(parent), m_known(std::move(known))
{
    connect(&m_listing, &QFutureWatcher<QList<FoundFile>>::finished, this, &FileIntake::listed);
    m_handOutTimer.setInterval(0);
    connect(&m_handOutTimer, &QTimer::timeout, this, &FileIntake::handOut);
}

// A listing still running finishes on its own; it holds nothing of this object.
FileIntake::~FileIntake() = default;

void FileIntake::add(const QList<QUrl> &urls, bool includeSubfolders)
{
    if (urls.isEmpty())
        return;
    m_queue.push_back({urls, includeSubfolders});
    setBusy(true);
    if (m_listingPending || m_handOutTimer.isActive())
        return;
    startNext();
}

void FileIntake::cancel()
{
    m_queue.clear();
    m_found.clear();
    m_handedOut = 0;
    m_handOutTimer.stop();
    // A listing cannot be stopped; its answer is dropped when it arrives.
    if (m_listingPending)
        m_listingCancelled = true;
    else
        setBusy(false);
}

void FileIntake::startNext()
{
    if (m_queue.empty()) {
        setBusy(false);
        return;
    }
    const Drop drop = m_queue.front();
    m_queue.pop_front();
    m_listingPending = true;
    m_listing.setFuture(QtConcurrent::run(newFiles, drop.urls, drop.includeSubfolders, m_known()));
}

void FileIntake::listed()
{
    m_listingPending = false;
    if (std::exchange(m_listingCancelled, false)) {
        startNext();
        return;
    }
    m_found = m_listing.result();
    m_handedOut = 0;
    if (!m_found.isEmpty())
        Q_EMIT expecting(m_found.size());
    handOut();
}

void FileIntake::handOut()
{
    QElapsedTimer turn;
    turn.start();
    while (m_handedOut < m_found.size()) {
        const QList<FoundFile> slice = m_found.mid(m_handedOut, sliceSize);
        m_handedOut += slice.size();
        Q_EMIT found(slice);
        if (turn.elapsed() >= sliceBudgetMs && m_handedOut < m_found.size()) {
            m_handOutTimer.start();
            return;
        }
    }
    m_handOutTimer.stop();
    m_found.clear();
    m_handedOut = 0;
    startNext();
}

void FileIntake::setBusy(bool busy)
{
    if (m_busy == busy)
        return;
    m_busy = busy;
    Q_EMIT busyChanged();
}

QList<QUrl> FileIntake::expand(const QList<QUrl> &urls)
{
    QList<QUrl> found;
    for (const FoundFile &file : list(urls, false))
        found.append(file.url);
    return found;
}

// The order is the file browser's, extended to trees. Files named on their own and the files
// lying directly in a dropped folder come first, sorted together by name as a flat drop always
// was. The files of subfolders follow folder by folder: folders in path order (compared name by
// name below the dropped folder, so "2019" comes before "2019/jan" and that before "2020"), each
// folder's files sorted by name. Folders of the same name below two dropped folders share their
// place; the sort is stable, so equal names keep the order they were dropped in.
QList<FoundFile> FileIntake::list(const QList<QUrl> &urls, bool includeSubfolders)
{
    Listing listing;
    FolderTyper typer;
    for (const QUrl &url : urls) {
        const QFileInfo info(url.toLocalFile());
        if (!info.exists())
            continue;
        if (info.isDir() && includeSubfolders) {
            walkTree(info, typer, listing);
        } else if (info.isDir()) {
            // Hidden files are left out by not asking for them.
            const QFileInfoList children =
                QDir(info.absoluteFilePath()).entryInfoList(QDir::Files, QDir::NoSort);
            for (const QFileInfo &child : children) {
                if (typer.isImage(child))
                    listing.append(child, QUrl(), QString());
            }
        } else if (ImageFile::isImage(url)) {
            listing.files.append({url, QUrl()});
            listing.folders.append(QString());
        }
    }
    // Each name is compared many times; split it into runs once.
    const NaturalOrder order;
    const QHash<QString, int> ranks = folderRanks(listing.folders, order);
    struct Keyed {
        int folder;
        NaturalOrder::Key name;
        qsizetype index;
    };
    QList<Keyed> keyed;
    keyed.reserve(listing.files.size());
    for (qsizetype i = 0; i < listing.files.size(); ++i)
        keyed.append({ranks.value(listing.folders.at(i)),
                      NaturalOrder::key(listing.files.at(i).url.fileName()), i});
    std::stable_sort(keyed.begin(), keyed.end(), [&order](const Keyed &a, const Keyed &b) {
        if (a.folder != b.folder)
            return a.folder < b.folder;
        return order.compare(a.name, b.name) < 0;
    });
    QList<FoundFile> found;
    found.reserve(keyed.size());
    for (const Keyed &entry : std::as_const(keyed))
        found.append(listing.files.at(entry.index));
    return found;
}
