#include "Services/StreamingPng.h"

#include "Services/ImageFile.h"

#include <QElapsedTimer>
#include <QFile>

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

namespace
{
constexpr qint64 chunkBytes = 512 * 1024;
constexpr qint64 progressIntervalMs = 200;

// Everything the callbacks share. Plain data only: libpng leaves its callbacks with longjmp on a
// corrupt file, which must not skip a destructor.
struct Stream {
    QImage *full = nullptr;
    QImage *preview = nullptr;
    std::vector<quint32> *sums = nullptr; // one reduced row: four channel sums per pixel
    int factor = 1;
    int rowsDone = 0;
    bool unsupported = false;
    bool failed = false;
};

void onInfo(png_structp png, png_infop info)
{
    auto *stream = static_cast<Stream *>(png_get_progressive_ptr(png));
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int colour = png_get_color_type(png, info);
    if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE || width == 0 || height == 0 ||
        qint64(width) * height > ImageFile::detail::maxDecodePixels) {
        stream->unsupported = true;
        return;
    }
    const bool alpha = (colour & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    // Rows arrive as B, G, R, A bytes: QImage's 32-bit formats in little-endian memory order.
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    if (!alpha)
        png_set_filler(png, 0xff, PNG_FILLER_AFTER);
    png_set_bgr(png);
    png_read_update_info(png, info);
    *stream->full =
        QImage(int(width), int(height), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (stream->full->isNull()) {
        stream->failed = true;
        return;
    }
    const QSize reduced(int((width + stream->factor - 1) / stream->factor),
                        int((height + stream->factor - 1) / stream->factor));
    *stream->preview = QImage(reduced, QImage::Format_ARGB32);
    stream->preview->fill(Qt::transparent);
    stream->sums->assign(size_t(reduced.width()) * 4, 0);
}

void onRow(png_structp png, png_bytep row, png_uint_32 rowNumber, int)
{
    auto *stream = static_cast<Stream *>(png_get_progressive_ptr(png));
    if (!row || stream->unsupported || stream->failed || stream->full->isNull())
        return;
    QImage &full = *stream->full;
    const int width = full.width();
    std::memcpy(full.scanLine(int(rowNumber)), row, size_t(width) * 4);
    // Box-average factor × factor blocks into the reduced copy, a row of blocks at a time.
    const int factor = stream->factor;
    std::vector<quint32> &sums = *stream->sums;
    const uchar *pixel = row;
    quint32 *sum = sums.data();
    for (int x = 0; x < width; sum += 4) {
        // One block's columns at a time: no division per pixel on a 192-megapixel read.
        const int end = std::min(x + factor, width);
        for (; x < end; ++x, pixel += 4) {
            sum[0] += pixel[0];
            sum[1] += pixel[1];
            sum[2] += pixel[2];
            sum[3] += pixel[3];
        }
    }
    const int y = int(rowNumber);
    const bool blockEnds = (y + 1) % factor == 0 || y + 1 == full.height();
    if (blockEnds) {
        const int blockRows = y % factor + 1;
        auto *out = reinterpret_cast<QRgb *>(stream->preview->scanLine(y / factor));
        for (int px = 0; px < stream->preview->width(); ++px) {
            const int blockColumns = std::min(factor, width - px * factor);
            const quint32 count = quint32(blockRows * blockColumns);
            const quint32 *sum = &sums[size_t(px) * 4];
            out[px] = qRgba(int(sum[2] / count), int(sum[1] / count), int(sum[0] / count),
                            int(sum[3] / count));
        }
        std::fill(sums.begin(), sums.end(), 0);
    }
    stream->rowsDone = y + 1;
}

// libpng's own handlers print to the terminal; a bad file is reported by the caller instead.
void onError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// Feeds the file to libpng; false on a libpng error. Kept apart so that setjmp's frame holds no
// object with a destructor.
bool feed(png_structp png, png_infop info, const char *data, qint64 size)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_process_data(png, info, reinterpret_cast<png_bytep>(const_cast<char *>(data)),
                     size_t(size));
    return true;
}
} // namespace

namespace StreamingPng
{

std::optional<QImage> decode(const QString &path, int previewSide,
                             const std::function<void(const QImage &, QSize)> &progress,
                             const std::function<bool()> &wanted)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray signature = file.peek(8);
    if (signature.size() < 8 ||
        png_sig_cmp(reinterpret_cast<png_const_bytep>(signature.constData()), 0, 8) != 0)
        return std::nullopt;

    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return std::nullopt;
    }
    QImage full;
    QImage preview;
    std::vector<quint32> sums;
    Stream stream;
    stream.full = &full;
    stream.preview = &preview;
    stream.sums = &sums;
    // The reduction is fixed before the size is known: read it from the header first.
    const QByteArray header = file.peek(24);
    if (header.size() == 24) {
        const auto *bytes = reinterpret_cast<const uchar *>(header.constData());
        const quint32 width = quint32(bytes[16]) << 24 | quint32(bytes[17]) << 16 |
                              quint32(bytes[18]) << 8 | bytes[19];
        const quint32 height = quint32(bytes[20]) << 24 | quint32(bytes[21]) << 16 |
                               quint32(bytes[22]) << 8 | bytes[23];
        const quint32 longest = std::max(width, height);
        stream.factor = int(std::max<quint32>(1, (longest + quint32(previewSide) - 1) /
                                                     quint32(std::max(previewSide, 1))));
    }
    png_set_progressive_read_fn(png, &stream, onInfo, onRow, nullptr);

    QByteArray chunk;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    int rowsShown = 0;
    bool ok = true;
    while (ok && !file.atEnd()) {
        if (!wanted()) {
            ok = false;
            break;
        }
        chunk = file.read(chunkBytes);
        if (chunk.isEmpty())
            break;
        ok = feed(png, info, chunk.constData(), chunk.size()) && !stream.unsupported &&
             !stream.failed;
        if (ok && progress && stream.rowsDone > rowsShown &&
            sinceProgress.elapsed() >= progressIntervalMs) {
            progress(preview.copy(), full.size());
            rowsShown = stream.rowsDone;
            sinceProgress.restart();
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok || full.isNull() || stream.rowsDone != full.height())
        return std::nullopt;
    return full;
}

} // namespace StreamingPng
