#include "Services/ImageFile.h"

#include <QFile>
#include <QtEndian>
#include <QTransform>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

// jpeglib.h needs FILE and size_t declared before it, and jerror.h needs jpeglib.h.
#include <jpeglib.h>

#include <jerror.h>

namespace ImageFile::detail
{
namespace
{

// libjpeg reports a fatal error through error_exit, which must not return; it jumps back to the
// stage that was running. Warnings (a truncated file, say) are silent and keep what was decoded,
// as Qt's reader does.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf stage;
};

[[noreturn]] void jumpOut(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(info->err)->stage, 1);
}

void stayQuiet(j_common_ptr) {}

struct Decompressor {
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    Decompressor()
    {
        info.err = jpeg_std_error(&errors.base);
        errors.base.error_exit = jumpOut;
        errors.base.output_message = stayQuiet;
        jpeg_create_decompress(&info);
    }
    ~Decompressor() { jpeg_destroy_decompress(&info); }
    Q_DISABLE_COPY_MOVE(Decompressor)
};

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};

// A source reading large chunks. libjpeg-turbo takes its fast Huffman decoder only while a
// few kilobytes of input are buffered; its stdio source holds 4 KiB, so a quarter of every photo
// went through the slow decoder.
constexpr size_t readChunkBytes = 256 * 1024;

struct FileSource {
    jpeg_source_mgr base{};
    std::FILE *file = nullptr;
    std::unique_ptr<JOCTET[]> buffer{new JOCTET[readChunkBytes]};

    explicit FileSource(std::FILE *f) : file(f)
    {
        base.init_source = [](j_decompress_ptr) {};
        base.fill_input_buffer = fill;
        base.skip_input_data = skip;
        base.resync_to_restart = jpeg_resync_to_restart;
        base.term_source = [](j_decompress_ptr) {};
    }
    Q_DISABLE_COPY_MOVE(FileSource)

    static boolean fill(j_decompress_ptr info)
    {
        auto *self = reinterpret_cast<FileSource *>(info->src);
        size_t read = std::fread(self->buffer.get(), 1, readChunkBytes, self->file);
        if (read == 0) {
            // A truncated file ends as if complete, with a warning, like libjpeg's own source.
            WARNMS(info, JWRN_JPEG_EOF);
            self->buffer[0] = JOCTET(0xFF);
            self->buffer[1] = JOCTET(JPEG_EOI);
            read = 2;
        }
        self->base.next_input_byte = self->buffer.get();
        self->base.bytes_in_buffer = read;
        return TRUE;
    }

    static void skip(j_decompress_ptr info, long count)
    {
        jpeg_source_mgr *src = info->src;
        if (count <= 0)
            return;
        while (size_t(count) > src->bytes_in_buffer) {
            count -= long(src->bytes_in_buffer);
            fill(info);
        }
        src->next_input_byte += count;
        src->bytes_in_buffer -= size_t(count);
    }
};

// The EXIF orientation (1 to 8) in an APP1 segment, or 1 when it is absent or malformed.
int exifOrientation(const jpeg_saved_marker_ptr markers)
{
    static constexpr char exifId[] = "Exif\0\0";
    for (jpeg_saved_marker_ptr m = markers; m; m = m->next) {
        if (m->marker != JPEG_APP0 + 1 || m->data_length < 6 + 8 ||
            std::memcmp(m->data, exifId, 6) != 0)
            continue;
        const uchar *tiff = m->data + 6;
        const quint32 size = m->data_length - 6;
        const bool little = tiff[0] == 'I' && tiff[1] == 'I';
        if (!little && !(tiff[0] == 'M' && tiff[1] == 'M'))
            return 1;
        const auto u16 = [&](quint32 at) {
            return little ? qFromLittleEndian<quint16>(tiff + at)
                          : qFromBigEndian<quint16>(tiff + at);
        };
        const auto u32 = [&](quint32 at) {
            return little ? qFromLittleEndian<quint32>(tiff + at)
                          : qFromBigEndian<quint32>(tiff + at);
        };
        const quint32 directory = u32(4);
        if (directory > size - 2)
            return 1;
        const quint32 entries = u16(directory);
        for (quint32 i = 0; i < entries; ++i) {
            const quint32 entry = directory + 2 + 12 * i;
            if (entry + 12 > size)
                return 1;
            constexpr quint16 orientationTag = 0x0112;
            if (u16(entry) == orientationTag) {
                const int value = u16(entry + 8);
                return value >= 1 && value <= 8 ? value : 1;
            }
        }
        return 1;
    }
    return 1;
}

