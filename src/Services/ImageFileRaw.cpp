#include "Services/ImageFile.h"
#include "Services/RuntimeLibrary.h"

#include <QFile>

#include <libraw/libraw.h>

#include <memory>

namespace ImageFile::detail
{
namespace
{

// LibRaw is opened on the first file that may be a camera RAW one, so that a start which meets
// none never loads it. Only the major version built against will do: its structures are read
// directly.
struct Raw {
    decltype(&libraw_init) init = nullptr;
    decltype(&libraw_close) close = nullptr;
    decltype(&libraw_open_file) openFile = nullptr;
    decltype(&libraw_unpack) unpack = nullptr;
    decltype(&libraw_dcraw_process) process = nullptr;
    decltype(&libraw_dcraw_make_mem_image) makeMemImage = nullptr;
    decltype(&libraw_dcraw_clear_mem) clearMem = nullptr;

    bool isLoaded() const
    {
        return init && close && openFile && unpack && process && makeMemImage && clearMem;
    }
};

const Raw &libraw()
{
    static const Raw loaded = [] {
        Raw api;
        QLibrary library;
        if (!RuntimeLibrary::open(library, QStringLiteral("raw_r"), LIBRAW_SHLIB_CURRENT))
            return api;
        using RuntimeLibrary::resolve;
        resolve(library, "libraw_init", api.init);
        resolve(library, "libraw_close", api.close);
        resolve(library, "libraw_open_file", api.openFile);
        resolve(library, "libraw_unpack", api.unpack);
        resolve(library, "libraw_dcraw_process", api.process);
        resolve(library, "libraw_dcraw_make_mem_image", api.makeMemImage);
        resolve(library, "libraw_dcraw_clear_mem", api.clearMem);
        return api;
    }();
    return loaded;
}

struct RawDeleter {
    void operator()(libraw_data_t *data) const { libraw().close(data); }
};
using RawFile = std::unique_ptr<libraw_data_t, RawDeleter>;

// Opening parses the headers only; unpack (the pixel read) is a separate step. Without the
// library no file is a RAW one.
RawFile open(const QString &path)
{
    const Raw &api = libraw();
    if (!api.isLoaded())
        return nullptr;
    RawFile raw(api.init(LIBRAW_OPTIONS_NONE));
    if (!raw || api.openFile(raw.get(), QFile::encodeName(path).constData()) != LIBRAW_SUCCESS)
        return nullptr;
    return raw;
}

} // namespace

bool isRaw(const QString &path)
{
    // A camera file names its maker or carries a DNG version; a plain scan or export does not.
    const RawFile raw = open(path);
    return raw && (raw->idata.dng_version != 0 || raw->idata.make[0] != '\0');
}

std::optional<QSize> rawSize(const QString &path)
{
    const RawFile raw = open(path);
    if (!raw)
        return std::nullopt;
    const int w = raw->sizes.width;
    const int h = raw->sizes.height;
    if (w <= 0 || h <= 0)
        return std::nullopt;
    return QSize(w, h);
}

std::optional<QImage> rawDecode(const QString &path, int maxPixel, bool oriented)
{
    const RawFile raw = open(path);
    if (!raw)
        return std::nullopt;
    const qint64 w = raw->sizes.width;
    const qint64 h = raw->sizes.height;
    if (w <= 0 || h <= 0 || w * h > maxDecodePixels)
        return std::nullopt;
    // Small previews take the half-size path: demosaicking a quarter of the pixels.
    raw->params.half_size = maxPixel > 0 && maxPixel * 2 <= std::max(w, h) ? 1 : 0;
    raw->params.user_flip = oriented ? -1 : 0;
    raw->params.output_bps = 8;
    const Raw &api = libraw();
    if (api.unpack(raw.get()) != LIBRAW_SUCCESS || api.process(raw.get()) != LIBRAW_SUCCESS)
        return std::nullopt;
    int err = 0;
    libraw_processed_image_t *processed = api.makeMemImage(raw.get(), &err);
    if (!processed || err != LIBRAW_SUCCESS)
        return std::nullopt;
    std::unique_ptr<libraw_processed_image_t, decltype(api.clearMem)> guard(processed,
                                                                            api.clearMem);
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
