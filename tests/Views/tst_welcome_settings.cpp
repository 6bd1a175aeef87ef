#include "Services/AppStore.h"
#include "Services/AppVersion.h"
#include "Services/Updater.h"
#include "StandInStore.h"
#include "Views/Settings/SettingsView.h"
#include "Views/Settings/TokenField.h"
#include "Views/Settings/WelcomeView.h"
#include "Views/Theme/Animation.h"
#include "Views/Theme/GlowButton.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

using namespace Qt::StringLiterals;

// Records the addresses the screens open in the browser.
class UrlRecorder final : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl &url) { opened.append(url); }
};

// The welcome screen and the Settings window over a store that talks to the stand-in service.
class WelcomeSettingsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void blankTokenCannotBeSubmitted();
    void rejectedTokenShowsWhyUntilTheNextEdit();
    void checkingBlocksASecondSubmit();
    void acceptedTokenDismissesTheScreen();
    void skipAndTokenPage();
    void savedShowsForTwoSecondsFromTheLastSave();
    void removeAndEnvironmentToken();
    void keyringRefusalIsShown();
    void updatesAndVersion();

private:
    void makeStore(const QString &environmentToken = {});
    QLineEdit *edit(QWidget *view) const { return view->findChild<QLineEdit *>(u"tokenEdit"_s); }

    StandInStore m_standIn;
    std::unique_ptr<AppStore> m_store;
    UrlRecorder m_urls;
};

void WelcomeSettingsTest::initTestCase()
{
    Animation::setEnabled(false);
    QVERIFY2(m_standIn.isRunning(), qPrintable(m_standIn.errorString()));
    QDesktopServices::setUrlHandler(u"http"_s, &m_urls, "open");
}

void WelcomeSettingsTest::init()
{
    QVERIFY(m_standIn.reset());
    m_urls.opened.clear();
}

void WelcomeSettingsTest::cleanup()
{
    m_store.reset();
}

void WelcomeSettingsTest::makeStore(const QString &environmentToken)
{
    m_store = m_standIn.makeStore(environmentToken);
    QVERIFY(m_store);
}

void WelcomeSettingsTest::blankTokenCannotBeSubmitted()
{
    makeStore();
    Updater updater(m_standIn.surroundings().settingsPath);
    WelcomeView welcome(*m_store);
    SettingsView settings(*m_store, updater);
    welcome.show();
    auto *next = welcome.findChild<GlowButton *>(u"welcomeContinue"_s);
    QVERIFY(!next->isEnabled());
    QTest::keyClicks(edit(&welcome), u"   "_s);
    QVERIFY(!next->isEnabled());
    QTest::keyClick(edit(&welcome), Qt::Key_Return);
    QCOMPARE(m_store->tokens().check(), TokenCheck::idle());
    QTest::keyClicks(edit(&settings), u"  "_s);
    QVERIFY(!settings.findChild<QWidget *>(u"settingsSave"_s)->isEnabled());
}

void WelcomeSettingsTest::rejectedTokenShowsWhyUntilTheNextEdit()
{
    makeStore();
    WelcomeView welcome(*m_store);
    welcome.show();
    auto *field = welcome.findChild<TokenField *>(u"welcomeToken"_s);
    auto *message = welcome.findChild<QLabel *>(u"welcomeMessageText"_s);
    const QColor quiet = field->borderColour();
    QTest::keyClicks(edit(&welcome), u"r8_invalid_key"_s);
    QTest::keyClick(edit(&welcome), Qt::Key_Return);
    QTRY_COMPARE(m_store->tokens().check().kind(), TokenCheck::Kind::invalid);
    QVERIFY(message->isVisibleTo(&welcome));
    QCOMPARE(message->text(), m_store->tokens().check().message());
    QVERIFY(!message->text().isEmpty());
    QVERIFY(field->isRejected());
    QVERIFY(field->borderColour() != quiet);
    QVERIFY(m_store->tokens().showWelcome());
    QCOMPARE(edit(&welcome)->text(), u"r8_invalid_key"_s);

    QTest::keyClicks(edit(&welcome), u"x"_s);
    QCOMPARE(m_store->tokens().check(), TokenCheck::idle());
    QVERIFY(!message->isVisibleTo(&welcome));
    QVERIFY(!field->isRejected());
}

