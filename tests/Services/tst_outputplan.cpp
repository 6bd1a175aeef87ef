#include "Models/JobInput.h"
#include "Services/OutputPlacement.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

class TstOutputPlan : public QObject
{
    Q_OBJECT

private:
    TestEnvironment m_env;

    QString makeFile(const QString &relative, const QByteArray &bytes)
    {
        const QString path = m_env.path(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write fixture");
        file.write(bytes);
        return path;
    }

    static QUrl png() { return QUrl(u"https://cdn.example/out/abc.png"_s); }

private Q_SLOTS:
    void names_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<double>("scale");
        QTest::addColumn<bool>("hasScale");
        QTest::addColumn<bool>("tag");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("expected");
        QTest::newRow("integral") << "-{scale}x" << 4.0 << true << false << 0 << 1 << "-4x";
        QTest::newRow("fraction") << "-{scale}x" << 2.5 << true << false << 0 << 1 << "-2.5x";
        QTest::newRow("no scale, tagged")
            << "-{scale}x" << 0.0 << false << true << 0 << 1 << "-upx-real-esrgan";
        QTest::newRow("model not doubled")
            << "-{model}" << 0.0 << false << true << 0 << 1 << "-real-esrgan";
        QTest::newRow("third of three") << "-x" << 0.0 << false << false << 2 << 3 << "-x-3";
        QTest::newRow("first of two") << "" << 0.0 << false << false << 0 << 2 << "-1";
        QTest::newRow("slash replaced")
            << "/../../etc" << 0.0 << false << false << 0 << 1 << "-..-..-etc";
        QTest::newRow("backslash replaced")
            << "\\..\\x" << 0.0 << false << false << 0 << 1 << "-..-x";
        QTest::newRow("infinite scale") << "-{scale}" << std::numeric_limits<double>::infinity()
                                        << true << false << 0 << 1 << "-up";
        QTest::newRow("huge scale") << "-{scale}" << 1e300 << true << false << 0 << 1 << "-up";
        QTest::newRow("nan scale")
            << "-{scale}" << std::nan("") << true << false << 0 << 1 << "-up";
    }
    void names()
    {
        QFETCH(QString, suffix);
        QFETCH(double, scale);
        QFETCH(bool, hasScale);
        QFETCH(bool, tag);
        QFETCH(int, index);
        QFETCH(int, count);
        QFETCH(QString, expected);
        const auto plan = OutputPlan::make(Mode::upscale, std::nullopt, suffix,
                                           hasScale ? std::optional(scale) : std::nullopt);
        QCOMPARE(OutputPlacement::name(plan, u"real-esrgan"_s, tag, index, count), expected);
    }

