#include "PrivateBus.h"
#include "Services/ImageFile.h"
#include "Views/Desktop/FileAndFolderDialog.h"
#include "Views/Desktop/MotionSetting.h"
#include "Views/DesktopServices.h"
#include "Views/Theme/Animation.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace
{
const QString portalService = u"org.freedesktop.portal.Desktop"_s;
const QString portalPath = u"/org/freedesktop/portal/desktop"_s;

// A filter as "name: kind:pattern, …", kind 0 a glob and 1 a MIME type.
QStringList readFilters(const QVariant &value)
{
    QStringList filters;
    const auto argument = value.value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        argument.beginStructure();
        QString name;
        argument >> name;
        QStringList rules;
        argument.beginArray();
        while (!argument.atEnd()) {
            uint kind = 0;
            QString pattern;
            argument.beginStructure();
            argument >> kind >> pattern;
            argument.endStructure();
            rules.append(QString::number(kind) + u':' + pattern);
        }
        argument.endArray();
        argument.endStructure();
        filters.append(name + u": "_s + rules.join(u", "_s));
    }
    argument.endArray();
    return filters;
}

// The portal's file chooser: records what it was asked and answers on the request's path.
class FakeFileChooser final : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.FileChooser")
public:
    explicit FakeFileChooser(QDBusConnection bus) : m_bus(std::move(bus)) {}
    QStringList titles;
    QList<QVariantMap> options;
    QStringList filters;
    uint response = 0;
    QStringList answer;

public Q_SLOTS:
    Q_SCRIPTABLE QDBusObjectPath OpenFile(const QString &, const QString &title,
                                          const QVariantMap &given)
    {
        titles.append(title);
        options.append(given);
        filters = readFilters(given.value(u"filters"_s));
        const QString handle = portalPath + u"/request/"_s +
                               message().service().mid(1).replace(u'.', u'_') + u'/' +
                               given.value(u"handle_token"_s).toString();
        // The answer comes after the reply, once the person has chosen.
        QTimer::singleShot(10, this, [this, handle] {
            QDBusMessage signal = QDBusMessage::createSignal(
                handle, u"org.freedesktop.portal.Request"_s, u"Response"_s);
            signal << response << QVariantMap{{u"uris"_s, answer}};
            m_bus.send(signal);
        });
        return QDBusObjectPath(handle);
    }

private:
    QDBusConnection m_bus;
};

class FakeSettings final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    QStringList asked;
    bool animations = true;

public Q_SLOTS:
    Q_SCRIPTABLE QDBusVariant Read(const QString &group, const QString &key)
    {
        asked.append(group + u' ' + key);
        // As the portal answers Read: the value wrapped twice.
        return QDBusVariant(QVariant::fromValue(QDBusVariant(animations)));
    }
};
} // namespace

// The desktop's open panel through the portal, Qt's dialog where none answers, and the desktop's
// reduce-motion setting, all against stand-ins on a bus of this test's own.
class DesktopPortalsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void portalChooses_data();
    void portalChooses();
    void qtDialogWithoutPortal_data();
    void qtDialogWithoutPortal();
    void motionFollowsTheDesktop();
    void environmentKeepsMotionOff();

private:
    void servePortal(QObject *fake);
    void sendSettingChanged(const QString &key, const QVariant &value);

    QTemporaryDir m_dir;
    std::unique_ptr<PrivateBus> m_bus;
    std::optional<QDBusConnection> m_app;
    std::optional<QDBusConnection> m_desktop;
};

void DesktopPortalsTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir(m_dir.path()).mkpath(u"album"_s));
    QFile photo(m_dir.filePath(u"photo.png"_s));
    QVERIFY(photo.open(QIODevice::WriteOnly));
    m_bus = std::make_unique<PrivateBus>();
    QVERIFY2(m_bus->isRunning(), "dbus-daemon did not start");
    m_app = m_bus->connect(u"moonforge"_s);
    m_desktop = m_bus->connect(u"desktop"_s);
    QVERIFY(m_app->isConnected() && m_desktop->isConnected());
}

void DesktopPortalsTest::cleanup()
{
    m_desktop->unregisterObject(portalPath);
    m_desktop->interface()->unregisterService(portalService);
    qunsetenv("MOONFORGE_REDUCE_MOTION");
    Animation::setEnabled(true);
}

