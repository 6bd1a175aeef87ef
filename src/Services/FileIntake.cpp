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

// A file dropped together with its folder, twice in one drop, or again later becomes one job: a
// second row would only run the same work again and write a numbered copy of it.
QList<QUrl> newFiles(const QList<QUrl> &urls, const QList<QUrl> &known)
{
    QSet<QUrl> seen(known.cbegin(), known.cend());
    QList<QUrl> fresh;
    for (const QUrl &url : FileIntake::expand(urls)) {
        if (seen.contains(url))
            continue;
        seen.insert(url);
        fresh.append(url);
    }
    return fresh;
}

} // namespace

FileIntake::FileIntake(std::function<QList<QUrl>()> known, QObject *parent)
    : QObject(parent), m_known(std::move(known))
{
    connect(&m_listing, &QFutureWatcher<QList<QUrl>>::finished, this, &FileIntake::listed);
    m_handOutTimer.setInterval(0);
    connect(&m_handOutTimer, &QTimer::timeout, this, &FileIntake::handOut);
}

// A listing still running finishes on its own; it holds nothing of this object.
FileIntake::~FileIntake() = default;

void FileIntake::add(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return;
    m_queue.push_back(urls);
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
    const QList<QUrl> urls = m_queue.front();
    m_queue.pop_front();
    m_listingPending = true;
    m_listing.setFuture(QtConcurrent::run(newFiles, urls, m_known()));
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
    handOut();
}

void FileIntake::handOut()
{
    QElapsedTimer turn;
    turn.start();
    while (m_handedOut < m_found.size()) {
        const QList<QUrl> slice = m_found.mid(m_handedOut, sliceSize);
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
    FolderTyper typer;
    for (const QUrl &url : urls) {
        const QFileInfo info(url.toLocalFile());
        if (!info.exists())
            continue;
        if (info.isDir()) {
            // Hidden files are left out by not asking for them.
            const QFileInfoList children =
                QDir(info.absoluteFilePath()).entryInfoList(QDir::Files, QDir::NoSort);
            for (const QFileInfo &child : children) {
                if (typer.isImage(child))
                    found.append(QUrl::fromLocalFile(child.absoluteFilePath()));
            }
        } else if (ImageFile::isImage(url)) {
            found.append(url);
        }
    }
    // Each name is compared many times; split it into runs once.
    const NaturalOrder order;
    QList<std::pair<NaturalOrder::Key, QUrl>> keyed;
    keyed.reserve(found.size());
    for (const QUrl &url : std::as_const(found))
        keyed.append({NaturalOrder::key(url.fileName()), url});
    std::stable_sort(keyed.begin(), keyed.end(), [&order](const auto &a, const auto &b) {
        return order.compare(a.first, b.first) < 0;
    });
    for (qsizetype i = 0; i < keyed.size(); ++i)
        found[i] = keyed.at(i).second;
    return found;
}
