#include "DngWriter.h"
#include "Models/AppError.h"
#include "SampleFiles.h"
#include "Services/ImageFile.h"

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
