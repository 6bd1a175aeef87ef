#include "Services/ImageFile.h"

#include "Models/AppError.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QMimeDatabase>
#include <QtConcurrent>
#include <QThreadPool>

namespace ImageFile
{
namespace
{

QMimeType contentType(const QString &path)
{
    static const QMimeDatabase db;
    return db.mimeTypeForFile(path);
}

bool isPassthrough(const QMimeType &type)
{
    static const QStringList passthrough = {
        QStringLiteral("image/png"), QStringLiteral("image/jpeg"), QStringLiteral("image/webp")};
    return std::any_of(passthrough.begin(), passthrough.end(),
                       [&](const QString &p) { return type.inherits(p); });
}

bool tooLarge(QSize size)
{
    return size.isValid() && qint64(size.width()) * size.height() > detail::maxDecodePixels;
}

// Qt refuses images above its default allocation limit (256 MiB); real photos may exceed it,
// so the limit is raised per reader after checking the header against our own bound.
void allowLarge()
{
    static const bool raised = [] {
        QImageReader::setAllocationLimit(int(detail::maxDecodePixels * 8 / (1024 * 1024)));
        return true;
    }();
    Q_UNUSED(raised);
}

enum class Backend { heif, raw, qt };

// Camera RAW files are checked by type before Qt sees them: most are TIFF containers whose first
// directory is a small embedded preview, which Qt's TIFF reader would take for the photo.
Backend backendFor(const QString &path)
{
    if (detail::isHeif(path))
        return Backend::heif;
    const QMimeType type = contentType(path);
    if (type.inherits(QStringLiteral("image/x-dcraw")))
        return Backend::raw;
    // Under a name the type database does not know, a RAW file is typed as TIFF by its content.
    if (type.inherits(QStringLiteral("image/tiff")) && detail::isRaw(path))
        return Backend::raw;
    return Backend::qt;
}

std::optional<QSize> qtSize(const QString &path)
{
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QSize s = reader.size();
    if (!s.isValid() || s.isEmpty())
        return std::nullopt;
    return s;
}

std::optional<QImage> qtDecode(const QString &path)
{
    QImageReader reader(path);
    reader.setAutoTransform(false);
    if (!reader.canRead() || tooLarge(reader.size()))
        return std::nullopt;
    allowLarge();
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    return image;
}

std::optional<QImage> qtThumbnail(const QString &path, int maxPixel)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (tooLarge(stored))
        return std::nullopt;
    allowLarge();
    if (stored.isValid()) {
        // The scaled size applies before rotation, so it is computed in stored coordinates.
        reader.setScaledSize(detail::fitInside(stored, maxPixel));
    }
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    return detail::scaledToFit(image, maxPixel);
}

} // namespace

