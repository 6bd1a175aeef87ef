#pragma once

#include <QByteArray>
#include <QFuture>
#include <QImage>
#include <QMimeType>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// Stateless helpers for image files on disk: what may be added, sizes without decoding,
// thumbnails, upload bytes and collision-free result names. Safe on any thread.
namespace ImageFile
{

struct Info {
    std::optional<QSizeF> pixelSize; // as stored, orientation not applied
    qint64 byteSize = 0;
};

struct Upload {
    QByteArray data;
    QString filename;
    QString mimeType;
};

// The image types the decoders read, by their canonical MIME names, sorted: the open panels'
// filter and the types the desktop may hand over.
QStringList acceptedTypes();
bool isImage(const QUrl &url);
// Whether a MIME type is, or descends from, an image/* type.
bool isImageType(const QMimeType &type);
Info inspect(const QUrl &url);
std::optional<QImage> thumbnail(const QUrl &url, int maxPixel);
// Runs off the calling thread; falls back to a video's first frame. Never fails.
QFuture<std::optional<QImage>> resultThumbnail(const QUrl &url, int maxPixel);
// Throws AppError::unreadableImage(name) when a converted file cannot be decoded or encoded.
Upload prepareForUpload(const QUrl &url);
// Throws AppError::unreadableImage(name) when every numbered candidate is taken.
QUrl uniqueURL(const QUrl &url);
// The first image at full resolution, as stored (no orientation applied, like the upload, so a
// result lines up with its original); nothing when it cannot be decoded.
std::optional<QImage> decode(const QUrl &url);

namespace detail
{
// Format-specific back ends; each answers nothing when the file is not theirs.
bool isHeif(const QString &path);
std::optional<QSize> heifSize(const QString &path);
std::optional<QImage> heifDecode(const QString &path, int maxPixel, bool oriented);
bool isRaw(const QString &path);
std::optional<QSize> rawSize(const QString &path);
std::optional<QImage> rawDecode(const QString &path, int maxPixel, bool oriented);
std::optional<QImage> videoFrame(const QString &path, int maxPixel);
// A JPEG's preview decoded by libjpeg at the smallest DCT scale that covers maxPixel, upright;
// nothing for other files, CMYK files (left to Qt's reader) and undecodable ones.
std::optional<QImage> jpegThumbnail(const QString &path, int maxPixel);
// The size that fits `size` inside maxPixel x maxPixel, each side rounded to the nearest pixel
// (6000 x 4000 in 256 gives 256 x 171); sizes already inside are kept.
QSize fitInside(QSize size, int maxPixel);
// `image` scaled down to fitInside, smoothly; unchanged when it already fits.
QImage scaledToFit(const QImage &image, int maxPixel);
// Largest image we agree to decode, in pixels: real photos up to ~250 MP pass.
constexpr qint64 maxDecodePixels = 256LL * 1024 * 1024;
} // namespace detail

} // namespace ImageFile