void DesktopPortalsTest::servePortal(QObject *fake)
{
    QVERIFY(m_desktop->registerObject(portalPath, fake, QDBusConnection::ExportScriptableSlots));
    QVERIFY(m_desktop->registerService(portalService));
}

void DesktopPortalsTest::sendSettingChanged(const QString &key, const QVariant &value)
{
    QDBusMessage signal = QDBusMessage::createSignal(
        portalPath, u"org.freedesktop.portal.Settings"_s, u"SettingChanged"_s);
    signal << MotionSetting::settingsNamespace << key << QVariant::fromValue(QDBusVariant(value));
    QVERIFY(m_desktop->send(signal));
}

void DesktopPortalsTest::portalChooses_data()
{
    QTest::addColumn<bool>("references");
    QTest::addColumn<uint>("response");
    QTest::addColumn<int>("chosen");
    QTest::newRow("images or a folder") << false << 0u << 2;
    QTest::newRow("reference images") << true << 0u << 1;
    QTest::newRow("dismissed") << false << 1u << 0;
}

void DesktopPortalsTest::portalChooses()
{
    QFETCH(bool, references);
    QFETCH(uint, response);
    QFETCH(int, chosen);
    FakeFileChooser chooser(*m_desktop);
    servePortal(&chooser);
    chooser.response = response;
    const QStringList uris{u"file:///photos/a.jpg"_s, u"file:///photos/b%20c.heic"_s};
    chooser.answer = uris.mid(0, references ? 1 : 2);
    // The requests the store makes.
    Desktop::OpenRequest request;
    request.title =
        references ? u"Choose reference images"_s : u"Choose images or a folder of images"_s;
    request.acceptLabel = references ? u"Use"_s : u"Add"_s;
    request.allowFolders = !references;
    request.offerAllFiles = !references;
    request.mimeTypes = ImageFile::acceptedTypes();

    // Qt's dialog must not follow the portal's; one would stay open here.
    bool fellBack = false;
    QTimer fallbackWatch;
    connect(&fallbackWatch, &QTimer::timeout, this, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            fellBack = true;
            modal->close();
        }
    });
    fallbackWatch.start(50);
    DesktopServices desktop(*m_app, nullptr);
    QList<QUrl> expected;
    for (const QString &uri : chooser.answer.mid(0, chosen))
        expected.append(QUrl(uri));
    QCOMPARE(desktop.chooseFiles(request), expected);
    QVERIFY(!fellBack);

    QCOMPARE(chooser.titles, QStringList{request.title});
    const QVariantMap options = chooser.options.constFirst();
    QCOMPARE(options.value(u"accept_label"_s).toString(), request.acceptLabel);
    QCOMPARE(options.value(u"multiple"_s).toBool(), true);
    QCOMPARE(options.value(u"modal"_s).toBool(), true);
    // Files, never a folder-only dialog: see PortalFileChooser.
    QCOMPARE(options.value(u"directory"_s, false).toBool(), false);
    QStringList imageRules;
    for (const QString &type : ImageFile::acceptedTypes())
        imageRules.append(u"1:"_s + type);
    QStringList filters{u"Images: "_s + imageRules.join(u", "_s)};
    if (!references)
        filters.append(u"All files: 0:*"_s);
    QCOMPARE(chooser.filters, filters);
}

void DesktopPortalsTest::qtDialogWithoutPortal_data()
{
    QTest::addColumn<bool>("references");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("typed");
    // The folder the dialog shows afterwards when it stayed open; empty when it closed.
    QTest::addColumn<QString>("entered");
    QTest::newRow("a folder is added as it is") << false << u"album"_s << QString() << QString();
    QTest::newRow("a file is added") << false << u"photo.png"_s << QString() << QString();
    QTest::newRow("a typed path ending in / is entered")
        << false << QString() << u"album/"_s << u"album"_s;
    QTest::newRow("reference images enter a folder")
        << true << u"album"_s << QString() << u"album"_s;
}