// `image` as it is meant to be seen: mirrored or flipped first, then turned clockwise, which is
// how the eight EXIF values decompose.
QImage oriented(const QImage &image, int orientation)
{
    if (orientation == 8)
        return image.transformed(QTransform().rotate(270));
    const bool mirror = orientation == 2 || orientation == 3 || orientation == 7;
    const bool flip = orientation == 3 || orientation == 4 || orientation == 5;
    const bool turn = orientation == 5 || orientation == 6 || orientation == 7;
    QImage result = (mirror || flip) ? image.mirrored(mirror, flip) : image;
    if (turn)
        result = result.transformed(QTransform().rotate(90));
    return result;
}

// The first stage reads the header and picks the DCT scale; false on a fatal error or a colour
// model this path leaves to Qt's reader. Only plain values live here, so a jump skips nothing.
bool readHeader(jpeg_decompress_struct *info, ErrorManager *errors, int maxPixel)
{
    if (setjmp(errors->stage))
        return false;
    jpeg_save_markers(info, JPEG_APP0 + 1, 0xffff);
    if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK)
        return false;
    // CMYK and YCCK files need Qt's inversion handling; one and three channels convert in libjpeg.
    if (info->num_components != 1 && info->num_components != 3)
        return false;
    const qint64 width = info->image_width;
    const qint64 height = info->image_height;
    if (width <= 0 || height <= 0 || width * height > maxDecodePixels)
        return false;
    // The same memory budget Qt's reader gets: progressive files keep every coefficient.
    info->mem->max_memory_to_use = long(maxDecodePixels * 8);
    // The smallest M/8 scale that still covers the target, so the last step only shrinks; a block
    // averaged by the DCT at 1/8 is the box filter a smooth downscale would apply anyway.
    const QSize target = fitInside(QSize(int(width), int(height)), maxPixel);
    const qint64 eighths = std::max((8 * target.width() + width - 1) / width,
                                    (8 * target.height() + height - 1) / height);
    info->scale_num = unsigned(std::clamp<qint64>(eighths, 1, 8));
    info->scale_denom = 8;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    info->out_color_space = JCS_EXT_BGRX;
#else
    info->out_color_space = JCS_EXT_XRGB;
#endif
    jpeg_calc_output_dimensions(info);
    return true;
}

// The second stage decodes straight into the rows of an RGB32 image, with no copy or conversion.
bool readPixels(jpeg_decompress_struct *info, ErrorManager *errors, uchar *bits,
                qsizetype bytesPerLine)
{
    if (setjmp(errors->stage))
        return false;
    if (!jpeg_start_decompress(info))
        return false;
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = bits + bytesPerLine * info->output_scanline;
        if (jpeg_read_scanlines(info, &row, 1) != 1)
            return false;
    }
    return true;
}

} // namespace

std::optional<QImage> jpegThumbnail(const QString &path, int maxPixel)
{
    if (maxPixel <= 0)
        return std::nullopt;
    // "e": close on exec, so that no process started meanwhile inherits the file.
    const std::unique_ptr<std::FILE, FileCloser> file(
        std::fopen(QFile::encodeName(path).constData(), "rbe"));
    if (!file)
        return std::nullopt;
    // Every JPEG starts with a start-of-image marker and the next marker's prefix.
    unsigned char head[3] = {};
    if (std::fread(head, 1, sizeof head, file.get()) != sizeof head || head[0] != 0xFF ||
        head[1] != 0xD8 || head[2] != 0xFF)
        return std::nullopt;
    std::rewind(file.get());

    FileSource source(file.get());
    Decompressor jpeg;
    jpeg.info.src = &source.base;
    if (!readHeader(&jpeg.info, &jpeg.errors, maxPixel))
        return std::nullopt;
    QImage decoded(int(jpeg.info.output_width), int(jpeg.info.output_height), QImage::Format_RGB32);
    if (decoded.isNull() ||
        !readPixels(&jpeg.info, &jpeg.errors, decoded.bits(), decoded.bytesPerLine()))
        return std::nullopt;
    return oriented(scaledToFit(decoded, maxPixel), exifOrientation(jpeg.info.marker_list));
}

} // namespace ImageFile::detail
