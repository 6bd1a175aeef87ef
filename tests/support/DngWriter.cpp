#include "DngWriter.h"

#include <QFile>
#include <QtEndian>

#include <vector>

namespace DngWriter
{
namespace
{

enum Type : quint16 { BYTE = 1, ASCII = 2, SHORT = 3, LONG = 4, SRATIONAL = 10 };

struct Entry {
    quint16 tag;
    quint16 type;
    QByteArray value; // little-endian payload
    quint32 count;
};

QByteArray shorts(std::initializer_list<quint16> values)
{
    QByteArray out;
    for (quint16 v : values) {
        char b[2];
        qToLittleEndian(v, b);
        out.append(b, 2);
    }
    return out;
}

QByteArray longs(std::initializer_list<qint32> values)
{
    QByteArray out;
    for (qint32 v : values) {
        char b[4];
        qToLittleEndian(v, b);
        out.append(b, 4);
    }
    return out;
}

Entry shortEntry(quint16 tag, std::initializer_list<quint16> v)
{
    return {tag, SHORT, shorts(v), quint32(v.size())};
}
Entry longEntry(quint16 tag, quint32 v)
{
    return {tag, LONG, longs({qint32(v)}), 1};
}
Entry asciiEntry(quint16 tag, const QByteArray &text)
{
    const QByteArray z = text + '\0';
    return {tag, ASCII, z, quint32(z.size())};
}

// Lays out one directory at `at`; values longer than four bytes follow it. Answers its size.
QByteArray directory(std::vector<Entry> entries, quint32 at, quint32 next)
{
    const quint32 tableSize = 2 + quint32(entries.size()) * 12 + 4;
    QByteArray table = shorts({quint16(entries.size())});
    QByteArray extra;
    for (const Entry &e : entries) {
        table += shorts({e.tag, e.type}) + longs({qint32(e.count)});
        if (e.value.size() <= 4) {
            table += e.value + QByteArray(4 - e.value.size(), '\0');
        } else {
            table += longs({qint32(at + tableSize + quint32(extra.size()))});
            extra += e.value;
            if (extra.size() % 2)
                extra += '\0';
        }
    }
    return table + longs({qint32(next)}) + extra;
}

} // namespace

QByteArray make(const Options &o)
{
    const int pw = o.preview.width(), ph = o.preview.height();
    const int sw = o.sensor.width(), sh = o.sensor.height();
    QByteArray previewPixels;
    for (int i = 0; i < pw * ph; ++i)
        previewPixels += QByteArray("\x40\x80\xc0", 3);
    QByteArray sensorPixels;
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw; ++x)
            sensorPixels += shorts({quint16(((x * 37 + y * 11) % 3000) + 500)});

    // Header, then the pixel data, then the two directories.
    const quint32 previewAt = 8;
    const quint32 sensorAt = previewAt + quint32(previewPixels.size());
    const quint32 ifd0At = sensorAt + quint32(sensorPixels.size());
    // The sub-directory goes after IFD0, whose size does not depend on where it points.
    auto ifd0Entries = [&](quint32 subAt) {
        QByteArray identity;
        for (int i = 0; i < 9; ++i)
            identity += longs({i % 4 == 0 ? 1 : 0, 1});
        return std::vector<Entry>{
            longEntry(254, 1),
            longEntry(256, quint32(pw)),
            longEntry(257, quint32(ph)),
            shortEntry(258, {8, 8, 8}),
            shortEntry(259, {1}),
            shortEntry(262, {2}),
            asciiEntry(271, "Moonforge"),
            asciiEntry(272, "Test Sensor"),
            longEntry(273, previewAt),
            shortEntry(274, {quint16(o.orientation)}),
            shortEntry(277, {3}),
            longEntry(278, quint32(ph)),
            longEntry(279, quint32(previewPixels.size())),
            shortEntry(284, {1}),
            longEntry(330, subAt),
            {50706, BYTE, QByteArray("\x01\x04\x00\x00", 4), 4},
            asciiEntry(50708, "Moonforge Test Sensor"),
            {50721, SRATIONAL, identity, 9},
            shortEntry(50778, {21}),
        };
    };
    const quint32 subAt = ifd0At + quint32(directory(ifd0Entries(0), ifd0At, 0).size());
    const QByteArray ifd0 = directory(ifd0Entries(subAt), ifd0At, 0);
    const QByteArray sub = directory(
        {
            longEntry(254, 0),
            longEntry(256, quint32(sw)),
            longEntry(257, quint32(sh)),
            shortEntry(258, {16}),
            shortEntry(259, {1}),
            shortEntry(262, {32803}),
            longEntry(273, sensorAt),
            shortEntry(277, {1}),
            longEntry(278, quint32(sh)),
            longEntry(279, quint32(sensorPixels.size())),
            shortEntry(284, {1}),
            shortEntry(33421, {2, 2}),
            {33422, BYTE, QByteArray("\x00\x01\x01\x02", 4), 4},
            shortEntry(50717, {4095}),
        },
        subAt, 0);
    return QByteArray("II*\0", 4) + longs({qint32(ifd0At)}) + previewPixels + sensorPixels + ifd0 +
           sub;
}

bool write(const QString &path, const Options &options)
{
    QFile file(path);
    const QByteArray bytes = make(options);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace DngWriter
