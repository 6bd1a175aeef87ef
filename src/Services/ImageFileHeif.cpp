#include "Services/ImageFile.h"
#include "Services/RuntimeLibrary.h"

#include <QFile>

#include <libheif/heif.h>

#include <memory>

namespace ImageFile::detail
{
namespace
{

// libheif brings its codecs (x265, dav1d, aom ...) with it: it is opened on the first file that
// looks like HEIF, so that a start which meets none never loads them.
struct Heif {
    decltype(&heif_check_filetype) checkFiletype = nullptr;
    decltype(&heif_context_alloc) contextAlloc = nullptr;
    decltype(&heif_context_free) contextFree = nullptr;
    decltype(&heif_context_read_from_file) readFromFile = nullptr;
    decltype(&heif_context_get_primary_image_handle) primaryHandle = nullptr;
    decltype(&heif_image_handle_release) handleRelease = nullptr;
    decltype(&heif_image_handle_get_ispe_width) ispeWidth = nullptr;
    decltype(&heif_image_handle_get_ispe_height) ispeHeight = nullptr;
    decltype(&heif_image_handle_has_alpha_channel) hasAlpha = nullptr;
    decltype(&heif_decoding_options_alloc) optionsAlloc = nullptr;
    decltype(&heif_decoding_options_free) optionsFree = nullptr;
    decltype(&heif_decode_image) decodeImage = nullptr;
    decltype(&heif_image_release) imageRelease = nullptr;
    decltype(&heif_image_get_plane_readonly) planeReadonly = nullptr;
    decltype(&heif_image_get_width) imageWidth = nullptr;
    decltype(&heif_image_get_height) imageHeight = nullptr;

    bool isLoaded() const
    {
        return checkFiletype && contextAlloc && contextFree && readFromFile && primaryHandle &&
               handleRelease && ispeWidth && ispeHeight && hasAlpha && optionsAlloc &&
               optionsFree && decodeImage && imageRelease && planeReadonly && imageWidth &&
               imageHeight;
    }
};

const Heif &heif()
{
    static const Heif loaded = [] {
        Heif api;
        QLibrary library;
        if (!RuntimeLibrary::open(library, QStringLiteral("heif"), LIBHEIF_NUMERIC_VERSION >> 24))
            return api;
        using RuntimeLibrary::resolve;
        resolve(library, "heif_check_filetype", api.checkFiletype);
        resolve(library, "heif_context_alloc", api.contextAlloc);
        resolve(library, "heif_context_free", api.contextFree);
        resolve(library, "heif_context_read_from_file", api.readFromFile);
        resolve(library, "heif_context_get_primary_image_handle", api.primaryHandle);
        resolve(library, "heif_image_handle_release", api.handleRelease);
        resolve(library, "heif_image_handle_get_ispe_width", api.ispeWidth);
        resolve(library, "heif_image_handle_get_ispe_height", api.ispeHeight);
        resolve(library, "heif_image_handle_has_alpha_channel", api.hasAlpha);
        resolve(library, "heif_decoding_options_alloc", api.optionsAlloc);
        resolve(library, "heif_decoding_options_free", api.optionsFree);
        resolve(library, "heif_decode_image", api.decodeImage);
        resolve(library, "heif_image_release", api.imageRelease);
        resolve(library, "heif_image_get_plane_readonly", api.planeReadonly);
        resolve(library, "heif_image_get_width", api.imageWidth);
        resolve(library, "heif_image_get_height", api.imageHeight);
        return api;
    }();
    return loaded;
}

struct ContextDeleter {
    void operator()(heif_context *c) const { heif().contextFree(c); }
};
struct HandleDeleter {
    void operator()(heif_image_handle *h) const { heif().handleRelease(h); }
};
struct ImageDeleter {
    void operator()(heif_image *i) const { heif().imageRelease(i); }
};
struct OptionsDeleter {
    void operator()(heif_decoding_options *o) const { heif().optionsFree(o); }
};

using Context = std::unique_ptr<heif_context, ContextDeleter>;
using Handle = std::unique_ptr<heif_image_handle, HandleDeleter>;

// Reads the container only; pixel data is decoded later on demand. Without the library every
// HEIF file is unreadable.
std::optional<std::pair<Context, Handle>> open(const QString &path)
{
    const Heif &api = heif();
    if (!api.isLoaded())
        return std::nullopt;
    Context ctx(api.contextAlloc());
    if (!ctx)
        return std::nullopt;
    const QByteArray local = QFile::encodeName(path);
    if (api.readFromFile(ctx.get(), local.constData(), nullptr).code != heif_error_Ok)
        return std::nullopt;
    heif_image_handle *raw = nullptr;
    if (api.primaryHandle(ctx.get(), &raw).code != heif_error_Ok)
        return std::nullopt;
    Handle handle(raw);
    return std::make_pair(std::move(ctx), std::move(handle));
}

} // namespace

bool isHeif(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(64);
    // Every HEIF file opens with its "ftyp" box; libheif answers "no" to anything else, so other
    // files need not load it.
    if (head.mid(4, 4) != "ftyp")
        return false;
    const Heif &api = heif();
    if (!api.isLoaded())
        return false;
    const auto result =
        api.checkFiletype(reinterpret_cast<const uint8_t *>(head.constData()), int(head.size()));
    return result == heif_filetype_yes_supported;
}

std::optional<QSize> heifSize(const QString &path)
{
    const auto opened = open(path);
    if (!opened)
        return std::nullopt;
    // The stored size, before any rotation the container asks for.
    const int w = heif().ispeWidth(opened->second.get());
    const int h = heif().ispeHeight(opened->second.get());
    if (w <= 0 || h <= 0)
        return std::nullopt;
    return QSize(w, h);
}

std::optional<QImage> heifDecode(const QString &path, int maxPixel, bool oriented)
{
    const auto opened = open(path);
    if (!opened)
        return std::nullopt;
    const Heif &api = heif();
    heif_image_handle *handle = opened->second.get();
    const qint64 w = api.ispeWidth(handle);
    const qint64 h = api.ispeHeight(handle);
    if (w <= 0 || h <= 0 || w * h > maxDecodePixels)
        return std::nullopt;
    const bool alpha = api.hasAlpha(handle);
    std::unique_ptr<heif_decoding_options, OptionsDeleter> options(api.optionsAlloc());
    options->ignore_transformations = oriented ? 0 : 1;
    heif_image *rawImage = nullptr;
    const auto chroma = alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB;
    if (api.decodeImage(handle, &rawImage, heif_colorspace_RGB, chroma, options.get()).code !=
        heif_error_Ok)
        return std::nullopt;
    std::unique_ptr<heif_image, ImageDeleter> image(rawImage);
    int stride = 0;
    const uint8_t *data = api.planeReadonly(image.get(), heif_channel_interleaved, &stride);
    const int outW = api.imageWidth(image.get(), heif_channel_interleaved);
    const int outH = api.imageHeight(image.get(), heif_channel_interleaved);
    if (!data || outW <= 0 || outH <= 0)
        return std::nullopt;
    const QImage view(data, outW, outH, stride,
                      alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    QImage result = maxPixel > 0 && fitInside(view.size(), maxPixel) != view.size()
                        ? scaledToFit(view, maxPixel)
                        : view.copy();
    if (result.isNull())
        return std::nullopt;
    return result;
}

} // namespace ImageFile::detail