void DesktopPortalsTest::qtDialogWithoutPortal()
{
    QFETCH(bool, references);
    QFETCH(QString, selected);
    QFETCH(QString, typed);
    QFETCH(QString, entered);
    Desktop::OpenRequest request;
    request.title = u"Choose images or a folder of images"_s;
    request.acceptLabel = references ? u"Use"_s : u"Add"_s;
    request.allowFolders = !references;
    request.offerAllFiles = !references;
    request.mimeTypes = ImageFile::acceptedTypes();

    QString stayedIn;
    QStringList nameFilters;
    QString initialText;
    QString buttonText;
    // The dialog opens once the portal has been found missing; act on it when it shows.
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<FileAndFolderDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll.stop();
        nameFilters = dialog->nameFilters();
        dialog->setDirectory(m_dir.path());
        // The folder's listing arrives from a worker thread; the button waits for it.
        const auto *model = dialog->findChild<QFileSystemModel *>();
        QVERIFY(QTest::qWaitFor([&] { return model->rowCount(model->index(m_dir.path())) == 2; }));
        QPushButton *accept =
            dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Open);
        initialText = accept->text();
        if (!selected.isEmpty()) {
            auto *view = dialog->findChild<QListView *>(u"listView"_s);
            const QRect item = view->visualRect(model->index(m_dir.filePath(selected)));
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
        }
        if (!typed.isEmpty())
            QTest::keyClicks(dialog->findChild<QLineEdit *>(u"fileNameEdit"_s), typed);
        QCoreApplication::processEvents();
        buttonText = accept->text();
        QTest::mouseClick(accept, Qt::LeftButton);
        if (dialog->isVisible()) {
            stayedIn = QDir(m_dir.path()).relativeFilePath(dialog->directory().path());
            dialog->reject();
        }
    });
    poll.start(20);
    DesktopServices desktop(*m_app, nullptr);
    const QList<QUrl> chosen = desktop.chooseFiles(request);

    QCOMPARE(initialText, request.acceptLabel);
    // With a folder selected, Qt's own label ("Open": it enters the folder) is right only where
    // folders cannot be chosen.
    if (!references)
        QCOMPARE(buttonText, request.acceptLabel);
    QVERIFY2(nameFilters.constFirst().startsWith(u"Images (*.avif "_s),
             qPrintable(nameFilters.constFirst()));
    QVERIFY(nameFilters.constFirst().contains(u" *.jpg "_s));
    QCOMPARE(nameFilters.size(), references ? 1 : 2);
    if (!references)
        QCOMPARE(nameFilters.constLast(), u"All files (*)"_s);
    QCOMPARE(stayedIn, entered);
    if (entered.isEmpty())
        QCOMPARE(chosen, QList<QUrl>{QUrl::fromLocalFile(m_dir.filePath(selected))});
    else
        QVERIFY(chosen.isEmpty());
}

void DesktopPortalsTest::motionFollowsTheDesktop()
{
    FakeSettings settings;
    settings.animations = false;
    servePortal(&settings);
    QWidget host;
    AnimatedValue fade(&host, 0);
    RepeatingValue breathe(&host, 1000, true);
    breathe.start();
    fade.animateTo(1, 60'000);
    QVERIFY(fade.isRunning() && breathe.isRunning());

    // The desktop asks for no animations: what was moving arrives at once.
    MotionSetting motion(*m_app);
    QTRY_VERIFY(!Animation::enabled());
    QCOMPARE(settings.asked, QStringList{u"org.gnome.desktop.interface enable-animations"_s});
    QVERIFY(!fade.isRunning() && !breathe.isRunning());
    QCOMPARE(fade.value(), 1.0);

    // Turned back on while running; other keys change nothing.
    sendSettingChanged(MotionSetting::key, true);
    QTRY_VERIFY(Animation::enabled());
    QVERIFY(breathe.isRunning());
    sendSettingChanged(u"gtk-theme"_s, u"Adwaita-dark"_s);
    sendSettingChanged(MotionSetting::key, false);
    QTRY_VERIFY(!Animation::enabled());
    QVERIFY(!breathe.isRunning());
}

void DesktopPortalsTest::environmentKeepsMotionOff()
{
    FakeSettings settings;
    servePortal(&settings);
    qputenv("MOONFORGE_REDUCE_MOTION", "1");
    Animation::setEnabled(false);
    MotionSetting motion(*m_app);
    sendSettingChanged(MotionSetting::key, true);
    // A round trip of our own comes back after anything the bus had for us.
    m_app->call(QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s,
                                               u"/org/freedesktop/DBus"_s,
                                               u"org.freedesktop.DBus"_s, u"GetId"_s));
    QCoreApplication::processEvents();
    QVERIFY(settings.asked.isEmpty());
    QVERIFY(!Animation::enabled());
}

QTEST_MAIN(DesktopPortalsTest)
#include "tst_desktopportals.moc"
