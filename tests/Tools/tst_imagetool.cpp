#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// Drives the built moonforge-imagetool as a separate process, the way scripts use it.
class TstImageTool : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    struct Result {
        int exitCode = -1;
        QList<QJsonObject> lines;
        QByteArray err;
    };

    QString path(const QString &name) const { return m_dir.filePath(name); }

    static Result tool(const QStringList &args,
                       const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(MOONFORGE_IMAGETOOL_BINARY), args);
        Result result;
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return result;
        result.exitCode = process.exitCode();
        result.err = process.readAllStandardError();
        const QList<QByteArray> lines = process.readAllStandardOutput().split('\n');
        for (const QByteArray &line : lines) {
            if (line.isEmpty())
                continue;
            QJsonParseError error;
            const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
            // A line that is not one JSON object is a broken interface; keep it visible.
            result.lines.append(
                doc.isObject() ? doc.object() : QJsonObject{{"unparsed", QString::fromUtf8(line)}});
        }
        return result;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (QByteArray(MOONFORGE_IMAGETOOL_BINARY).isEmpty())
            QSKIP("moonforge-imagetool is not part of this build");
        QVERIFY(m_dir.isValid());
        QImage photo(300, 200, QImage::Format_RGB32);
        photo.fill(Qt::darkYellow);
        QVERIFY(photo.save(path("photo.jpg")));
        QVERIFY(photo.save(path("photo.tiff")));
        QFile text(path("notes.heic"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a picture\n");
    }

    void inspectPrintsOneLinePerFile()
    {
        const Result r = tool({"inspect", path("photo.jpg"), path("notes.heic")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.lines.size(), 2);
        QCOMPARE(r.lines[0], (QJsonObject{{"file", path("photo.jpg")},
                                          {"width", 300},
                                          {"height", 200},
                                          {"bytes", QFileInfo(path("photo.jpg")).size()}}));
        // Unknown sizes are left out rather than reported as zero.
        QCOMPARE(r.lines[1], (QJsonObject{{"file", path("notes.heic")}, {"bytes", 14}}));
    }

    void thumbnailWritesPng()
    {
        const Result r = tool({"thumbnail", "--max", "64", path("photo.tiff"), path("thumb.png")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.lines, (QList<QJsonObject>{{{"width", 64}, {"height", 43}}}));
        QImage written;
        QVERIFY(written.load(path("thumb.png"), "PNG"));
        QCOMPARE(written.size(), QSize(64, 43));
    }

    // libheif and LibRaw (and the codecs they bring) are opened only for files that may need them.
    void jpegLoadsNoHeifOrRawLibrary_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("inspect") << QStringList{"inspect", path("photo.jpg")};
        QTest::newRow("thumbnail")
            << QStringList{"thumbnail", "--max", "64", path("photo.jpg"), path("t.png")};
    }
    void jpegLoadsNoHeifOrRawLibrary()
    {
        QFETCH(QStringList, args);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"LD_DEBUG"_s, u"files"_s); // the dynamic loader lists every library it opens
        const Result r = tool(args, env);
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.err.contains("libQt6Core"), "the loader's list is missing");
        QVERIFY2(!r.err.contains("libheif"), "libheif was loaded");
        QVERIFY2(!r.err.contains("libraw"), "LibRaw was loaded");
    }

    void prepare_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("filename");
        QTest::addColumn<QString>("mime");
        QTest::newRow("passthrough") << u"photo.jpg"_s << u"photo.jpg"_s << u"image/jpeg"_s;
        QTest::newRow("converted") << u"photo.tiff"_s << u"photo.png"_s << u"image/png"_s;
    }
    void prepare()
    {
        QFETCH(QString, input);
        QFETCH(QString, filename);
        QFETCH(QString, mime);
        const Result r = tool({"prepare", path(input), path("upload.bin")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.lines, (QList<QJsonObject>{{{"filename", filename}, {"mime", mime}}}));
        QImage uploaded;
        QVERIFY(uploaded.load(path("upload.bin")));
        QCOMPARE(uploaded.size(), QSize(300, 200));
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("no command") << QStringList{} << "usage:";
        QTest::newRow("unknown command") << QStringList{"resize", "a"} << "usage:";
        QTest::newRow("inspect missing file")
            << QStringList{"inspect", "/nonexistent/a.png"} << "/nonexistent/a.png: no such file";
        QTest::newRow("thumbnail without --max")
            << QStringList{"thumbnail", path("photo.jpg"), path("t.png")} << "usage:";
        QTest::newRow("thumbnail bad size")
            << QStringList{"thumbnail", "--max", "big", path("photo.jpg"), path("t.png")}
            << "--max needs a number";
        QTest::newRow("thumbnail of text")
            << QStringList{"thumbnail", "--max", "64", path("notes.heic"), path("t.png")}
            << "no thumbnail could be made";
        QTest::newRow("prepare unreadable")
            << QStringList{"prepare", path("notes.heic"), path("out.png")}
            << "Couldn't read notes.heic.";
        QTest::newRow("prepare into a missing folder")
            << QStringList{"prepare", path("photo.tiff"), path("nowhere/out.png")}
            << "nowhere/out.png";
    }
    void failures()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        const Result r = tool(args);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
        QVERIFY(r.lines.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstImageTool)
#include "tst_imagetool.moc"
