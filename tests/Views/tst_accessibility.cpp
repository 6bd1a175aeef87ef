#include "Models/ModelCatalog.h"
#include "SampleFiles.h"
#include "Services/AppStore.h"
#include "Services/Updater.h"
#include "StandInStore.h"
#include "TestEnvironment.h"
#include "Views/Accessibility/AccessibleFactory.h"
#include "Views/Accessibility/Announcements.h"
#include "Views/Accessibility/StatusBarAccessible.h"
#include "Views/Inspector/ModelTab.h"
#include "Views/Inspector/SegmentedControl.h"
#include "Views/Settings/SettingsView.h"
#include "Views/Shell/MainWindow.h"
#include "Views/Shell/StatusBar.h"
#include "Views/Theme/Animation.h"
#include "Views/Workspace/JobListModel.h"
#include "Views/Workspace/JobListView.h"

#include <QAccessible>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace
{
bool isInteractive(QAccessible::Role role)
{
    static const QList<QAccessible::Role> interactive{
        QAccessible::Button,   QAccessible::CheckBox,     QAccessible::RadioButton,
        QAccessible::ComboBox, QAccessible::EditableText, QAccessible::Slider,
        QAccessible::SpinBox,  QAccessible::ButtonMenu,   QAccessible::ButtonDropDown,
        QAccessible::Link,     QAccessible::PageTab};
    return interactive.contains(role);
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

QString roleName(QAccessible::Role role)
{
    static const QMap<QAccessible::Role, QString> names{
        {QAccessible::List, u"list"_s},        {QAccessible::ListItem, u"list item"_s},
        {QAccessible::Button, u"button"_s},    {QAccessible::RadioButton, u"radio button"_s},
        {QAccessible::PageTab, u"page tab"_s}, {QAccessible::StatusBar, u"status bar"_s},
        {QAccessible::StaticText, u"label"_s}, {QAccessible::ProgressBar, u"progress bar"_s},
        {QAccessible::Grouping, u"group"_s}};
    return names.value(role, u"role "_s + QString::number(role));
}

// One line per node as a screen reader presents it: role, name, description, the states it
// announces and the actions it offers, children indented under their parent.
void walk(QAccessibleInterface *node, int depth, QStringList &lines)
{
    QString line = QString(depth * 2, u' ') + roleName(node->role()) + u" \""_s +
                   node->text(QAccessible::Name) + u'"';
    if (const QString description = node->text(QAccessible::Description); !description.isEmpty())
        line += u" (" + description + u')';
    const QAccessible::State state = node->state();
    if (state.disabled)
        line += u" unavailable"_s;
    if (state.checked)
        line += u" checked"_s;
    if (state.selected)
        line += u" selected"_s;
    if (state.invisible)
        line += u" hidden"_s;
    if (QAccessibleActionInterface *actions = node->actionInterface()) {
        if (actions->actionNames().contains(QAccessibleActionInterface::pressAction()))
            line += u" [press]"_s;
    }
    lines.append(line);
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface *child = node->child(i);
        QCOMPARE(child->parent(), node);
        QCOMPARE(node->indexOfChild(child), i);
        walk(child, depth + 1, lines);
    }
}

QStringList walk(QObject *object)
{
    QStringList lines;
    walk(QAccessible::queryAccessibleInterface(object), 0, lines);
    return lines;
}

// The child of `node` whose name is `name`.
QAccessibleInterface *childNamed(QAccessibleInterface *node, const QString &name)
{
    for (int i = 0; node && i < node->childCount(); ++i) {
        if (node->child(i)->text(QAccessible::Name) == name)
            return node->child(i);
    }
    return nullptr;
}

void press(QAccessibleInterface *node)
{
    QVERIFY(node);
    QVERIFY(
        node->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    node->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
}

// What screen readers are told, as "event: name" lines.
QStringList *events = nullptr;

void record(QAccessibleEvent *event)
{
    static const QMap<QAccessible::Event, QString> types{
        {QAccessible::ObjectCreated, u"created"_s},
        {QAccessible::ObjectDestroyed, u"destroyed"_s},
        {QAccessible::ObjectShow, u"shown"_s},
        {QAccessible::ObjectHide, u"hidden"_s},
        {QAccessible::NameChanged, u"name"_s},
        {QAccessible::DescriptionChanged, u"description"_s},
        {QAccessible::StateChanged, u"state"_s},
        {QAccessible::ValueChanged, u"value"_s},
        {QAccessible::Focus, u"focus"_s}};
    QAccessibleInterface *iface = event->accessibleInterface();
    if (events && iface && types.contains(event->type()))
        events->append(types.value(event->type()) + u": "_s + iface->text(QAccessible::Name));
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
        AccessibleFactory::install();
        QVERIFY2(m_standIn.isRunning(), qPrintable(m_standIn.errorString()));
    }

    void cleanup()
    {
        Announcements::setListener(nullptr);
        events = nullptr;
        m_list.reset();
        m_store.reset();
        m_environment.reset();
    }

    void jobListReadsEveryState();
    void pressingDoesWhatAClickDoes();
    void jobListAnnouncesChanges();
    void statusBarOutputChoicesAndModelTabs();
    void statusBarSaysWhatARunSpent();

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
        QVERIFY(m_standIn.reset());
        const auto owned = m_standIn.makeStore(withToken ? u"r8_sim"_s : QString());
        QVERIFY(owned);
        AppStore &store = *owned;
        Updater updater(m_standIn.surroundings().settingsPath);
        MainWindow window(store, updater);
        store.setMode(mode);
        if (mode == Mode::upscale) {
            const QString photo = m_standIn.environment().path(u"photo.png"_s);
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
    // A shown job list in upscale mode with one photo per state, in this order: waiting,
    // preparing, uploading, running, downloading, done, failed, cancelled.
    void makeListOfEveryState();
    ImageJobPtr job(int row) const { return m_store->jobs().at(row); }

    StandInStore m_standIn;
    std::unique_ptr<TestEnvironment> m_environment;
    std::unique_ptr<AppStore> m_store;
    std::unique_ptr<JobListView> m_list;
};

void AccessibilityTest::makeListOfEveryState()
{
    m_environment = std::make_unique<TestEnvironment>();
    m_store = std::make_unique<AppStore>(m_environment->environment());
    QTRY_VERIFY(m_store->tokens().known());
    m_store->setMode(Mode::upscale);
    m_store->selectOnly(ModelCatalog::builtIn(Mode::upscale).at(0));
    const QList<std::pair<QString, RunStatus>> states{
        {u"waiting"_s, RunStatus::waiting()},
        {u"preparing"_s, RunStatus::preparing()},
        {u"uploading"_s, RunStatus::uploading()},
        {u"running"_s, RunStatus::running()},
        {u"downloading"_s, RunStatus::downloading()},
        {u"done"_s, RunStatus::done()},
        {u"failed"_s, RunStatus::failed(u"Rate limited by Replicate. Try fewer at a time."_s)},
        {u"cancelled"_s, RunStatus::cancelled()},
    };
    // One at a time, so the list keeps this order.
    for (const auto &state : states) {
        const QString photo = m_environment->path(state.first + u".png"_s);
        QVERIFY(SampleFiles::writeImage(SampleFiles::pattern(40, 30), photo, "PNG"));
        const qsizetype before = m_store->jobs().size();
        m_store->addFiles({QUrl::fromLocalFile(photo)});
        QTRY_COMPARE(m_store->jobs().size(), before + 1);
    }
    for (qsizetype i = 0; i < states.size(); ++i) {
        QTRY_VERIFY(job(int(i))->sourceDimensions());
        const ModelVariantPtr variant = job(int(i))->variants().first();
        variant->setModelTitle(u"Real-ESRGAN"_s);
        if (states.at(i).first == u"done") {
            const QString result = m_environment->path(u"done-upscaled.png"_s);
            QVERIFY(SampleFiles::writeImage(SampleFiles::pattern(1600, 1066), result, "PNG"));
            variant->setResultURL(QUrl::fromLocalFile(result));
            variant->setResultPixelSize(QSizeF(1600, 1066));
            variant->setElapsed(12.7);
            variant->setCost(CostRange{0.0023, 0.0023});
        }
        variant->setStatus(states.at(i).second);
    }
    m_list = std::make_unique<JobListView>(*m_store);
    m_list->resize(700, 700);
    m_list->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
    m_list->setCurrentIndex(m_list->jobModel()->index(0));
}

void AccessibilityTest::jobListReadsEveryState()
{
    makeListOfEveryState();
    QStringList expected{u"list \"Jobs\""_s};
    // A row still going or ended without a result: its name, Remove, and a pill with no action.
    const auto add = [&](const QString &name, const QString &state, const QString &tooltip) {
        expected << u"  list item \""_s + name + u".png, 40 × 30\" (Real-ESRGAN, "_s + state + u')'
                 << u"    button \"Remove "_s + name + u".png\" (Remove) [press]"_s
                 << u"    button \"Real-ESRGAN, "_s + state + u"\" ("_s + tooltip +
                        u") unavailable"_s;
    };
    add(u"waiting"_s, u"queued"_s, u"Real-ESRGAN — Queued"_s);
    expected[1] += u" selected"_s;
    add(u"preparing"_s, u"preparing"_s, u"Real-ESRGAN — Preparing"_s);
    add(u"uploading"_s, u"uploading"_s, u"Real-ESRGAN — Uploading"_s);
    add(u"running"_s, u"running"_s, u"Real-ESRGAN — Running"_s);
    add(u"downloading"_s, u"saving"_s, u"Real-ESRGAN — Saving"_s);
    expected
        << u"  list item \"done.png, 40 × 30\" (Real-ESRGAN, done, 1600 × 1066, $0.0023) [press]"_s
        << u"    button \"Compare\" (Compare Results) [press]"_s
        << u"    button \"Remove done.png\" (Remove) [press]"_s
        << u"    button \"Real-ESRGAN, done, 1600 × 1066, $0.0023\" "_s
           u"(Real-ESRGAN — 12s — $0.0023 on Replicate) [press]"_s;
    add(u"failed"_s, u"failed"_s, u"Rate limited by Replicate. Try fewer at a time."_s);
    add(u"cancelled"_s, u"cancelled"_s, u"Real-ESRGAN — Cancelled"_s);
    QCOMPARE(walk(m_list.get()), expected);
    // Each part sits where it is painted, inside its row.
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(m_list.get());
    QAccessibleInterface *done = list->child(5);
    QCOMPARE(done->rect(), QRect(m_list->viewport()->mapToGlobal(m_list->rowRect(5).topLeft()),
                                 m_list->rowRect(5).size()));
    for (int i = 0; i < done->childCount(); ++i) {
        const QRect part = done->child(i)->rect();
        QVERIFY(done->rect().contains(part));
        QCOMPARE(list->childAt(part.center().x(), part.center().y()), done);
        QCOMPARE(done->childAt(part.center().x(), part.center().y()), done->child(i));
    }
}

void AccessibilityTest::pressingDoesWhatAClickDoes()
{
    makeListOfEveryState();
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(m_list.get());
    QAccessibleInterface *done = list->child(5);
    press(childNamed(done, u"Compare"_s));
    QCOMPARE(m_store->presenting(), job(5));
    m_store->setPresenting({});
    press(childNamed(done, u"Real-ESRGAN, done, 1600 × 1066, $0.0023"_s));
    QCOMPARE(m_store->presenting(), job(5));
    m_store->setPresenting({});
    press(done);
    QCOMPARE(m_store->presenting(), job(5));
    m_store->setPresenting({});
    // A pill still working, like a row without a result, has nothing to open.
    QAccessibleInterface *running = list->child(3);
    QVERIFY(!running->actionInterface()->actionNames().contains(
        QAccessibleActionInterface::pressAction()));
    QAccessibleInterface *runningPill = childNamed(running, u"Real-ESRGAN, running"_s);
    QVERIFY(runningPill->actionInterface()->actionNames().isEmpty());
    runningPill->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QVERIFY(!m_store->presenting());
    // Remove works on a job still going, which a pointer reaches only by hovering.
    const ImageJobPtr removed = job(3);
    press(childNamed(running, u"Remove running.png"_s));
    QVERIFY(!m_store->jobs().contains(removed));
    QCOMPARE(list->childCount(), 7);
    QCOMPARE(list->child(3)->text(QAccessible::Name), u"downloading.png, 40 × 30"_s);
    // Focusing a row makes it the list's current row.
    list->child(6)->actionInterface()->doAction(QAccessibleActionInterface::setFocusAction());
    QCOMPARE(m_list->currentIndex().row(), 6);
    QVERIFY(list->child(6)->state().selected);
}

void AccessibilityTest::jobListAnnouncesChanges()
{
    makeListOfEveryState();
    QStringList log;
    events = &log;
    Announcements::setListener(record);
    walk(m_list.get());
    log.clear();

    const ModelVariantPtr waiting = job(0)->variants().first();
    waiting->setStatus(RunStatus::running());
    QCOMPARE(log,
             (QStringList{u"name: Real-ESRGAN, running"_s, u"description: Real-ESRGAN, running"_s,
                          u"description: waiting.png, 40 × 30"_s}));
    log.clear();
    // Done: the open button comes, the pill becomes available and reads its size.
    const QString result = m_environment->path(u"waiting-upscaled.png"_s);
    QVERIFY(SampleFiles::writeImage(SampleFiles::pattern(80, 60), result, "PNG"));
    waiting->setResultURL(QUrl::fromLocalFile(result));
    waiting->setResultPixelSize(QSizeF(80, 60));
    log.clear();
    waiting->setStatus(RunStatus::done());
    QCOMPARE(log, (QStringList{u"created: Compare"_s, u"name: Real-ESRGAN, done, 80 × 60"_s,
                               u"description: Real-ESRGAN, done, 80 × 60"_s,
                               u"state: Real-ESRGAN, done, 80 × 60"_s,
                               u"description: waiting.png, 40 × 30"_s}));
    log.clear();
    // Jobs that come and go are announced as they do.
    const QString photo = m_environment->path(u"new.png"_s);
    QVERIFY(SampleFiles::writeImage(SampleFiles::pattern(40, 30), photo, "PNG"));
    m_store->addFiles({QUrl::fromLocalFile(photo)});
    QTRY_VERIFY(log.contains(u"created: new.png"_s));
    // Its size is read afterwards, and said when it is known.
    QTRY_VERIFY(log.contains(u"name: new.png, 40 × 30"_s));
    log.clear();
    m_store->remove(job(1));
    QCOMPARE(log, QStringList{u"destroyed: preparing.png, 40 × 30"_s});
    // Moving through the list from the keyboard announces the row reached.
    m_list->setFocus();
    QTRY_VERIFY(m_list->hasFocus());
    QTest::keyClick(m_list.get(), Qt::Key_Home);
    log.clear();
    QTest::keyClick(m_list.get(), Qt::Key_Down);
    QVERIFY(log.contains(u"focus: uploading.png, 40 × 30"_s));
}

void AccessibilityTest::statusBarOutputChoicesAndModelTabs()
{
    QVERIFY(m_standIn.reset());
    const auto owned = m_standIn.makeStore();
    QVERIFY(owned);
    AppStore &store = *owned;
    Updater updater(m_standIn.surroundings().settingsPath);
    MainWindow window(store, updater);
    store.setMode(Mode::upscale);
    const CatalogModel first = ModelCatalog::builtIn(Mode::upscale).at(0);
    const CatalogModel second = ModelCatalog::builtIn(Mode::upscale).at(1);
    store.selectOnly(first);
    store.toggle(second);
    const QString photo = m_standIn.environment().path(u"photo.png"_s);
    QVERIFY(SampleFiles::writeImage(SampleFiles::pattern(40, 30), photo, "PNG"));
    store.addFiles({QUrl::fromLocalFile(photo)});
    QTRY_COMPARE(store.jobs().size(), 1);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QStringList log;
    events = &log;
    Announcements::setListener(record);

    // The status bar's text is a label of its own, said again when it changes.
    auto *bar = window.findChild<StatusBar *>(u"statusBar"_s);
    QCOMPARE(walk(bar),
             (QStringList{u"status bar \"Status\" (Ready)"_s, u"  label \"Ready\""_s,
                          u"  progress bar \"Progress\" hidden"_s, u"  label \"\" hidden"_s,
                          u"  label \"No API token\" hidden"_s}));
    const ModelVariantPtr variant = store.jobs().first()->variants().first();
    variant->setResultURL(QUrl::fromLocalFile(photo));
    variant->setStatus(RunStatus::done());
    QTRY_VERIFY(log.contains(u"name: 1 upscaled — click a row to compare"_s));

    // The output choices are radio buttons; pressing one does what clicking it does.
    auto *destination = window.findChild<SegmentedControl *>(u"outputDestination"_s);
    QCOMPARE(walk(destination),
             (QStringList{u"group \"Where results are saved\" (Beside originals)"_s,
                          u"  radio button \"Beside originals\" checked [press]"_s,
                          u"  radio button \"Custom folder\" [press]"_s}));
    log.clear();
    store.setOutputDestination(
        OutputDestination::folder(QUrl::fromLocalFile(m_standIn.environment().path(u"out"_s))));
    QCOMPARE(destination->current(), 1);
    QCOMPARE(log, (QStringList{u"state: Beside originals"_s, u"state: Custom folder"_s}));
    QAccessibleInterface *choices = QAccessible::queryAccessibleInterface(destination);
    QVERIFY(choices->child(1)->state().checked);
    press(childNamed(choices, u"Beside originals"_s));
    QVERIFY(!store.state().outputFolder);
    QVERIFY(choices->child(0)->state().checked);
    QVERIFY(!choices->child(1)->state().checked);

    // The model tabs are page tabs, the one whose settings show selected.
    auto tab = [&window](const CatalogModel &model) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return QAccessible::queryAccessibleInterface(
            window.findChild<ModelTab *>(u"modelTab:"_s + model.slug()));
    };
    const bool firstShown = store.state().focusedSlug == first.slug();
    const CatalogModel &shown = firstShown ? first : second;
    const CatalogModel &other = firstShown ? second : first;
    QCOMPARE(tab(shown)->role(), QAccessible::PageTab);
    QCOMPARE(tab(shown)->text(QAccessible::Name),
             static_cast<ModelTab *>(tab(shown)->object())->text());
    QVERIFY(tab(shown)->state().selected);
    QVERIFY(!tab(other)->state().selected);
    press(tab(other));
    QCOMPARE(store.state().focusedSlug, other.slug());
    QVERIFY(tab(other)->state().selected);
    QVERIFY(!tab(shown)->state().selected);
}

void AccessibilityTest::statusBarSaysWhatARunSpent()
{
    QVERIFY(m_standIn.reset());
    const auto owned = m_standIn.makeStore();
    QVERIFY(owned);
    AppStore &store = *owned;
    Updater updater(m_standIn.surroundings().settingsPath);
    MainWindow window(store, updater);
    // Imagen 4 costs $0.04 an image; the second prompt's prediction never ends by itself.
    store.setMode(Mode::image);
    store.selectOnly(*ModelCatalog::find(ModelCatalog::builtIn(Mode::image), u"google/imagen-4"_s));
    store.setSpendLimit(0.10);
    for (const QString &prompt : {u"First"_s, u"Second sim:stuck"_s, u"Third"_s})
        store.addPromptJob(prompt, {});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *bar = window.findChild<StatusBar *>(u"statusBar"_s);
    QAccessibleInterface *spend =
        QAccessible::queryAccessibleInterface(bar)->child(StatusBarAccessible::spend);
    QVERIFY(spend->state().invisible);
    QStringList log;
    events = &log;
    Announcements::setListener(record);
    // Said as a new name, or as the part appearing when it had nothing to say before.
    const auto said = [&log](const QString &text) {
        return log.contains(u"name: "_s + text) || log.contains(u"shown: "_s + text);
    };

    // The first result is charged; the held one's list price leaves no room for the third.
    store.startRun();
    QTRY_COMPARE(bar->spendText(), u"Spent $0.04 of $0.10"_s);
    QCOMPARE(spend->text(QAccessible::Name), bar->spendText());
    QVERIFY(!spend->state().invisible);
    QVERIFY(said(u"Spent $0.04 of $0.10"_s));
    // Stopped by hand, the held pair counts nothing.
    store.cancelRun();
    QTRY_VERIFY(!store.isRunning());
    QCOMPARE(bar->spendText(), u"Spent $0.04 of $0.10"_s);

    // The next run: two of the three pending pairs fit, and the bar says the limit stopped it.
    for (const ImageJobPtr &job : store.jobs()) {
        if (job->input().text().contains(u"sim:stuck"_s))
            store.remove(job);
    }
    store.addPromptJob(u"Fourth"_s, {});
    store.addPromptJob(u"Fifth"_s, {});
    store.startRun();
    QTRY_VERIFY(!store.isRunning());
    const QString stopped = u"Stopped at the $0.10 limit, spent $0.08"_s;
    QTRY_COMPARE(bar->spendText(), stopped);
    QCOMPARE(spend->text(QAccessible::Name), stopped);
    QVERIFY(said(stopped));
    QCOMPARE(int(store.pendingPairs().size()), 1);

    // What an image run spent is not the upscale workspace's to show.
    store.setMode(Mode::upscale);
    QTRY_VERIFY(bar->spendText().isEmpty());
    QVERIFY(spend->state().invisible);
}

QTEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
