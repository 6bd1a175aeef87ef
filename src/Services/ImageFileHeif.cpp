#include "Services/ImageFile.h"

#include <QFile>

#include <libheif/heif.h>

#include <memory>

namespace ImageFile::detail
{
namespace
{

struct ContextDeleter {
    void operator()(heif_context *c) const { heif_context_free(c); }
};
struct HandleDeleter {
    void operator()(heif_image_handle *h) const { heif_image_handle_release(h); }
};
struct ImageDeleter {
    void operator()(heif_image *i) const { heif_image_release(i); }
};
struct OptionsDeleter {
    void operator()(heif_decoding_options *o) const { heif_decoding_options_free(o); }
};

using Context = std::unique_ptr<heif_context, ContextDeleter>;
using Handle = std::unique_ptr<heif_image_handle, HandleDeleter>;

// Reads the container only; pixel data is decoded later on demand.
std::optional<std::pair<Context, Handle>> open(const QString &path)
{
    Context ctx(heif_context_alloc());
    if (!ctx)
        return std::nullopt;
    const QByteArray local = QFile::encodeName(path);
    if (heif_context_read_from_file(ctx.get(), local.constData(), nullptr).code != heif_error_Ok)
        return std::nullopt;
    heif_image_handle *raw = nullptr;
    if (heif_context_get_primary_image_handle(ctx.get(), &raw).code != heif_error_Ok)
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
    const auto result =
        heif_check_filetype(reinterpret_cast<const uint8_t *>(head.constData()), int(head.size()));
    return result == heif_filetype_yes_supported;
}

std::optional<QSize> heifSize(const QString &path)
{
    const auto opened = open(path);
    if (!opened)
        return std::nullopt;
    // The stored size, before any rotation the container asks for.
    const int w = heif_image_handle_get_ispe_width(opened->second.get());
    const int h = heif_image_handle_get_ispe_height(opened->second.get());
    if (w <= 0 || h <= 0)
        return std::nullopt;
    return QSize(w, h);
}

std::optional<QImage> heifDecode(const QString &path, int maxPixel, bool oriented)
{
    const auto opened = open(path);
    if (!opened)
        return std::nullopt;
    heif_image_handle *handle = opened->second.get();
    const qint64 w = heif_image_handle_get_ispe_width(handle);
    const qint64 h = heif_image_handle_get_ispe_height(handle);
    if (w <= 0 || h <= 0 || w * h > maxDecodePixels)
        return std::nullopt;
    const bool alpha = heif_image_handle_has_alpha_channel(handle);
    std::unique_ptr<heif_decoding_options, OptionsDeleter> options(heif_decoding_options_alloc());
    options->ignore_transformations = oriented ? 0 : 1;
    heif_image *rawImage = nullptr;
    const auto chroma = alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB;
    if (heif_decode_image(handle, &rawImage, heif_colorspace_RGB, chroma, options.get()).code !=
        heif_error_Ok)
        return std::nullopt;
    std::unique_ptr<heif_image, ImageDeleter> image(rawImage);
    int stride = 0;
    const uint8_t *data =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int outW = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int outH = heif_image_get_height(image.get(), heif_channel_interleaved);
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
