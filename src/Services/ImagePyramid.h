#pragma once

#include <QImage>
#include <QList>
#include <QRectF>
#include <QSize>

#include <functional>
#include <memory>

class QPainter;

// A decoded image and copies of it halved again and again, down to about a screen's size. One
// full-size copy is kept; the smaller ones together add a third of it. Painting picks the
// smallest copy that still has at least one pixel per device pixel and draws only the visible
// part of it, so a 192-megapixel result pans and zooms as cheaply as a photo.
class ImagePyramid final
{
public:
    // Called from the decoding thread with a preview of what has been read so far.
    using Progress = std::function<void(std::shared_ptr<const ImagePyramid> preview)>;

    // Decodes `path` at full resolution and builds the copies; null when it cannot be decoded.
    // Runs on any thread. A PNG reports its progress through `progress` while it is read, and
    // stops early once `wanted` answers false.
    static std::shared_ptr<const ImagePyramid> load(const QString &path,
                                                    const Progress &progress = {},
                                                    const std::function<bool()> &wanted = {});
    static std::shared_ptr<const ImagePyramid> fromImage(QImage image);
    // A stand-in drawn while the full image decodes: `image` is a reduced copy of a picture of
    // `fullSize` pixels, and everything measures in the full size.
    static std::shared_ptr<const ImagePyramid> preview(QImage image, QSize fullSize);
    // A preview of `path` when its format reads a reduced copy much faster than the whole (JPEG
    // scales while decoding) and the picture has at least `minimumPixels`; null otherwise.
    static std::shared_ptr<const ImagePyramid> quickPreview(const QString &path,
                                                            qint64 minimumPixels = 16'000'000);

    // The picture's size in pixels (the full size, also for a preview).
    QSize size() const { return m_size; }
    bool isPreview() const { return m_levels.first().size() != m_size; }
    const QImage &full() const { return m_levels.first(); }
    int levelCount() const { return int(m_levels.size()); }
    const QImage &level(int index) const { return m_levels.at(index); }
    // The level to draw from when one image pixel covers `devicePixelsPerPixel` device pixels:
    // the smallest that still has a pixel for every device pixel.
    int levelFor(double devicePixelsPerPixel) const;
    qint64 byteCount() const;

    // Draws the image scaled into `frame`, clipped to `clip` (both in the painter's logical
    // coordinates), with smooth interpolation unless `quick` (for frames in the middle of a
    // zoom gesture, which a smooth frame replaces once it rests).
    void draw(QPainter &painter, const QRectF &frame, const QRectF &clip, bool quick = false) const;

    // A 2 × 2 box-filtered half of `image` (which must be RGB32 or ARGB32_Premultiplied).
    static QImage halved(const QImage &image);

private:
    ImagePyramid(QImage image, QSize size);

    QList<QImage> m_levels;
    QSize m_size;
};

using ImagePyramidPtr = std::shared_ptr<const ImagePyramid>;
