#include "Services/AppStore.h"
#include "TestEnvironment.h"
#include "Views/Launcher/LauncherView.h"
#include "Views/Launcher/ModeTile.h"
#include "Views/Theme/Animation.h"

#include <QLabel>
#include <QtTest>

using namespace Qt::StringLiterals;

// The launcher: its three tiles in mode order, their hover, and choosing a mode.
class LauncherTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { Animation::setEnabled(false); }

    void tilesInModeOrder()
    {
        TestEnvironment environment;
        AppStore store(environment.environment());
        LauncherView launcher(store);
        QStringList titles, names;
        for (const ModeTile *tile : launcher.tiles()) {
            titles << tile->accessibleName();
            names << tile->objectName();
        }
        QCOMPARE(titles, (QStringList{u"Upscale"_s, u"Image"_s, u"Video"_s}));
        QCOMPARE(names,
                 (QStringList{u"modeTile_upscale"_s, u"modeTile_image"_s, u"modeTile_video"_s}));
        QCOMPARE(launcher.tiles().first()->accessibleDescription(),
                 u"Make images bigger and sharper."_s);
        QCOMPARE(launcher.findChild<QLabel *>(u"launcherLine"_s)->text(),
                 u"Pick a mode to get started."_s);
    }

    void hoverGrowsTheTileAndLeavingRestoresIt()
    {
        TestEnvironment environment;
        AppStore store(environment.environment());
        LauncherView launcher(store);
        launcher.resize(900, 580);
        launcher.show();
        QVERIFY(QTest::qWaitForWindowExposed(&launcher));
        ModeTile *tile = launcher.tiles().at(1);
        QCOMPARE(tile->scale(), 1.0);
        QEnterEvent enter(QPointF(20, 20), QPointF(20, 20), tile->mapToGlobal(QPointF(20, 20)));
        QApplication::sendEvent(tile, &enter);
        QVERIFY(tile->isHovering());
        QCOMPARE(tile->scale(), 1.02);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(tile, &leave);
        QVERIFY(!tile->isHovering());
        QCOMPARE(tile->scale(), 1.0);
    }

    void clickingOrPressingATileChoosesItsMode_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("keyboard");
        QTest::newRow("click upscale") << 0 << false;
        QTest::newRow("space on video") << 2 << true;
    }

    void clickingOrPressingATileChoosesItsMode()
    {
        QFETCH(int, index);
        QFETCH(bool, keyboard);
        TestEnvironment environment;
        AppStore store(environment.environment());
        LauncherView launcher(store);
        launcher.show();
        QVERIFY(QTest::qWaitForWindowExposed(&launcher));
        ModeTile *tile = launcher.tiles().at(index);
        if (keyboard) {
            tile->setFocus();
            QTest::keyClick(tile, Qt::Key_Space);
        } else {
            QTest::mouseClick(tile, Qt::LeftButton);
        }
        QCOMPARE(store.mode(), std::optional(tile->mode()));
    }
};

QTEST_MAIN(LauncherTest)
#include "tst_launcher.moc"
