#include "PhotoTree.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QList>
#include <QSet>

#include <algorithm>

namespace
{
// 96 × 64, a gradient with a disc, encoded once as JPEG and once as PNG: the tree holds both.
QByteArray encoded(const char *format)
{
    QImage image(96, 64, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const bool disc = (x - 48) * (x - 48) + (y - 32) * (y - 32) < 400;
            image.setPixel(x, y, disc ? qRgb(255, 255, 255) : qRgb(x * 2, y * 3, 128));
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return bytes;
}

QString stemOf(int index)
{
    return QStringLiteral("p%1").arg(index, 6, 10, QLatin1Char('0'));
}

// "set-1/roll-4/day-2" for three levels, its last `levels` parts for fewer.
QString folderOf(int folderIndex, int levels)
{
    const QStringList parts{QStringLiteral("set-%1").arg(folderIndex / 64),
                            QStringLiteral("roll-%1").arg(folderIndex / 8 % 8),
                            QStringLiteral("day-%1").arg(folderIndex % 8)};
    return parts.mid(parts.size() - levels).join(QLatin1Char('/'));
}
} // namespace

namespace PhotoTree
{
bool make(const QString &root, int photos, int photosPerFolder, int levels, Made *made)
{
    const QByteArray jpeg = encoded("jpeg");
    const QByteArray png = encoded("png");
    const QDir base(root);
    QSet<QString> folders;
    for (int i = 0; i < photos; ++i) {
        const QString folder = base.filePath(folderOf(i / photosPerFolder, levels));
        if (!folders.contains(folder)) {
            if (!QDir().mkpath(folder))
                return false;
            folders.insert(folder);
        }
        // One in four is a PNG, the rest are JPEGs, as from a camera with a few screenshots.
        const bool isPng = i % 4 == 3;
        QFile file(QDir(folder).filePath(stemOf(i) + (isPng ? u".png" : u".jpg")));
        if (!file.open(QIODevice::WriteOnly) || file.write(isPng ? png : jpeg) < 0)
            return false;
    }
    *made = {photos, int(folders.size())};
    return true;
}

Results countResults(const QString &root, int photos)
{
    QList<int> perPhoto(photos, 0);
    QDirIterator files(root, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString name = files.nextFileInfo().fileName();
        // "p000042-upscaled.png", "p000042-upscaled 2.png"; the photo "p000042.jpg" is no result.
        if (name.size() < 8 || name.at(0) != u'p' || name.at(7).isDigit())
            continue;
        bool ok = false;
        const int index = name.mid(1, 6).toInt(&ok);
        const bool photo = name.size() == 11 && name.at(7) == u'.';
        if (ok && !photo && index < photos)
            ++perPhoto[index];
    }
    Results results;
    if (perPhoto.isEmpty())
        return results;
    results.fewest = *std::min_element(perPhoto.cbegin(), perPhoto.cend());
    results.most = *std::max_element(perPhoto.cbegin(), perPhoto.cend());
    for (int count : perPhoto) {
        results.total += count;
        results.photosWithout += count == 0 ? 1 : 0;
    }
    return results;
}
} // namespace PhotoTree
