#include "Services/ImageFile.h"

#include <QFile>

#include <libraw/libraw.h>

#include <memory>

namespace ImageFile::detail
{

bool isRaw(const QString &path)
{
    // A camera file names its maker or carries a DNG version; a plain scan or export does not.
    auto raw = std::make_unique<LibRaw>();
    if (raw->open_file(QFile::encodeName(path).constData()) != LIBRAW_SUCCESS)
        return false;
    return raw->imgdata.idata.dng_version != 0 || raw->imgdata.idata.make[0] != '\0';
}

std::optional<QSize> rawSize(const QString &path)
{
    // Opening parses the headers only; unpack (the pixel read) is never called here.
    auto raw = std::make_unique<LibRaw>();
    if (raw->open_file(QFile::encodeName(path).constData()) != LIBRAW_SUCCESS)
        return std::nullopt;
    const int w = raw->imgdata.sizes.width;
    const int h = raw->imgdata.sizes.height;
    if (w <= 0 || h <= 0)
        return std::nullopt;
    return QSize(w, h);
}

std::optional<QImage> rawDecode(const QString &path, int maxPixel, bool oriented)
{
    auto raw = std::make_unique<LibRaw>();
    if (raw->open_file(QFile::encodeName(path).constData()) != LIBRAW_SUCCESS)
        return std::nullopt;
    const qint64 w = raw->imgdata.sizes.width;
    const qint64 h = raw->imgdata.sizes.height;
    if (w <= 0 || h <= 0 || w * h > maxDecodePixels)
        return std::nullopt;
    // Small previews take the half-size path: demosaicking a quarter of the pixels.
    raw->imgdata.params.half_size = maxPixel > 0 && maxPixel * 2 <= std::max(w, h) ? 1 : 0;
    raw->imgdata.params.user_flip = oriented ? -1 : 0;
    raw->imgdata.params.output_bps = 8;
    if (raw->unpack() != LIBRAW_SUCCESS || raw->dcraw_process() != LIBRAW_SUCCESS)
        return std::nullopt;
    int err = 0;
    libraw_processed_image_t *processed = raw->dcraw_make_mem_image(&err);
    if (!processed || err != LIBRAW_SUCCESS)
        return std::nullopt;
    std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t *)> guard(
        processed, [](libraw_processed_image_t *p) { LibRaw::dcraw_clear_mem(p); });
    if (processed->type != LIBRAW_IMAGE_BITMAP || processed->colors != 3 || processed->bits != 8)
        return std::nullopt;
    const QImage view(processed->data, processed->width, processed->height, processed->width * 3,
                      QImage::Format_RGB888);
    QImage result = maxPixel > 0 && fitInside(view.size(), maxPixel) != view.size()
                        ? scaledToFit(view, maxPixel)
                        : view.copy();
    if (result.isNull())
        return std::nullopt;
    return result;
}

} // namespace ImageFile::detail
