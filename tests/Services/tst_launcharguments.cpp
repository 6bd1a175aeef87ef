#include "Services/AppVersion.h"
#include "Services/LaunchArguments.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(LaunchArguments::Action)

// The command line of `moonforge [FILE|FOLDER|URI…]`, as desktops and shells write it.
class LaunchArgumentsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkpath(u"work/photos"_s));
        for (const char *name : {"work/a b.png", "work/photos/c.jpg", "work/sftp:odd.png"}) {
            QFile file(m_dir.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }

    void files_data()
    {
        QTest::addColumn<QStringList>("arguments");
        // Paths below the temporary folder; "~" stands for it in URIs.
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("skipped");
        QTest::newRow("nothing") << QStringList{} << QStringList{} << QStringList{};
        QTest::newRow("relative file and folder, in order")
            << QStringList{"photos", "a b.png"} << QStringList{"work/photos", "work/a b.png"}
            << QStringList{};
        QTest::newRow("relative climbing out") << QStringList{"photos/../../elsewhere.png"}
                                               << QStringList{"elsewhere.png"} << QStringList{};
        QTest::newRow("absolute path") << QStringList{"@/work/photos/c.jpg"}
                                       << QStringList{"work/photos/c.jpg"} << QStringList{};
        QTest::newRow("file URI, encoded") << QStringList{"file://@/work/a%20b.png"}
                                           << QStringList{"work/a b.png"} << QStringList{};
        QTest::newRow("file URI on localhost") << QStringList{"file://localhost@/work/photos"}
                                               << QStringList{"work/photos"} << QStringList{};
        // A name that starts like a scheme is still a file when there is one.
        QTest::newRow("file that looks like a URI")
            << QStringList{"sftp:odd.png"} << QStringList{"work/sftp:odd.png"} << QStringList{};
        QTest::newRow("a file missing is still passed on")
            << QStringList{"gone.png"} << QStringList{"work/gone.png"} << QStringList{};
        QTest::newRow("other schemes and hosts are left out")
            << QStringList{"sftp://host/x.png", "file://elsewhere/x.png", "a b.png"}
            << QStringList{"work/a b.png"}
            << QStringList{"sftp://host/x.png", "file://elsewhere/x.png"};
        QTest::newRow("after --, options are names")
            << QStringList{"--", "--version"} << QStringList{"work/--version"} << QStringList{};
    }
    void files()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, files);
        QFETCH(QStringList, skipped);
        const QString root = m_dir.path();
        for (QString &argument : arguments)
            argument.replace(u'@', root);
        const LaunchArguments launch =
            LaunchArguments::parse(QStringList{u"moonforge"_s} + arguments, m_dir.filePath("work"));
        QCOMPARE(launch.action, LaunchArguments::Action::start);
        QList<QUrl> expected;
        for (const QString &file : files)
            expected.append(QUrl::fromLocalFile(m_dir.filePath(file)));
        QCOMPARE(launch.files, expected);
        QCOMPARE(launch.skipped, skipped);
        QCOMPARE(LaunchArguments::onlyPrints(QStringList{u"moonforge"_s} + arguments), false);
    }

    void printsOrFails_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<LaunchArguments::Action>("action");
        QTest::addColumn<QString>("text");
        using A = LaunchArguments::Action;
        QTest::newRow("--help") << QStringList{"--help"} << A::showHelp << "[FILE|FOLDER|URI…]";
        QTest::newRow("-h among files") << QStringList{"a.png", "-h"} << A::showHelp << "--version";
        QTest::newRow("--version")
            << QStringList{"--version"} << A::showVersion << "Moonforge " + AppVersion::current();
        QTest::newRow("-v") << QStringList{"-v"} << A::showVersion << "Moonforge ";
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << A::fail << "frobnicate";
    }
    void printsOrFails()
    {
        QFETCH(QStringList, arguments);
        QFETCH(LaunchArguments::Action, action);
        QFETCH(QString, text);
        const QStringList all = QStringList{u"moonforge"_s} + arguments;
        const LaunchArguments launch = LaunchArguments::parse(all, m_dir.path());
        QCOMPARE(launch.action, action);
        QVERIFY2(launch.text.contains(text), qPrintable(launch.text));
        QVERIFY(launch.files.isEmpty());
        // Help and version are told before a window system is asked for; a failure is not.
        QCOMPARE(LaunchArguments::onlyPrints(all), action != LaunchArguments::Action::fail);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(LaunchArgumentsTest)
#include "tst_launcharguments.moc"
