#include "Services/ImageFile.h"
#include "Services/RuntimeLibrary.h"

#include <QFile>

#include <libffmpegthumbnailer/videothumbnailerc.h>

#include <memory>

namespace ImageFile::detail
{
namespace
{

// The thumbnailer pulls in the whole of FFmpeg, around a hundred libraries. Only video results
// need it, so it is loaded on the first video preview instead of at every start of the program.
struct Thumbnailer {
    decltype(&video_thumbnailer_create) create = nullptr;
    decltype(&video_thumbnailer_destroy) destroy = nullptr;
    decltype(&video_thumbnailer_create_image_data) createData = nullptr;
    decltype(&video_thumbnailer_destroy_image_data) destroyData = nullptr;
    decltype(&video_thumbnailer_set_size) setSize = nullptr;
    decltype(&video_thumbnailer_generate_thumbnail_to_buffer) generate = nullptr;

    bool isLoaded() const
    {
        return create && destroy && createData && destroyData && setSize && generate;
    }
};

const Thumbnailer &thumbnailer()
{
    static const Thumbnailer loaded = [] {
        Thumbnailer api;
        QLibrary library;
        if (!RuntimeLibrary::open(library, QStringLiteral("ffmpegthumbnailer"), 4)) {
            library.setFileName(QStringLiteral("ffmpegthumbnailer"));
            if (!library.load())
                return api;
        }
        using RuntimeLibrary::resolve;
        resolve(library, "video_thumbnailer_create", api.create);
        resolve(library, "video_thumbnailer_destroy", api.destroy);
        resolve(library, "video_thumbnailer_create_image_data", api.createData);
        resolve(library, "video_thumbnailer_destroy_image_data", api.destroyData);
        resolve(library, "video_thumbnailer_set_size", api.setSize);
        resolve(library, "video_thumbnailer_generate_thumbnail_to_buffer", api.generate);
        return api;
    }();
    return loaded;
}

} // namespace

std::optional<QImage> videoFrame(const QString &path, int maxPixel)
{
    const Thumbnailer &api = thumbnailer();
    if (maxPixel <= 0 || !api.isLoaded())
        return std::nullopt;
    std::unique_ptr<video_thumbnailer, decltype(api.destroy)> thumbnailer(api.create(),
                                                                          api.destroy);
    std::unique_ptr<image_data, decltype(api.destroyData)> data(api.createData(), api.destroyData);
    if (!thumbnailer || !data)
        return std::nullopt;
    thumbnailer->seek_percentage = 0; // the first frame
    thumbnailer->thumbnail_image_type = Png;
    thumbnailer->maintain_aspect_ratio = 1;
    api.setSize(thumbnailer.get(), maxPixel, maxPixel);
    const QByteArray local = QFile::encodeName(path);
    if (api.generate(thumbnailer.get(), local.constData(), data.get()) != 0)
        return std::nullopt;
    QImage image;
    if (!image.loadFromData(data->image_data_ptr, data->image_data_size, "PNG") || image.isNull())
        return std::nullopt;
    return scaledToFit(image, maxPixel);
}

} // namespace ImageFile::detail