    void extensions_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("expected");
        QTest::newRow("png") << u"https://x/y/a.png"_s << u"png"_s;
        QTest::newRow("webp with query") << u"https://x/y/a.webp?sig=1"_s << u"webp"_s;
        QTest::newRow("none") << u"https://x/y/output"_s << u"mp4"_s;
        QTest::newRow("too long") << u"https://x/y/a.verylongextension"_s << u"mp4"_s;
        QTest::newRow("not alphanumeric") << u"https://x/y/a.p%20g"_s << u"mp4"_s;
    }
    void extensions()
    {
        QFETCH(QString, address);
        QFETCH(QString, expected);
        QCOMPARE(OutputPlacement::extension(QUrl(address), u"mp4"_s), expected);
    }

    void planPerMode()
    {
        const auto video = OutputPlan::make(Mode::video, std::nullopt, QString(), 2.0);
        QCOMPARE(video.fallbackExtension, u"mp4"_s);
        QVERIFY(video.fallbackFolder.has_value());
        QVERIFY(video.fallbackFolder->toLocalFile().endsWith(u"/Moonforge"_s));
        const auto upscale = OutputPlan::make(Mode::upscale, u"/tmp/x"_s, QString(), {});
        QCOMPARE(upscale.fallbackExtension, u"png"_s);
        QVERIFY(!upscale.fallbackFolder.has_value());
        QCOMPARE(upscale.destination.folderUrl(), QUrl::fromLocalFile(u"/tmp/x"_s));
    }

    void secondRunGetsNumberedName()
    {
        const QString input = makeFile(u"beside/photo.jpg"_s, "jpeg");
        const auto plan = OutputPlan::make(Mode::upscale, std::nullopt, u"-{scale}x"_s, 4.0);
        const auto job = JobInput::file(QUrl::fromLocalFile(input));
        const QUrl first =
            OutputPlacement::place(plan, job, u"photo"_s, u"m"_s, false, 0, 1, png(), "one");
        const QUrl second =
            OutputPlacement::place(plan, job, u"photo"_s, u"m"_s, false, 0, 1, png(), "two");
        QCOMPARE(first.fileName(), u"photo-4x.png"_s);
        QCOMPARE(second.fileName(), u"photo-4x 2.png"_s);
        QFile a(first.toLocalFile());
        QVERIFY(a.open(QIODevice::ReadOnly));
        QCOMPARE(a.readAll(), QByteArray("one"));
    }

    void resultHasTheUsualPermissions()
    {
        // A file made the ordinary way shows what the umask allows; the result must match it,
        // not keep its private scratch-file mode.
        const QString input = makeFile(u"modes/photo.jpg"_s, "jpeg");
        const auto plan = OutputPlan::make(Mode::upscale, std::nullopt, u"-up"_s, {});
        const QUrl out = OutputPlacement::place(plan, JobInput::file(QUrl::fromLocalFile(input)),
                                                u"photo"_s, u"m"_s, false, 0, 1, png(), "bytes");
        QCOMPARE(QFile::permissions(out.toLocalFile()), QFile::permissions(input));
    }

    void emptySuffixKeepsInput()
    {
        const QString input = makeFile(u"same/photo.jpg"_s, "original");
        const auto plan = OutputPlan::make(Mode::upscale, std::nullopt, QString(), {});
        const QUrl out =
            OutputPlacement::place(plan, JobInput::file(QUrl::fromLocalFile(input)), u"photo"_s,
                                   u"m"_s, false, 0, 1, QUrl(u"https://x/r.jpg"_s), "result");
        QCOMPARE(out.fileName(), u"photo 2.jpg"_s);
        QFile original(input);
        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(original.readAll(), QByteArray("original"));
    }

    void deletedFolderRecreated()
    {
        const QString target = m_env.path(u"gone/deeper/out"_s);
        QVERIFY(!QFileInfo::exists(target));
        const auto plan = OutputPlan::make(Mode::image, target, u"-a"_s, {});
        const QUrl out = OutputPlacement::place(plan, JobInput::prompt(u"A red fox"_s),
                                                u"A-red-fox"_s, u"m"_s, false, 0, 1, png(), "x");
        QCOMPARE(out, QUrl::fromLocalFile(target + u"/A-red-fox-a.png"_s));
        QVERIFY(QFileInfo::exists(out.toLocalFile()));
    }

    void promptJobUsesFallbackFolder()
    {
        auto plan = OutputPlan::make(Mode::image, std::nullopt, QString(), {});
        plan.fallbackFolder = QUrl::fromLocalFile(m_env.path(u"Pictures/Moonforge"_s));
        const QUrl out =
            OutputPlacement::place(plan, JobInput::prompt(u"A red fox, at dawn!"_s),
                                   u"A-red-fox-at-dawn"_s, u"m"_s, false, 0, 1, png(), "x");
        QCOMPARE(out,
                 QUrl::fromLocalFile(m_env.path(u"Pictures/Moonforge/A-red-fox-at-dawn.png"_s)));
        plan.fallbackFolder.reset();
        QCOMPARE(OutputPlacement::folder(plan, JobInput::prompt(u"x"_s)),
                 QUrl::fromLocalFile(QDir::tempPath()));
    }

    void traversalStaysInFolder()
    {
        const QString target = m_env.path(u"safe"_s);
        const auto plan = OutputPlan::make(Mode::image, target, u"/../../escape"_s, {});
        const QUrl out = OutputPlacement::place(plan, JobInput::prompt(u"p"_s), QString(), u"m"_s,
                                                false, 0, 1, png(), "x");
        QCOMPARE(QFileInfo(out.toLocalFile()).absolutePath(), target);
    }

    void treeKeptInChosenFolder_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("treeRoot"); // empty: the file was added on its own
        QTest::addColumn<bool>("chosenFolder");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const char *file, const char *root, bool chosen,
                            const char *expected) {
            QTest::newRow(name) << QString(file) << QString(root) << chosen << QString(expected);
        };
        row("below the added folder", "archive/2019/jan/a.jpg", "archive", true, "out/2019/jan");
        row("root written with a trailing slash", "archive/2019/a.jpg", "archive/", true,
            "out/2019");
        row("directly in the added folder", "archive/a.jpg", "archive", true, "out");
        row("added on its own", "archive/2019/a.jpg", "", true, "out");
        row("root not above the file", "archive/2019/a.jpg", "elsewhere", true, "out");
        row("root only a prefix of the file's folder name", "archive2/x/a.jpg", "archive", true,
            "out");
        row("a path climbing out of the root", "archive/../outside/a.jpg", "archive", true, "out");
        row("beside originals", "archive/2019/jan/a.jpg", "archive", false, "archive/2019/jan");
    }
    void treeKeptInChosenFolder()
    {
        QFETCH(QString, file);
        QFETCH(QString, treeRoot);
        QFETCH(bool, chosenFolder);
        const auto plan = OutputPlan::make(
            Mode::upscale, chosenFolder ? std::optional(m_env.path(u"out"_s)) : std::nullopt,
            u"-up"_s, {});
        const QUrl root = treeRoot.isEmpty() ? QUrl() : QUrl::fromLocalFile(m_env.path(treeRoot));
        const QUrl folder = OutputPlacement::folder(
            plan, JobInput::file(QUrl::fromLocalFile(m_env.path(file))), root);
        QTEST(QDir(m_env.path(QString())).relativeFilePath(folder.toLocalFile()), "expected");
    }

    void treeResultsMadeInMirroredFolders()
    {
        const auto plan = OutputPlan::make(Mode::upscale, m_env.path(u"mirror"_s), u"-up"_s, {});
        const QUrl root = QUrl::fromLocalFile(m_env.path(u"photos"_s));
        const auto place = [&](const QString &file) {
            return OutputPlacement::place(plan,
                                          JobInput::file(QUrl::fromLocalFile(m_env.path(file))),
                                          u"a"_s, u"m"_s, false, 0, 1, png(), "x", root);
        };
        // Two photos of one name in different folders do not collide; a name already taken in
        // the mirrored folder is numbered as anywhere else.
        makeFile(u"mirror/2020/a-up.png"_s, "earlier");
        QCOMPARE(place(u"photos/2019/jan/a.jpg"_s),
                 QUrl::fromLocalFile(m_env.path(u"mirror/2019/jan/a-up.png"_s)));
        QCOMPARE(place(u"photos/2020/a.jpg"_s),
                 QUrl::fromLocalFile(m_env.path(u"mirror/2020/a-up 2.png"_s)));
        QCOMPARE(place(u"photos/a.jpg"_s), QUrl::fromLocalFile(m_env.path(u"mirror/a-up.png"_s)));
    }

    void threeOutputs()
    {
        const QString target = m_env.path(u"three"_s);
        const auto plan = OutputPlan::make(Mode::video, target, u"-v"_s, {});
        QStringList names;
        for (int i = 0; i < 3; ++i)
            names << OutputPlacement::place(plan, JobInput::prompt(u"p"_s), u"p"_s, u"m"_s, false,
                                            i, 3, QUrl(u"https://x/noext"_s), "x")
                         .fileName();
        QCOMPARE(names, QStringList({u"p-v-1.mp4"_s, u"p-v-2.mp4"_s, u"p-v-3.mp4"_s}));
    }
};

QTEST_GUILESS_MAIN(TstOutputPlan)
#include "tst_outputplan.moc"
