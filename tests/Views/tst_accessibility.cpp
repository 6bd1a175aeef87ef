#include "Services/AppStore.h"
#include "Services/Updater.h"
#include "StandInService.h"
#include "TestEnvironment.h"
#include "Views/Settings/SettingsView.h"
#include "Views/Shell/MainWindow.h"
#include "Views/Theme/Animation.h"

#include <QAccessible>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace
{
bool isInteractive(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::Button:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::Slider:
    case QAccessible::SpinBox:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::Link:
    case QAccessible::PageTab:
        return true;
    default:
        return false;
    }
}

// Every visible control under `root` that a screen reader could not name, or a test not find.
void collectUnnamed(QAccessibleInterface *node, QStringList &unnamed)
{
    if (!node || node->state().invisible)
        return;
    if (isInteractive(node->role())) {
        const QObject *object = node->object();
        const QString where = object ? QString::fromLatin1(object->metaObject()->className()) +
                                           u" \"" + object->objectName() + u'"'
                                     : u"?"_s;
        if (node->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << where + u" has no accessible name"_s;
        if (object && object->objectName().isEmpty())
            unnamed << where + u" has no object name"_s;
    }
    for (int i = 0; i < node->childCount(); ++i)
        collectUnnamed(node->child(i), unnamed);
}

QStringList unnamedControls(QWidget *root)
{
    QStringList unnamed;
    collectUnnamed(QAccessible::queryAccessibleInterface(root), unnamed);
    return unnamed;
}
} // namespace

// Walks each screen's widgets the way a screen reader does and lists every control that has no
// accessible name or object name.
class AccessibilityTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        Animation::setEnabled(false);
        m_service = std::make_unique<StandInService>();
        QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
    }

    void everyControlIsNamed_data()
    {
        QTest::addColumn<bool>("withToken");
        QTest::addColumn<std::optional<Mode>>("mode");
        QTest::newRow("welcome") << false << std::optional<Mode>();
        QTest::newRow("launcher") << true << std::optional<Mode>();
        QTest::newRow("upscale") << true << std::optional(Mode::upscale);
        QTest::newRow("image") << true << std::optional(Mode::image);
        QTest::newRow("video") << true << std::optional(Mode::video);
    }

    void everyControlIsNamed()
    {
        QFETCH(bool, withToken);
        QFETCH(std::optional<Mode>, mode);
        TestEnvironment environment;
        AppEnvironment &surroundings = environment.mutableEnvironment();
        surroundings.apiBase = m_service->apiBase();
        surroundings.webBase = m_service->webBase();
        surroundings.environmentToken = withToken ? u"r8_sim"_s : QString();
        AppStore store(surroundings);
        QTRY_VERIFY(store.tokenKnown());
        Updater updater(surroundings.settingsPath);
        MainWindow window(store, updater);
        store.setMode(mode);
        if (mode == Mode::upscale) {
            const QString photo = environment.path(u"photo.png"_s);
            QImage image(40, 30, QImage::Format_RGB32);
            image.fill(Qt::darkCyan);
            QVERIFY(image.save(photo));
            store.addFiles({QUrl::fromLocalFile(photo)});
            QTRY_COMPARE(store.jobs().size(), 1);
        } else if (mode) {
            store.addPromptJob(u"A quiet lake at dawn"_s, {});
        }
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(unnamedControls(&window), QStringList());

        SettingsView settings(store, updater);
        settings.show();
        QVERIFY(QTest::qWaitForWindowExposed(&settings));
        QCOMPARE(unnamedControls(&settings), QStringList());
    }

private:
    std::unique_ptr<StandInService> m_service;
};

QTEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
