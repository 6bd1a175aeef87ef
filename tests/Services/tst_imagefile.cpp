#include "Models/AppError.h"
#include "SampleFiles.h"
#include "Services/ImageFile.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QMimeDatabase>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace SampleFiles;

namespace
{
quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xffffffffu;
    for (char c : data) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QSize sizeOf(const std::optional<QImage> &image)
{
    return image ? image->size() : QSize();
}
} // namespace

// Every sample is made here at test time, by Qt itself or by the command-line encoders.
class TstImageFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QUrl url(const QString &name) const { return QUrl::fromLocalFile(path(name)); }

    void expectUnreadable(const QString &name)
    {
        try {
            ImageFile::prepareForUpload(url(name));
            QFAIL("expected a failure");
        } catch (const AppError &error) {
            QCOMPARE(error.kind(), AppError::Kind::unreadableImage);
            QCOMPARE(error.detail(), name);
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        for (const char *format : {"png", "jpeg", "webp", "tiff"})
            QVERIFY(writeImage(pattern(64, 48), path(u"photo."_s + format), format));
        QVERIFY(QFile::rename(path("photo.jpeg"), path("photo.jpg")));
        QVERIFY(writeImage(pattern(40, 30, QImage::Format_RGBA64), path("deep.tiff"), "tiff"));
        QVERIFY(writeBytes(path("notes.heic"), "this is not a picture\n"));
        QVERIFY(writeBytes(path("notes.txt"), "hello\n"));
    }

    // The open panels' filter and the desktop entry need real type names; "image/*" is none.
    void acceptedTypesNameWhatTheDecodersRead()
    {
        const QStringList accepted = ImageFile::acceptedTypes();
        for (const char *type :
             {"image/jpeg", "image/png", "image/tiff", "image/webp", "image/heif", "image/avif",
              "image/x-canon-cr2", "image/x-adobe-dng", "image/x-sony-arw"})
            QVERIFY2(accepted.contains(QLatin1String(type)), type);
        QStringList sorted = accepted;
        sorted.sort();
        QCOMPARE(accepted, sorted);
        const QMimeDatabase db;
        for (const QString &name : accepted) {
            // Canonical names only, each once, and every one an image type.
            QCOMPARE(db.mimeTypeForName(name).name(), name);
            QCOMPARE(accepted.count(name), 1);
            QVERIFY2(ImageFile::isImageType(db.mimeTypeForName(name)), qPrintable(name));
        }
        // Aliases and the generic RAW parent are left out; the database never knew "image/*".
        for (const char *absent : {"image/*", "image/heic", "image/x-dcraw", "text/plain"})
            QVERIFY2(!accepted.contains(QLatin1String(absent)), absent);
    }

    // "Open With Moonforge" is offered for exactly what the open panel takes.
    void desktopEntryOffersEveryAcceptedType()
    {
        QFile entry(QStringLiteral(MOONFORGE_SOURCE_DIR) +
                    u"/resources/org.moonforge.Moonforge.desktop"_s);
        QVERIFY(entry.open(QIODevice::ReadOnly | QIODevice::Text));
        QStringList listed;
        QString exec;
        for (const QString &line : QString::fromUtf8(entry.readAll()).split(u'\n')) {
            if (line.startsWith(QLatin1String("MimeType=")))
                listed = line.mid(9).split(u';', Qt::SkipEmptyParts);
            if (line.startsWith(QLatin1String("Exec=")))
                exec = line.mid(5);
        }
        QCOMPARE(exec, u"moonforge %U"_s);
        QStringList missing;
        for (const QString &type : ImageFile::acceptedTypes()) {
            if (!listed.contains(type))
                missing.append(type);
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u';')));
        const QMimeDatabase db;
        for (const QString &type : listed)
            QVERIFY2(ImageFile::isImageType(db.mimeTypeForName(type)), qPrintable(type));
    }

    // What each kind of file answers to every entry point; an empty upload name means the
    // upload must fail naming the file, an empty mime type means it is converted to PNG.
    void samples_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("isImage"); // -1: not asked
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<int>("maxPixel");
        QTest::addColumn<QSize>("thumb");
        QTest::addColumn<QString>("upload");
        QTest::addColumn<QString>("mime");
        const auto row = [](const char *tag, const char *name, int image, QSizeF size, int max,
                            QSize thumb, const char *upload, const char *mime) {
            QTest::newRow(tag) << QString::fromLatin1(name) << image << size << max << thumb
                               << QString::fromLatin1(upload) << QString::fromLatin1(mime);
        };
        row("png", "photo.png", 1, {64, 48}, 16, {16, 12}, "photo.png", "image/png");
        row("jpeg", "photo.jpg", 1, {64, 48}, 32, {32, 24}, "photo.jpg", "image/jpeg");
        row("webp small stays", "photo.webp", -1, {64, 48}, 256, {64, 48}, "photo.webp",
            "image/webp");
        row("tiff", "photo.tiff", 1, {64, 48}, 32, {32, 24}, "photo.png", "");
        row("16-bit tiff", "deep.tiff", -1, {40, 30}, 20, {20, 15}, "deep.png", "");
        row("text named heic", "notes.heic", -1, {}, 128, {}, "", "");
        row("text", "notes.txt", 0, {}, 128, {}, "", "");
        row("missing", "absent.tiff", 0, {}, 128, {}, "", "");
    }
    void samples()
    {
        QFETCH(QString, name);
        QFETCH(int, isImage);
        QFETCH(QSizeF, size);
        QFETCH(int, maxPixel);
        QFETCH(QSize, thumb);
        QFETCH(QString, upload);
        QFETCH(QString, mime);
        if (isImage >= 0)
            QCOMPARE(ImageFile::isImage(url(name)), isImage == 1);
        const ImageFile::Info info = ImageFile::inspect(url(name));
        QCOMPARE(info.byteSize, QFileInfo::exists(path(name)) ? QFileInfo(path(name)).size() : 0);
        QCOMPARE(info.pixelSize.value_or(QSizeF()), size);
        QCOMPARE(sizeOf(ImageFile::thumbnail(url(name), maxPixel)), thumb);
        if (upload.isEmpty())
            return expectUnreadable(name);
        const ImageFile::Upload prepared = ImageFile::prepareForUpload(url(name));
        QCOMPARE(prepared.filename, upload);
        if (!mime.isEmpty()) {
            QCOMPARE(prepared.mimeType, mime);
            QCOMPARE(prepared.data, readAll(path(name)));
        } else {
            QCOMPARE(prepared.mimeType, u"image/png"_s);
            QCOMPARE(decodedPng(prepared.data).size(), size.toSize());
        }
    }

    void rotatedJpeg()
    {
        QVERIFY(writeImage(pattern(80, 40), path("rotated.jpg"), "jpeg"));
        if (!runTool("exiftool",
                     {"-overwrite_original", "-Orientation=6", "-n", path("rotated.jpg")}))
            QSKIP("exiftool is needed to tag the orientation");
        QCOMPARE(ImageFile::inspect(url("rotated.jpg")).pixelSize.value_or(QSizeF()),
                 QSizeF(80, 40));
        QCOMPARE(sizeOf(ImageFile::thumbnail(url("rotated.jpg"), 40)), QSize(20, 40));
        // Uploads keep the stored pixels: no orientation applied, and the tag is dropped.
        const ImageFile::Upload upload = ImageFile::prepareForUpload(url("rotated.jpg"));
        QCOMPARE(upload.mimeType, u"image/jpeg"_s);
        QCOMPARE(upload.data, readAll(path("rotated.jpg")));
    }

    void heicToPngAtFullResolution()
    {
        QVERIFY(writeImage(pattern(96, 64), path("source.png"), "png"));
        if (!runTool("heif-enc", {"-o", path("photo.heic"), path("source.png")}))
            QSKIP("heif-enc is needed to make a HEIC sample");
        QCOMPARE(ImageFile::inspect(url("photo.heic")).pixelSize.value_or(QSizeF()),
                 QSizeF(96, 64));
        QVERIFY(ImageFile::isImage(url("photo.heic")));
        QCOMPARE(sizeOf(ImageFile::thumbnail(url("photo.heic"), 48)), QSize(48, 32));
        const ImageFile::Upload upload = ImageFile::prepareForUpload(url("photo.heic"));
        QCOMPARE(upload.filename, u"photo.png"_s);
        QCOMPARE(decodedPng(upload.data).size(), QSize(96, 64));
    }

    void absurdDimensionsFailCleanly()
    {
        // A real PNG whose header is rewritten to claim 100,000 x 100,000 pixels.
        QByteArray png;
        QBuffer buffer(&png);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && pattern(8, 8).save(&buffer, "PNG"));
        qToBigEndian<quint32>(100000, png.data() + 16);
        qToBigEndian<quint32>(100000, png.data() + 20);
        qToBigEndian<quint32>(crc32(png.mid(12, 17)), png.data() + 29);
        QVERIFY(writeBytes(path("huge.bmp"), png));
        QCOMPARE(ImageFile::inspect(url("huge.bmp")).pixelSize.value_or(QSizeF()),
                 QSizeF(100000, 100000));
        QVERIFY(!ImageFile::thumbnail(url("huge.bmp"), 256));
        QVERIFY_THROWS_EXCEPTION(AppError, ImageFile::prepareForUpload(url("huge.bmp")));
    }

    void largePhotoBeyondQtDefaultLimitConverts()
    {
        // 100 MP at 4 bytes a pixel is above Qt's default 256 MiB allocation limit.
        QImage big(10000, 10000, QImage::Format_Grayscale8);
        big.fill(Qt::gray);
        QVERIFY(writeImage(big, path("big.tiff"), "tiff"));
        QByteArray bytes = ImageFile::prepareForUpload(url("big.tiff")).data;
        QBuffer buffer(&bytes);
        QCOMPARE(QImageReader(&buffer, "png").size(), QSize(10000, 10000));
    }

    void uniqueURL_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("proposed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("free") << QStringList{} << "photo-4x.png"
                              << "photo-4x.png";
        QTest::newRow("taken") << QStringList{"photo-4x.png"} << "photo-4x.png"
                               << "photo-4x 2.png";
        QTest::newRow("two taken")
            << QStringList{"photo-4x.png", "photo-4x 2.png"} << "photo-4x.png"
            << "photo-4x 3.png";
        QTest::newRow("no extension") << QStringList{"result"} << "result"
                                      << "result 2";
    }
    void uniqueURL()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, proposed);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        for (const QString &name : existing)
            QVERIFY(writeBytes(dir.filePath(name), {}));
        const QUrl result = ImageFile::uniqueURL(QUrl::fromLocalFile(dir.filePath(proposed)));
        QCOMPARE(result, QUrl::fromLocalFile(dir.filePath(expected)));
    }

    void uniqueURLAllTakenFails()
    {
        QTemporaryDir dir;
        QVERIFY(writeBytes(dir.filePath("a.png"), "keep"));
        for (int n = 2; n <= 9999; ++n)
            QFile(dir.filePath(u"a %1.png"_s.arg(n))).open(QIODevice::WriteOnly);
        QVERIFY_THROWS_EXCEPTION(AppError,
                                 ImageFile::uniqueURL(QUrl::fromLocalFile(dir.filePath("a.png"))));
        QCOMPARE(readAll(dir.filePath("a.png")), QByteArray("keep"));
    }

    void resultThumbnailOfImage()
    {
        auto future = ImageFile::resultThumbnail(url("photo.png"), 32);
        future.waitForFinished();
        QCOMPARE(sizeOf(future.result()), QSize(32, 24));
        auto none = ImageFile::resultThumbnail(url("notes.txt"), 32);
        none.waitForFinished();
        QVERIFY(!none.result());
    }
};

QTEST_GUILESS_MAIN(TstImageFile)
#include "tst_imagefile.moc"
