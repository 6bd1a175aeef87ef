#include "Models/AppError.h"
#include "Services/ImageFile.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>

// Every sample is made here at test time, by Qt itself or by the command-line encoders.
class TstImageFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QUrl url(const QString &name) const { return QUrl::fromLocalFile(path(name)); }

    QImage pattern(int w, int h, QImage::Format format = QImage::Format_RGB32) const
    {
        QImage image(w, h, format);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                image.setPixelColor(x, y, QColor((x * 7) % 256, (y * 3) % 256, (x + y) % 256));
        return image;
    }

    void write(const QImage &image, const QString &name, const char *format)
    {
        QImageWriter writer(path(name), format);
        QVERIFY2(writer.write(image), qPrintable(writer.errorString()));
    }

    static bool run(const QString &program, const QStringList &args)
    {
        if (QStandardPaths::findExecutable(program).isEmpty())
            return false;
        QProcess process;
        process.start(program, args);
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }

    static quint32 crc32(const QByteArray &data)
    {
        quint32 crc = 0xffffffffu;
        for (char c : data) {
            crc ^= quint8(c);
            for (int k = 0; k < 8; ++k)
                crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
        return ~crc;
    }

    static QByteArray readAll(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        write(pattern(64, 48), QStringLiteral("photo.png"), "png");
        write(pattern(64, 48), QStringLiteral("photo.jpg"), "jpeg");
        write(pattern(64, 48), QStringLiteral("photo.webp"), "webp");
        write(pattern(64, 48), QStringLiteral("photo.tiff"), "tiff");
        write(pattern(40, 30, QImage::Format_RGBA64), QStringLiteral("deep.tiff"), "tiff");
        QFile text(path(QStringLiteral("notes.heic")));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("this is not a picture\n");
        text.close();
        QFile plain(path(QStringLiteral("notes.txt")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("hello\n");
    }

    void isImage_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("expected");
        QTest::newRow("png") << QStringLiteral("photo.png") << true;
        QTest::newRow("jpeg") << QStringLiteral("photo.jpg") << true;
        QTest::newRow("tiff") << QStringLiteral("photo.tiff") << true;
        QTest::newRow("text") << QStringLiteral("notes.txt") << false;
        QTest::newRow("missing") << QStringLiteral("absent.png") << false;
    }
    void isImage()
    {
        QFETCH(QString, name);
        QFETCH(bool, expected);
        QCOMPARE(ImageFile::isImage(url(name)), expected);
    }

    void acceptedTypesAreImages()
    {
        QCOMPARE(ImageFile::acceptedTypes(), QStringList{QStringLiteral("image/*")});
    }

    void inspect_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSizeF>("size");
        QTest::newRow("png") << QStringLiteral("photo.png") << QSizeF(64, 48);
        QTest::newRow("jpeg") << QStringLiteral("photo.jpg") << QSizeF(64, 48);
        QTest::newRow("webp") << QStringLiteral("photo.webp") << QSizeF(64, 48);
        QTest::newRow("16-bit tiff") << QStringLiteral("deep.tiff") << QSizeF(40, 30);
        QTest::newRow("text named heic") << QStringLiteral("notes.heic") << QSizeF();
    }
    void inspect()
    {
        QFETCH(QString, name);
        QFETCH(QSizeF, size);
        const ImageFile::Info info = ImageFile::inspect(url(name));
        QCOMPARE(info.byteSize, QFileInfo(path(name)).size());
        if (size.isValid())
            QCOMPARE(info.pixelSize.value_or(QSizeF()), size);
        else
            QVERIFY(!info.pixelSize);
    }

    void inspectMissingFile()
    {
        const ImageFile::Info info = ImageFile::inspect(url(QStringLiteral("absent.jpg")));
        QCOMPARE(info.byteSize, 0);
        QVERIFY(!info.pixelSize);
    }

    void thumbnailLimits_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("maxPixel");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("jpeg 32") << QStringLiteral("photo.jpg") << 32 << QSize(32, 24);
        QTest::newRow("png 16") << QStringLiteral("photo.png") << 16 << QSize(16, 12);
        QTest::newRow("small stays") << QStringLiteral("photo.webp") << 256 << QSize(64, 48);
        QTest::newRow("16-bit tiff") << QStringLiteral("deep.tiff") << 20 << QSize(20, 15);
    }
    void thumbnailLimits()
    {
        QFETCH(QString, name);
        QFETCH(int, maxPixel);
        QFETCH(QSize, expected);
        const auto image = ImageFile::thumbnail(url(name), maxPixel);
        QVERIFY(image);
        QCOMPARE(image->size(), expected);
    }

    void thumbnailOfNonImageIsAbsent()
    {
        QVERIFY(!ImageFile::thumbnail(url(QStringLiteral("notes.heic")), 128));
        QVERIFY(!ImageFile::thumbnail(url(QStringLiteral("absent.png")), 128));
    }

    void rotatedJpeg()
    {
        write(pattern(80, 40), QStringLiteral("rotated.jpg"), "jpeg");
        if (!run(QStringLiteral("exiftool"),
                 {QStringLiteral("-overwrite_original"), QStringLiteral("-Orientation=6"),
                  QStringLiteral("-n"), path(QStringLiteral("rotated.jpg"))}))
            QSKIP("exiftool is needed to tag the orientation");
        QCOMPARE(
            ImageFile::inspect(url(QStringLiteral("rotated.jpg"))).pixelSize.value_or(QSizeF()),
            QSizeF(80, 40));
        const auto thumb = ImageFile::thumbnail(url(QStringLiteral("rotated.jpg")), 40);
        QVERIFY(thumb);
        QCOMPARE(thumb->size(), QSize(20, 40));
        // Uploads keep the stored pixels: no orientation applied, and the tag is dropped.
        const ImageFile::Upload upload =
            ImageFile::prepareForUpload(url(QStringLiteral("rotated.jpg")));
        QCOMPARE(upload.mimeType, QStringLiteral("image/jpeg"));
        QCOMPARE(upload.data, readAll(path(QStringLiteral("rotated.jpg"))));
    }

    void passthrough_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("mime");
        QTest::newRow("png") << QStringLiteral("photo.png") << QStringLiteral("image/png");
        QTest::newRow("jpeg") << QStringLiteral("photo.jpg") << QStringLiteral("image/jpeg");
        QTest::newRow("webp") << QStringLiteral("photo.webp") << QStringLiteral("image/webp");
    }
    void passthrough()
    {
        QFETCH(QString, name);
        QFETCH(QString, mime);
        const ImageFile::Upload upload = ImageFile::prepareForUpload(url(name));
        QCOMPARE(upload.filename, name);
        QCOMPARE(upload.mimeType, mime);
        QCOMPARE(upload.data, readAll(path(name)));
    }

    void convertsToPng_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("filename");
        QTest::addColumn<QSize>("size");
        QTest::newRow("tiff") << QStringLiteral("photo.tiff") << QStringLiteral("photo.png")
                              << QSize(64, 48);
        QTest::newRow("16-bit tiff")
            << QStringLiteral("deep.tiff") << QStringLiteral("deep.png") << QSize(40, 30);
    }
    void convertsToPng()
    {
        QFETCH(QString, name);
        QFETCH(QString, filename);
        QFETCH(QSize, size);
        const ImageFile::Upload upload = ImageFile::prepareForUpload(url(name));
        QCOMPARE(upload.filename, filename);
        QCOMPARE(upload.mimeType, QStringLiteral("image/png"));
        QImage decoded;
        QVERIFY(decoded.loadFromData(upload.data, "PNG"));
        QCOMPARE(decoded.size(), size);
    }

    void heicToPngAtFullResolution()
    {
        write(pattern(96, 64), QStringLiteral("source.png"), "png");
        if (!run(QStringLiteral("heif-enc"),
                 {QStringLiteral("-o"), path(QStringLiteral("photo.heic")),
                  path(QStringLiteral("source.png"))}))
            QSKIP("heif-enc is needed to make a HEIC sample");
        QCOMPARE(ImageFile::inspect(url(QStringLiteral("photo.heic"))).pixelSize.value_or(QSizeF()),
                 QSizeF(96, 64));
        QVERIFY(ImageFile::isImage(url(QStringLiteral("photo.heic"))));
        const auto thumb = ImageFile::thumbnail(url(QStringLiteral("photo.heic")), 48);
        QVERIFY(thumb);
        QCOMPARE(thumb->size(), QSize(48, 32));
        const ImageFile::Upload upload =
            ImageFile::prepareForUpload(url(QStringLiteral("photo.heic")));
        QCOMPARE(upload.filename, QStringLiteral("photo.png"));
        QImage decoded;
        QVERIFY(decoded.loadFromData(upload.data, "PNG"));
        QCOMPARE(decoded.size(), QSize(96, 64));
    }

    void unreadableFailsWithName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("text named heic") << QStringLiteral("notes.heic");
        QTest::newRow("missing") << QStringLiteral("absent.tiff");
        QTest::newRow("text") << QStringLiteral("notes.txt");
    }
    void unreadableFailsWithName()
    {
        QFETCH(QString, name);
        try {
            ImageFile::prepareForUpload(url(name));
            QFAIL("expected a failure");
        } catch (const AppError &error) {
            QCOMPARE(error.kind(), AppError::Kind::unreadableImage);
            QCOMPARE(error.detail(), name);
        }
    }

    void absurdDimensionsFailCleanly()
    {
        // A real PNG whose header is rewritten to claim 100,000 x 100,000 pixels.
        QByteArray png;
        {
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            QVERIFY(pattern(8, 8).save(&buffer, "PNG"));
        }
        qToBigEndian<quint32>(100000, png.data() + 16);
        qToBigEndian<quint32>(100000, png.data() + 20);
        qToBigEndian<quint32>(crc32(png.mid(12, 17)), png.data() + 29);
        QFile file(path(QStringLiteral("huge.bmp")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(png);
        file.close();
        QCOMPARE(ImageFile::inspect(url(QStringLiteral("huge.bmp"))).pixelSize.value_or(QSizeF()),
                 QSizeF(100000, 100000));
        QVERIFY(!ImageFile::thumbnail(url(QStringLiteral("huge.bmp")), 256));
        QVERIFY_THROWS_EXCEPTION(AppError,
                                 ImageFile::prepareForUpload(url(QStringLiteral("huge.bmp"))));
    }

    void largePhotoBeyondQtDefaultLimitConverts()
    {
        // 100 MP at 4 bytes a pixel is above Qt's default 256 MiB allocation limit.
        QImage big(10000, 10000, QImage::Format_Grayscale8);
        big.fill(Qt::gray);
        write(big, QStringLiteral("big.tiff"), "tiff");
        const ImageFile::Upload upload =
            ImageFile::prepareForUpload(url(QStringLiteral("big.tiff")));
        QByteArray bytes = upload.data;
        QBuffer buffer(&bytes);
        QImageReader reader(&buffer, "png");
        QCOMPARE(reader.size(), QSize(10000, 10000));
    }

    void uniqueURL_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("proposed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("free") << QStringList{} << QStringLiteral("photo-4x.png")
                              << QStringLiteral("photo-4x.png");
        QTest::newRow("taken") << QStringList{QStringLiteral("photo-4x.png")}
                               << QStringLiteral("photo-4x.png")
                               << QStringLiteral("photo-4x 2.png");
        QTest::newRow("two taken")
            << QStringList{QStringLiteral("photo-4x.png"), QStringLiteral("photo-4x 2.png")}
            << QStringLiteral("photo-4x.png") << QStringLiteral("photo-4x 3.png");
        QTest::newRow("no extension") << QStringList{QStringLiteral("result")}
                                      << QStringLiteral("result") << QStringLiteral("result 2");
    }
    void uniqueURL()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, proposed);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        for (const QString &name : existing) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QUrl result = ImageFile::uniqueURL(QUrl::fromLocalFile(dir.filePath(proposed)));
        QCOMPARE(result, QUrl::fromLocalFile(dir.filePath(expected)));
    }

    void uniqueURLAllTakenFails()
    {
        QTemporaryDir dir;
        QFile(dir.filePath(QStringLiteral("a.png"))).open(QIODevice::WriteOnly);
        for (int n = 2; n <= 9999; ++n)
            QFile(dir.filePath(QStringLiteral("a %1.png").arg(n))).open(QIODevice::WriteOnly);
        QVERIFY_THROWS_EXCEPTION(AppError, ImageFile::uniqueURL(QUrl::fromLocalFile(
                                               dir.filePath(QStringLiteral("a.png")))));
    }

    void resultThumbnailOfImage()
    {
        auto future = ImageFile::resultThumbnail(url(QStringLiteral("photo.png")), 32);
        future.waitForFinished();
        QVERIFY(future.result());
        QCOMPARE(future.result()->size(), QSize(32, 24));
        auto none = ImageFile::resultThumbnail(url(QStringLiteral("notes.txt")), 32);
        none.waitForFinished();
        QVERIFY(!none.result());
    }
};

QTEST_GUILESS_MAIN(TstImageFile)
#include "tst_imagefile.moc"
