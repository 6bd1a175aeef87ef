#include "DngWriter.h"
#include "Models/AppError.h"
#include "SampleFiles.h"
#include "Services/ImageFile.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace SampleFiles;

// The formats beyond Qt's own readers: camera RAW, animated GIF, video results, and the
// rounding of preview sizes. Samples are written here or by the command-line encoders.
class TstImageFormats : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QUrl url(const QString &name) const { return QUrl::fromLocalFile(path(name)); }

    // A 1600 x 960 JPEG, large enough to be read at 1/8 for a 64-pixel preview.
    static QByteArray jpegBytes(QImage::Format format, bool progressive)
    {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setQuality(90);
        writer.setProgressiveScanWrite(progressive);
        return writer.write(gradient(1600, 960).convertToFormat(format)) ? bytes : QByteArray();
    }

    // Qt's own scaled, oriented read of the file: what the previews looked like before.
    static QImage qtPreview(const QString &file, int maxPixel)
    {
        QImageReader reader(file);
        reader.setAutoTransform(true);
        reader.setScaledSize(ImageFile::detail::fitInside(reader.size(), maxPixel));
        return reader.read().convertToFormat(QImage::Format_RGB32);
    }

    static int largestDifference(const QImage &a, const QImage &b)
    {
        int largest = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) {
                const QRgb p = a.pixel(x, y);
                const QRgb q = b.pixel(x, y);
                largest =
                    std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
            }
        return largest;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(DngWriter::write(path("photo.dng"), {}));
        DngWriter::Options rotated;
        rotated.orientation = 6;
        QVERIFY(DngWriter::write(path("rotated.dng"), rotated));
        // The same bytes under a name the type database does not know.
        QVERIFY(QFile::copy(path("photo.dng"), path("photo.unknownraw")));
    }

    // Before RAW files were routed by type, Qt's TIFF reader answered with the embedded
    // 32 x 24 preview of the first directory instead of the 120 x 80 sensor image. Uploads send
    // the full sensor as PNG with no orientation applied; only the thumbnail is turned.
    void raw_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("thumb");
        QTest::addColumn<QString>("upload");
        QTest::newRow("dng") << "photo.dng" << QSize(64, 43) << "photo.png";
        QTest::newRow("rotated") << "rotated.dng" << QSize(43, 64) << "rotated.png";
        QTest::newRow("unknown extension") << "photo.unknownraw" << QSize(64, 43) << "photo.png";
    }
    void raw()
    {
        QFETCH(QString, name);
        QFETCH(QSize, thumb);
        QFETCH(QString, upload);
        QVERIFY(ImageFile::isImage(url(name)));
        const ImageFile::Info info = ImageFile::inspect(url(name));
        QCOMPARE(info.pixelSize.value_or(QSizeF()), QSizeF(120, 80));
        QCOMPARE(info.byteSize, QFileInfo(path(name)).size());
        const auto image = ImageFile::thumbnail(url(name), 64);
        QCOMPARE(image ? image->size() : QSize(), thumb);
        const ImageFile::Upload prepared = ImageFile::prepareForUpload(url(name));
        QCOMPARE(prepared.filename, upload);
        QCOMPARE(prepared.mimeType, u"image/png"_s);
        QCOMPARE(decodedPng(prepared.data).size(), QSize(120, 80));
    }

    void truncatedRawFailsWithName()
    {
        QByteArray bytes = DngWriter::make({});
        bytes.truncate(bytes.size() / 3);
        QVERIFY(writeBytes(path("cut.dng"), bytes));
        try {
            ImageFile::prepareForUpload(url("cut.dng"));
            QFAIL("expected a failure");
        } catch (const AppError &error) {
            QCOMPARE(error.kind(), AppError::Kind::unreadableImage);
            QCOMPARE(error.detail(), u"cut.dng"_s);
        }
    }

    void animatedGifUploadsFirstFrame()
    {
        QImage red(40, 30, QImage::Format_RGB32);
        red.fill(Qt::red);
        QImage blue(40, 30, QImage::Format_RGB32);
        blue.fill(Qt::blue);
        QVERIFY(red.save(path("f1.png")) && blue.save(path("f2.png")));
        if (!runTool("convert", {"-delay", "10", path("f1.png"), path("f2.png"), path("anim.gif")}))
            QSKIP("ImageMagick's convert is needed to make an animated GIF");
        const ImageFile::Upload upload = ImageFile::prepareForUpload(url("anim.gif"));
        QCOMPARE(upload.filename, u"anim.png"_s);
        const QImage first = decodedPng(upload.data);
        QCOMPARE(first.size(), QSize(40, 30));
        QCOMPARE(first.pixelColor(20, 15), QColor(Qt::red));
        QCOMPARE(ImageFile::inspect(url("anim.gif")).pixelSize.value_or(QSizeF()), QSizeF(40, 30));
    }

    void videoResultGetsFirstFramePreview()
    {
        if (!runTool("ffmpeg",
                     {"-v", "error", "-f", "lavfi", "-i", "color=c=green:size=320x240:rate=10",
                      "-t", "1", "-pix_fmt", "yuv420p", path("clip.mp4")}))
            QSKIP("ffmpeg is needed to make a video sample");
        QVERIFY(!ImageFile::isImage(url("clip.mp4")));
        QVERIFY(!ImageFile::inspect(url("clip.mp4")).pixelSize);
        QVERIFY(!ImageFile::thumbnail(url("clip.mp4"), 128));
        auto future = ImageFile::resultThumbnail(url("clip.mp4"), 128);
        // The preview is made off this thread; this one stays free to wait.
        QTRY_VERIFY(future.isFinished());
        const auto preview = future.result();
        QVERIFY(preview);
        QCOMPARE(preview->size(), QSize(128, 96));
        const QColor centre = preview->pixelColor(64, 48);
        QVERIFY2(centre.green() > 100 && centre.red() < 60 && centre.blue() < 60,
                 qPrintable(centre.name()));
    }

    void previewSizesRound_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("maxPixel");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("6000 x 4000 in 256") << QSize(6000, 4000) << 256 << QSize(256, 171);
        QTest::newRow("portrait") << QSize(4000, 6000) << 256 << QSize(171, 256);
        QTest::newRow("a sliver keeps one pixel") << QSize(5000, 3) << 128 << QSize(128, 1);
        QTest::newRow("already inside") << QSize(100, 50) << 128 << QSize(100, 50);
    }
    void previewSizesRound()
    {
        QFETCH(QSize, size);
        QFETCH(int, maxPixel);
        QFETCH(QSize, expected);
        QCOMPARE(ImageFile::detail::fitInside(size, maxPixel), expected);
    }

    // JPEG previews come from libjpeg's scaled decode; they must equal Qt's reading of the same
    // file, turned as its EXIF orientation says, for grey and progressive files too.
    void jpegPreviewMatchesQtReader_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<bool>("grey");
        QTest::addColumn<bool>("progressive");
        for (int orientation = 1; orientation <= 8; ++orientation)
            QTest::addRow("orientation %d", orientation) << orientation << false << false << false;
        QTest::newRow("Motorola byte order") << 6 << true << false << false;
        QTest::newRow("grey") << 8 << false << true << false;
        QTest::newRow("progressive") << 5 << false << false << true;
    }
    void jpegPreviewMatchesQtReader()
    {
        QFETCH(int, orientation);
        QFETCH(bool, bigEndian);
        QFETCH(bool, grey);
        QFETCH(bool, progressive);
        const QByteArray jpeg =
            jpegBytes(grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32, progressive);
        QVERIFY(!jpeg.isEmpty());
        QVERIFY(writeBytes(path("tagged.jpg"),
                           withExif(jpeg, exifOrientation(orientation, bigEndian))));
        const std::optional<QImage> preview =
            ImageFile::detail::jpegThumbnail(path("tagged.jpg"), 64);
        QVERIFY(preview);
        QCOMPARE(preview->size(), orientation >= 5 ? QSize(38, 64) : QSize(64, 38));
        const QImage expected = qtPreview(path("tagged.jpg"), 64);
        QCOMPARE(expected.size(), preview->size());
        const int difference = largestDifference(*preview, expected);
        QVERIFY2(difference <= 2, qPrintable(QString::number(difference)));
    }

    // A broken EXIF segment is read no further than its end and leaves the preview upright.
    void malformedExifKeepsUpright_data()
    {
        QTest::addColumn<QByteArray>("tiff");
        QByteArray beyond = exifOrientation(6);
        beyond[8] = char(200);           // entries claimed after the 8-byte header
        beyond[8 + 2 + 12] = char(0x99); // the orientation entry no longer names orientation
        QTest::newRow("entries beyond the segment") << beyond;
        // A directory pointing back into the header: its "entries" would lie past the end.
        QTest::newRow("directory inside the header") << QByteArray("II*\0\x04\0\0\0", 8);
        QTest::newRow("unknown byte order") << QByteArray("XX*\0\x08\0\0\0", 8);
    }
    void malformedExifKeepsUpright()
    {
        QFETCH(QByteArray, tiff);
        QVERIFY(writeBytes(path("bad-exif.jpg"),
                           withExif(jpegBytes(QImage::Format_RGB32, false), tiff)));
        const auto preview = ImageFile::detail::jpegThumbnail(path("bad-exif.jpg"), 64);
        QVERIFY(preview);
        QCOMPARE(preview->size(), QSize(64, 38));
    }

    // What the JPEG path declines is still previewed, or refused, as Qt's reader decides.
    void jpegPathLeavesTheRestToQt_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QSize>("thumb");
        QTest::newRow("CMYK") << u"cmyk"_s << QSize(64, 38);
        QTest::newRow("PNG named .jpg") << u"png"_s << QSize(64, 38);
        QTest::newRow("header claims 60000 x 60000") << u"huge"_s << QSize();
    }
    void jpegPathLeavesTheRestToQt()
    {
        QFETCH(QString, kind);
        QFETCH(QSize, thumb);
        const QString file = path(kind + u".jpg"_s);
        if (kind == u"cmyk"_s) {
            QVERIFY(writeImage(gradient(1600, 960), path("source.png"), "png"));
            if (!runTool("convert", {path("source.png"), "-colorspace", "CMYK", file}))
                QSKIP("ImageMagick's convert is needed to make a CMYK JPEG");
        } else if (kind == u"png"_s) {
            QVERIFY(writeImage(gradient(1600, 960), file, "png"));
        } else {
            QByteArray jpeg = jpegBytes(QImage::Format_RGB32, false);
            const qsizetype frame = jpeg.indexOf("\xFF\xC0");
            QVERIFY(frame > 0);
            // Height, then width, after the segment length and the sample precision.
            for (int at : {5, 7}) {
                jpeg[frame + at] = char(60000 >> 8);
                jpeg[frame + at + 1] = char(60000 & 0xff);
            }
            QVERIFY(writeBytes(file, jpeg));
        }
        QVERIFY(!ImageFile::detail::jpegThumbnail(file, 64));
        const auto image = ImageFile::thumbnail(QUrl::fromLocalFile(file), 64);
        QCOMPARE(image ? image->size() : QSize(), thumb);
    }

    void largeJpegThumbnailRounds()
    {
        QImage photo(6000, 4000, QImage::Format_RGB32);
        photo.fill(Qt::darkGreen);
        QVERIFY(writeImage(photo, path("large.jpg"), "jpeg"));
        const auto thumb = ImageFile::thumbnail(url("large.jpg"), 256);
        QVERIFY(thumb);
        QCOMPARE(thumb->size(), QSize(256, 171));
    }
};

QTEST_GUILESS_MAIN(TstImageFormats)
#include "tst_imageformats.moc"
