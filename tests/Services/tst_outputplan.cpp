#include "Models/JobInput.h"
#include "Services/OutputPlacement.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <cmath>
#include <limits>

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

    static QUrl png() { return QUrl(QStringLiteral("https://cdn.example/out/abc.png")); }

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
        QCOMPARE(OutputPlacement::name(plan, QStringLiteral("real-esrgan"), tag, index, count),
                 expected);
    }

    void extensions_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("expected");
        QTest::newRow("png") << QStringLiteral("https://x/y/a.png") << QStringLiteral("png");
        QTest::newRow("webp with query")
            << QStringLiteral("https://x/y/a.webp?sig=1") << QStringLiteral("webp");
        QTest::newRow("none") << QStringLiteral("https://x/y/output") << QStringLiteral("mp4");
        QTest::newRow("too long") << QStringLiteral("https://x/y/a.verylongextension")
                                  << QStringLiteral("mp4");
        QTest::newRow("not alphanumeric")
            << QStringLiteral("https://x/y/a.p%20g") << QStringLiteral("mp4");
    }
    void extensions()
    {
        QFETCH(QString, address);
        QFETCH(QString, expected);
        QCOMPARE(OutputPlacement::extension(QUrl(address), QStringLiteral("mp4")), expected);
    }

    void planPerMode()
    {
        const auto video = OutputPlan::make(Mode::video, std::nullopt, QString(), 2.0);
        QCOMPARE(video.fallbackExtension, QStringLiteral("mp4"));
        QVERIFY(video.fallbackFolder.has_value());
        QVERIFY(video.fallbackFolder->toLocalFile().endsWith(QStringLiteral("/Moonforge")));
        const auto upscale =
            OutputPlan::make(Mode::upscale, QStringLiteral("/tmp/x"), QString(), {});
        QCOMPARE(upscale.fallbackExtension, QStringLiteral("png"));
        QVERIFY(!upscale.fallbackFolder.has_value());
        QCOMPARE(upscale.destination.folderUrl(), QUrl::fromLocalFile(QStringLiteral("/tmp/x")));
    }

    void secondRunGetsNumberedName()
    {
        const QString input = makeFile(QStringLiteral("beside/photo.jpg"), "jpeg");
        const auto plan =
            OutputPlan::make(Mode::upscale, std::nullopt, QStringLiteral("-{scale}x"), 4.0);
        const auto job = JobInput::file(QUrl::fromLocalFile(input));
        const QUrl first = OutputPlacement::place(plan, job, QStringLiteral("photo"),
                                                  QStringLiteral("m"), false, 0, 1, png(), "one");
        const QUrl second = OutputPlacement::place(plan, job, QStringLiteral("photo"),
                                                   QStringLiteral("m"), false, 0, 1, png(), "two");
        QCOMPARE(first.fileName(), QStringLiteral("photo-4x.png"));
        QCOMPARE(second.fileName(), QStringLiteral("photo-4x 2.png"));
        QFile a(first.toLocalFile());
        QVERIFY(a.open(QIODevice::ReadOnly));
        QCOMPARE(a.readAll(), QByteArray("one"));
    }

    void resultHasTheUsualPermissions()
    {
        // A file made the ordinary way shows what the umask allows; the result must match it,
        // not keep its private scratch-file mode.
        const QString input = makeFile(QStringLiteral("modes/photo.jpg"), "jpeg");
        const auto plan = OutputPlan::make(Mode::upscale, std::nullopt, QStringLiteral("-up"), {});
        const QUrl out = OutputPlacement::place(plan, JobInput::file(QUrl::fromLocalFile(input)),
                                                QStringLiteral("photo"), QStringLiteral("m"), false,
                                                0, 1, png(), "bytes");
        QCOMPARE(QFile::permissions(out.toLocalFile()), QFile::permissions(input));
    }

    void emptySuffixKeepsInput()
    {
        const QString input = makeFile(QStringLiteral("same/photo.jpg"), "original");
        const auto plan = OutputPlan::make(Mode::upscale, std::nullopt, QString(), {});
        const QUrl out = OutputPlacement::place(
            plan, JobInput::file(QUrl::fromLocalFile(input)), QStringLiteral("photo"),
            QStringLiteral("m"), false, 0, 1, QUrl(QStringLiteral("https://x/r.jpg")), "result");
        QCOMPARE(out.fileName(), QStringLiteral("photo 2.jpg"));
        QFile original(input);
        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(original.readAll(), QByteArray("original"));
    }

    void deletedFolderRecreated()
    {
        const QString target = m_env.path(QStringLiteral("gone/deeper/out"));
        QVERIFY(!QFileInfo::exists(target));
        const auto plan = OutputPlan::make(Mode::image, target, QStringLiteral("-a"), {});
        const QUrl out = OutputPlacement::place(plan, JobInput::prompt(QStringLiteral("A red fox")),
                                                QStringLiteral("A-red-fox"), QStringLiteral("m"),
                                                false, 0, 1, png(), "x");
        QCOMPARE(out, QUrl::fromLocalFile(target + QStringLiteral("/A-red-fox-a.png")));
        QVERIFY(QFileInfo::exists(out.toLocalFile()));
    }

    void promptJobUsesFallbackFolder()
    {
        auto plan = OutputPlan::make(Mode::image, std::nullopt, QString(), {});
        plan.fallbackFolder = QUrl::fromLocalFile(m_env.path(QStringLiteral("Pictures/Moonforge")));
        const QUrl out = OutputPlacement::place(
            plan, JobInput::prompt(QStringLiteral("A red fox, at dawn!")),
            QStringLiteral("A-red-fox-at-dawn"), QStringLiteral("m"), false, 0, 1, png(), "x");
        QCOMPARE(out, QUrl::fromLocalFile(
                          m_env.path(QStringLiteral("Pictures/Moonforge/A-red-fox-at-dawn.png"))));
        plan.fallbackFolder.reset();
        QCOMPARE(OutputPlacement::folder(plan, JobInput::prompt(QStringLiteral("x"))),
                 QUrl::fromLocalFile(QDir::tempPath()));
    }

    void traversalStaysInFolder()
    {
        const QString target = m_env.path(QStringLiteral("safe"));
        const auto plan =
            OutputPlan::make(Mode::image, target, QStringLiteral("/../../escape"), {});
        const QUrl out =
            OutputPlacement::place(plan, JobInput::prompt(QStringLiteral("p")), QString(),
                                   QStringLiteral("m"), false, 0, 1, png(), "x");
        QCOMPARE(QFileInfo(out.toLocalFile()).absolutePath(), target);
    }

    void threeOutputs()
    {
        const QString target = m_env.path(QStringLiteral("three"));
        const auto plan = OutputPlan::make(Mode::video, target, QStringLiteral("-v"), {});
        QStringList names;
        for (int i = 0; i < 3; ++i)
            names << OutputPlacement::place(plan, JobInput::prompt(QStringLiteral("p")),
                                            QStringLiteral("p"), QStringLiteral("m"), false, i, 3,
                                            QUrl(QStringLiteral("https://x/noext")), "x")
                         .fileName();
        QCOMPARE(names, QStringList({QStringLiteral("p-v-1.mp4"), QStringLiteral("p-v-2.mp4"),
                                     QStringLiteral("p-v-3.mp4")}));
    }
};

QTEST_GUILESS_MAIN(TstOutputPlan)
#include "tst_outputplan.moc"