namespace detail
{

QSize fitInside(QSize size, int maxPixel)
{
    const int longest = std::max(size.width(), size.height());
    if (longest <= maxPixel || maxPixel <= 0)
        return size;
    const double factor = double(maxPixel) / longest;
    return QSize(std::clamp(qRound(size.width() * factor), 1, maxPixel),
                 std::clamp(qRound(size.height() * factor), 1, maxPixel));
}

QImage scaledToFit(const QImage &image, int maxPixel)
{
    const QSize target = fitInside(image.size(), maxPixel);
    if (target == image.size())
        return image;
    return image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace detail

bool isImageType(const QMimeType &type)
{
    if (!type.isValid())
        return false;
    if (type.name().startsWith(QLatin1String("image/")))
        return true;
    const QStringList ancestors = type.allAncestors();
    return std::any_of(ancestors.begin(), ancestors.end(),
                       [](const QString &a) { return a.startsWith(QLatin1String("image/")); });
}

QStringList acceptedTypes()
{
    static const QStringList types = [] {
        const QMimeDatabase db;
        QStringList names;
        const auto add = [&](const QMimeType &type) {
            if (type.isValid() && isImageType(type) && !names.contains(type.name()))
                names.append(type.name());
        };
        // Qt's readers name aliases too (image/x-icon beside image/vnd.microsoft.icon).
        for (const QByteArray &name : QImageReader::supportedMimeTypes())
            add(db.mimeTypeForName(QString::fromLatin1(name)));
        add(db.mimeTypeForName(QStringLiteral("image/heif")));
        add(db.mimeTypeForName(QStringLiteral("image/avif")));
        const QList<QMimeType> all = db.allMimeTypes();
        for (const QMimeType &type : all) {
            if (type.name() != QLatin1String("image/x-dcraw") &&
                type.inherits(QStringLiteral("image/x-dcraw")))
                add(type);
        }
        names.sort();
        return names;
    }();
    return types;
}

bool isImage(const QUrl &url)
{
    const QString path = url.toLocalFile();
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return false;
    return isImageType(contentType(path));
}

Info inspect(const QUrl &url)
{
    Info info;
    const QString path = url.toLocalFile();
    const QFileInfo fi(path);
    if (!fi.isFile())
        return info;
    info.byteSize = fi.size();
    std::optional<QSize> size;
    switch (backendFor(path)) {
    case Backend::heif:
        size = detail::heifSize(path);
        break;
    case Backend::raw:
        size = detail::rawSize(path);
        if (!size)
            size = qtSize(path);
        break;
    case Backend::qt:
        size = qtSize(path);
        // A RAW file under a name the type database does not know.
        if (!size)
            size = detail::rawSize(path);
        break;
    }
    if (size)
        info.pixelSize = QSizeF(*size);
    return info;
}

std::optional<QImage> thumbnail(const QUrl &url, int maxPixel)
{
    const QString path = url.toLocalFile();
    if (maxPixel <= 0 || !QFileInfo(path).isFile())
        return std::nullopt;
    // Most added files are camera JPEGs: known by their first bytes, before any type lookup.
    if (auto image = detail::jpegThumbnail(path, maxPixel))
        return image;
    switch (backendFor(path)) {
    case Backend::heif:
        return detail::heifDecode(path, maxPixel, true);
    case Backend::raw:
        if (auto image = detail::rawDecode(path, maxPixel, true))
            return image;
        return qtThumbnail(path, maxPixel);
    case Backend::qt:
        if (auto image = qtThumbnail(path, maxPixel))
            return image;
        return detail::rawDecode(path, maxPixel, true);
    }
    return std::nullopt;
}

QFuture<std::optional<QImage>> resultThumbnail(const QUrl &url, int maxPixel)
{
    return QtConcurrent::run([url, maxPixel]() -> std::optional<QImage> {
        if (auto image = thumbnail(url, maxPixel))
            return image;
        return detail::videoFrame(url.toLocalFile(), maxPixel);
    });
}

Upload prepareForUpload(const QUrl &url)
{
    const QString path = url.toLocalFile();
    const QString name = url.fileName();
    const QMimeType type = contentType(path);
    if (type.isValid() && isPassthrough(type)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error(file.errorString().toStdString());
        return {file.readAll(), name, type.name()};
    }

    std::optional<QImage> decoded;
    switch (backendFor(path)) {
    case Backend::heif:
        decoded = detail::heifDecode(path, 0, false);
        break;
    case Backend::raw:
        decoded = detail::rawDecode(path, 0, false);
        if (!decoded)
            decoded = qtDecode(path);
        break;
    case Backend::qt:
        decoded = qtDecode(path);
        if (!decoded)
            decoded = detail::rawDecode(path, 0, false);
        break;
    }
    if (!decoded)
        throw AppError::unreadableImage(name);

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    // Lossless either way; 80 trades a larger file for several times faster encoding.
    writer.setQuality(80);
    if (!writer.write(*decoded))
        throw AppError::unreadableImage(name);
    return {png, QFileInfo(name).completeBaseName() + QStringLiteral(".png"),
            QStringLiteral("image/png")};
}

QUrl uniqueURL(const QUrl &url)
{
    const QString path = url.toLocalFile();
    if (!QFileInfo::exists(path))
        return url;
    const QFileInfo fi(path);
    const QString folder = fi.absolutePath();
    const QString ext = fi.suffix();
    const QString base = ext.isEmpty() ? fi.fileName() : fi.completeBaseName();
    for (int n = 2; n <= 9999; ++n) {
        QString candidate =
            folder + QLatin1Char('/') + base + QLatin1Char(' ') + QString::number(n);
        if (!ext.isEmpty())
            candidate += QLatin1Char('.') + ext;
        if (!QFileInfo::exists(candidate))
            return QUrl::fromLocalFile(candidate);
    }
    throw AppError::unreadableImage(fi.fileName());
}

std::optional<QImage> decode(const QUrl &url)
{
    const QString path = url.toLocalFile();
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    switch (backendFor(path)) {
    case Backend::heif:
        return detail::heifDecode(path, 0, false);
    case Backend::raw:
        if (auto image = detail::rawDecode(path, 0, false))
            return image;
        return qtDecode(path);
    case Backend::qt:
        if (auto image = qtDecode(path))
            return image;
        return detail::rawDecode(path, 0, false);
    }
    return std::nullopt;
}

} // namespace ImageFile