void WelcomeSettingsTest::checkingBlocksASecondSubmit()
{
    QVERIFY(m_standIn.service().addFault({{u"method"_s, u"GET"_s},
                                          {u"path"_s, u"/v1/models/*"_s},
                                          {u"action"_s, u"delay"_s},
                                          {u"delayMs"_s, 1500}}));
    makeStore();
    WelcomeView welcome(*m_store);
    welcome.show();
    auto *next = welcome.findChild<GlowButton *>(u"welcomeContinue"_s);
    int checks = 0;
    connect(m_store.get(), &AppStore::tokenCheckChanged, &welcome,
            [&] { checks += m_store->tokens().check().kind() == TokenCheck::Kind::checking; });
    QTest::keyClicks(edit(&welcome), u"r8_good"_s);
    QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(m_store->tokens().check().kind(), TokenCheck::Kind::checking);
    QCOMPARE(next->text(), u"Checking…"_s);
    QVERIFY(next->isBusy());
    QVERIFY(!next->isEnabled());
    QVERIFY(!welcome.canSubmit());
    QTest::keyClick(edit(&welcome), Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(!m_store->tokens().showWelcome(), 10000);
    QCOMPARE(next->text(), u"Continue"_s);
    QCOMPARE(checks, 1);
}

void WelcomeSettingsTest::acceptedTokenDismissesTheScreen()
{
    makeStore();
    QVERIFY(m_store->tokens().showWelcome());
    WelcomeView welcome(*m_store);
    welcome.show();
    QTest::keyClicks(edit(&welcome), u"  r8_accepted  "_s);
    QTest::mouseClick(welcome.findChild<QWidget *>(u"welcomeContinue"_s), Qt::LeftButton);
    QTRY_VERIFY(!m_store->tokens().showWelcome());
    QVERIFY(m_store->tokens().hasToken());
    QVERIFY(edit(&welcome)->text().isEmpty());
}

void WelcomeSettingsTest::skipAndTokenPage()
{
    makeStore();
    WelcomeView welcome(*m_store);
    welcome.show();
    QTest::mouseClick(welcome.findChild<QWidget *>(u"welcomeGetToken"_s), Qt::LeftButton);
    QCOMPARE(m_urls.opened,
             QList<QUrl>{m_standIn.service().webBase().resolved(QUrl(u"/account/api-tokens"_s))});
    QVERIFY(welcome.findChild<QLabel *>(u"welcomeFooter"_s)
                ->text()
                .endsWith(u" only sent to "_s + m_standIn.service().webBase().host() + u'.'));
    QTest::mouseClick(welcome.findChild<QWidget *>(u"welcomeSkip"_s), Qt::LeftButton);
    QVERIFY(!m_store->tokens().showWelcome());
    QVERIFY(!m_store->tokens().hasToken());
}

void WelcomeSettingsTest::savedShowsForTwoSecondsFromTheLastSave()
{
    makeStore();
    Updater updater(m_standIn.surroundings().settingsPath);
    SettingsView settings(*m_store, updater);
    settings.show();
    QCOMPARE(settings.statusText(), u"No token yet"_s);
    auto *save = settings.findChild<QWidget *>(u"settingsSave"_s);
    QTest::keyClicks(edit(&settings), u"r8_first"_s);
    QTest::mouseClick(save, Qt::LeftButton);
    QTRY_VERIFY(settings.isShowingSaved());
    QCOMPARE(settings.statusText(), u"Token stored  Saved"_s);
    QVERIFY(edit(&settings)->text().isEmpty());
    QCOMPARE(settings.savedTimer().interval(), 2000);
    QVERIFY(settings.savedTimer().isActive());

    // A second save starts the two seconds again.
    settings.savedTimer().stop();
    QTest::keyClicks(edit(&settings), u"r8_second"_s);
    QTest::keyClick(edit(&settings), Qt::Key_Return);
    QTRY_VERIFY(settings.savedTimer().isActive());
    QVERIFY(settings.savedTimer().remainingTime() > 1500);
    QMetaObject::invokeMethod(&settings.savedTimer(), "timeout");
    QVERIFY(!settings.isShowingSaved());
    QCOMPARE(settings.statusText(), u"Token stored"_s);
}

void WelcomeSettingsTest::removeAndEnvironmentToken()
{
    makeStore();
    Updater updater(m_standIn.surroundings().settingsPath);
    SettingsView settings(*m_store, updater);
    settings.show();
    auto *remove = settings.findChild<QWidget *>(u"settingsRemove"_s);
    QVERIFY(!remove->isVisible());
    QTest::keyClicks(edit(&settings), u"r8_kept"_s);
    settings.save();
    QTRY_VERIFY(remove->isVisible());
    QTest::mouseClick(remove, Qt::LeftButton);
    QTRY_COMPARE(settings.statusText(), u"No token yet"_s);
    QVERIFY(!m_store->tokens().hasToken());
    QVERIFY(!remove->isVisible());
    cleanup();

    // A token from the environment is named as such and cannot be removed here.
    makeStore(u"r8_from_env"_s);
    SettingsView fromEnvironment(*m_store, updater);
    fromEnvironment.show();
    QCOMPARE(fromEnvironment.statusText(), u"Token from REPLICATE_API_TOKEN"_s);
    QVERIFY(!fromEnvironment.findChild<QWidget *>(u"settingsRemove"_s)->isVisible());
}

void WelcomeSettingsTest::keyringRefusalIsShown()
{
    m_standIn.surroundings().keychainCollection =
        u"/org/freedesktop/secrets/collection/moonforge_absent"_s;
    makeStore();
    Updater updater(m_standIn.surroundings().settingsPath);
    SettingsView settings(*m_store, updater);
    settings.show();
    QTest::keyClicks(edit(&settings), u"r8_lost"_s);
    settings.save();
    QTRY_VERIFY(!m_store->tokens().storeError().isEmpty());
    QTRY_COMPARE(settings.statusText(), m_store->tokens().storeError());
    QVERIFY(!settings.isShowingSaved());
    // The text stays for another try.
    QCOMPARE(edit(&settings)->text(), u"r8_lost"_s);
}

void WelcomeSettingsTest::updatesAndVersion()
{
    QCOMPARE(AppVersion::text(u"1.0"_s, u"42"_s), u"1.0 (42)"_s);
    QCOMPARE(AppVersion::text({}, u"42"_s), u"? (42)"_s);
    QCOMPARE(AppVersion::text(u"1.0"_s, {}), u"1.0 (?)"_s);

    makeStore();
    Updater updater(m_standIn.surroundings().settingsPath);
    SettingsView settings(*m_store, updater);
    settings.show();
    QCOMPARE(settings.findChild<QLabel *>(u"settingsVersion"_s)->text(),
             u"Version "_s + AppVersion::current());
    QVERIFY(!settings.findChild<QWidget *>(u"settingsCheckNow"_s)->isEnabled());
    auto *autoCheck = settings.findChild<QCheckBox *>(u"settingsAutoCheck"_s);
    QVERIFY(autoCheck->isChecked());
    QTest::mouseClick(autoCheck, Qt::LeftButton);
    QVERIFY(!updater.automaticallyChecksForUpdates());
    // Kept across restarts, and read again whenever the window is shown.
    Updater later(m_standIn.surroundings().settingsPath);
    QVERIFY(!later.automaticallyChecksForUpdates());
    settings.hide();
    updater.setAutomaticallyChecksForUpdates(true);
    settings.show();
    QVERIFY(autoCheck->isChecked());
}

QTEST_MAIN(WelcomeSettingsTest)
#include "tst_welcome_settings.moc"
