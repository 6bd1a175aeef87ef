#include "Services/ImagePyramid.h"

#include "Services/ImageFile.h"
#include "Services/StreamingPng.h"

#include <QImageReader>
#include <QPainter>
#include <QUrl>

#include <cmath>

namespace
{
constexpr int previewSide = 2048;

// Halving stops once the longest side is below this: smaller levels save nothing worth having.
constexpr int smallestLevel = 512;

// Painting non-premultiplied or paletted images makes QPainter convert the whole source on every
// draw, so every level is kept in one of the two formats it blits directly.
QImage paintable(QImage image)
{
    const QImage::Format target =
        image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (image.format() != target)
        image.convertTo(target); // in place when the depth is the same (ARGB32 → premultiplied)
    return image;
}
} // namespace

ImagePyramid::ImagePyramid(QImage image, QSize size) : m_size(size)
{
    m_levels.append(paintable(std::move(image)));
    while (std::max(m_levels.last().width(), m_levels.last().height()) > smallestLevel * 2)
        m_levels.append(halved(m_levels.last()));
}

std::shared_ptr<const ImagePyramid> ImagePyramid::fromImage(QImage image)
{
    if (image.isNull())
        return nullptr;
    const QSize size = image.size();
    return std::shared_ptr<const ImagePyramid>(new ImagePyramid(std::move(image), size));
}

std::shared_ptr<const ImagePyramid> ImagePyramid::preview(QImage image, QSize fullSize)
{
    if (image.isNull() || fullSize.isEmpty())
        return nullptr;
    return std::shared_ptr<const ImagePyramid>(new ImagePyramid(std::move(image), fullSize));
}

std::shared_ptr<const ImagePyramid> ImagePyramid::load(const QString &path,
                                                       const Progress &progress,
                                                       const std::function<bool()> &wanted)
{
    std::optional<QImage> image;
    if (progress) {
        image = StreamingPng::decode(
            path, previewSide,
            [&progress](const QImage &reduced, QSize size) { progress(preview(reduced, size)); },
            [&wanted] { return !wanted || wanted(); });
        if (!image && wanted && !wanted())
            return nullptr;
    }
    if (!image)
        image = ImageFile::decode(QUrl::fromLocalFile(path));
    if (!image || image->isNull())
        return nullptr;
    return fromImage(std::move(*image));
}

std::shared_ptr<const ImagePyramid> ImagePyramid::quickPreview(const QString &path,
                                                               qint64 minimumPixels)
{
    QImageReader reader(path);
    reader.setAutoTransform(false); // as the full decode, so the two line up
    const QSize size = reader.size();
    if (reader.format() != QByteArrayLiteral("jpeg") || !size.isValid() ||
        qint64(size.width()) * size.height() < minimumPixels)
        return nullptr;
    reader.setScaledSize(ImageFile::detail::fitInside(size, previewSide));
    return preview(reader.read(), size);
}

QImage ImagePyramid::halved(const QImage &image)
{
    const int width = std::max(image.width() / 2, 1);
    const int height = std::max(image.height() / 2, 1);
    QImage half(width, height, image.format());
    if (half.isNull())
        return half;
    const bool oddWidth = image.width() < 2;
    const bool oddHeight = image.height() < 2;
    for (int y = 0; y < height; ++y) {
        const auto *row0 = reinterpret_cast<const quint32 *>(image.constScanLine(2 * y));
        const auto *row1 =
            reinterpret_cast<const quint32 *>(image.constScanLine(oddHeight ? 0 : 2 * y + 1));
        auto *out = reinterpret_cast<quint32 *>(half.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int x0 = 2 * x;
            const int x1 = oddWidth ? x0 : x0 + 1;
            const quint32 a = row0[x0], b = row0[x1], c = row1[x0], d = row1[x1];
            // Two channels at a time: red and blue in one word, alpha and green in the other,
            // each sum of four 8-bit values fits in the 8 spare bits above it.
            const quint32 rb = ((a & 0x00ff00ff) + (b & 0x00ff00ff) + (c & 0x00ff00ff) +
                                (d & 0x00ff00ff) + 0x00020002) >>
                               2;
            const quint32 ag = (((a >> 8) & 0x00ff00ff) + ((b >> 8) & 0x00ff00ff) +
                                ((c >> 8) & 0x00ff00ff) + ((d >> 8) & 0x00ff00ff) + 0x00020002) >>
                               2;
            out[x] = (rb & 0x00ff00ff) | ((ag & 0x00ff00ff) << 8);
        }
    }
    return half;
}

int ImagePyramid::levelFor(double devicePixelsPerPixel) const
{
    const double needed = m_size.width() * devicePixelsPerPixel;
    int index = 0;
    while (index + 1 < m_levels.size() && m_levels.at(index + 1).width() >= needed)
        ++index;
    return index;
}

qint64 ImagePyramid::byteCount() const
{
    qint64 total = 0;
    for (const QImage &level : m_levels)
        total += level.sizeInBytes();
    return total;
}

void ImagePyramid::draw(QPainter &painter, const QRectF &frame, const QRectF &clip,
                        bool quick) const
{
    if (m_levels.isEmpty() || frame.isEmpty())
        return;
    const QRectF visible = frame.intersected(clip);
    if (visible.isEmpty())
        return;
    const double scale = frame.width() / size().width();
    const QImage &source = m_levels.at(levelFor(scale * painter.device()->devicePixelRatioF()));
    // Map the visible part of the frame back into the level's pixels, each axis on its own: a
    // picture compared with one of another shape is stretched to the shared frame.
    const double toSourceX = source.width() / frame.width();
    const double toSourceY = source.height() / frame.height();
    const QRectF sourceRect((visible.left() - frame.left()) * toSourceX,
                            (visible.top() - frame.top()) * toSourceY, visible.width() * toSourceX,
                            visible.height() * toSourceY);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, !quick);
    painter.drawImage(visible, source, sourceRect);
    painter.restore();
}
