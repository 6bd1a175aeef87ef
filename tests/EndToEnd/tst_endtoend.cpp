// The whole main window driven as a person drives it, against the stand-in service: files are
// dropped on the window, models picked in the inspector, runs started and stopped with its
// buttons, results opened from the job list. Each test makes its own photos and home folder.
#include "DragAndDrop.h"
#include "FakeDesktop.h"
#include "SampleFiles.h"
#include "Services/AppStore.h"
#include "Views/Inspector/ModelList.h"
#include "Views/Inspector/ModelPicker.h"
#include "Views/Inspector/PickerListModel.h"
#include "Views/Inspector/SegmentedControl.h"
#include "Views/Results/CompareView.h"
#include "Views/Results/ResultChips.h"
#include "Views/Results/ResultSheet.h"
#include "Views/Results/VideoResultView.h"
#include "Views/Shell/StatusBar.h"
#include "Views/Shell/Workspace.h"
#include "Views/Workspace/JobListModel.h"
#include "Views/Workspace/JobListView.h"
#include "Views/Workspace/PromptField.h"
#include "Views/Workspace/ReferenceChip.h"
#include "Views/Workspace/ReferenceRow.h"
#include "WindowTestCase.h"

#include <QAbstractButton>
#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QImageReader>
#include <QJsonArray>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QtEndian>
#include <QToolTip>
#include <QtTest>

using namespace Qt::StringLiterals;
using Kind = RunStatus::Kind;

namespace
{
const QString esrgan = u"nightmareai/real-esrgan"_s;
const QString googleUpscaler = u"google/upscaler"_s;
const QString banana = u"google/nano-banana"_s;
const QString veoFast = u"google/veo-3-fast"_s;
const QString hailuo = u"minimax/hailuo-02"_s;

// A JPEG whose EXIF block says the stored pixels must be turned a quarter clockwise to show.
QByteArray withOrientation(QByteArray jpeg, quint16 orientation)
{
    QByteArray exif("Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01", 24);
    exif.append(char(orientation >> 8)).append(char(orientation & 0xff));
    exif.append(QByteArray(6, '\0')); // value padding and "no next IFD"
    QByteArray segment("\xff\xe1", 2);
    segment.append(char((exif.size() + 2) >> 8)).append(char((exif.size() + 2) & 0xff));
    // After the JFIF segment, which must stay first.
    const qsizetype at = 4 + qFromBigEndian<quint16>(jpeg.constData() + 4);
    return jpeg.insert(at, segment + exif);
}

// What a job row shows of its results, to compare across a restart.
struct ResultRow {
    QString name;
    QList<std::optional<CostRange>> costs;
    QList<QUrl> results;
    friend bool operator==(const ResultRow &, const ResultRow &) = default;
};

// Every file in `folder`, hidden ones included, sorted.
QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}
} // namespace

class EndToEndTest : public WindowTestCase
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void upscaleAFolderWithTwoModels();
    void imageFromAPromptAndAReference();
    void videoFromTwoPromptsWithTwoModels();
    void stopCancelsWhatRuns();
    void faultsEndTrueWithNoPartialFiles();
    void restartRestoresHistoryAndPreferences();

private:
    template <typename T = QWidget> T *find(const QString &name) const;
    void enterMode(Mode mode);
    void pickModels(const QStringList &slugs);
    void clickModel(const QString &slug);
    void typeSuffix(const QString &suffix);
    void drop(QWidget *target, const QList<QUrl> &urls);
    QString makePhotos(const QString &folder, int count);
    // Clicks the row's card, its open button or one of its pills.
    void click(int row, JobRowDelegate::Part part, int pill = -1);
    void pressRun();
    void waitForRunEnd();
    QList<Kind> kinds() const;
    ResultSheet *openSheet() const;
    void closeSheet();

    QTemporaryDir m_home;
    std::shared_ptr<FakeDesktop> m_desktop;
};

void EndToEndTest::initTestCase()
{
    // Results without a folder of their own go to the home's Pictures and Movies.
    QVERIFY(m_home.isValid());
    qputenv("HOME", QFile::encodeName(m_home.path()));
    startService();
}

void EndToEndTest::init()
{
    for (const char *folder : {"Pictures", "Videos"})
        QVERIFY(QDir(m_home.filePath(QString::fromLatin1(folder))).removeRecursively());
    freshEnvironment();
    AppEnvironment &environment = testEnvironment().mutableEnvironment();
    environment.environmentToken = u"r8_sim"_s;
    m_desktop = std::make_shared<FakeDesktop>();
    environment.desktop = m_desktop;
}

void EndToEndTest::cleanup()
{
    dropWindow();
}

template <typename T> T *EndToEndTest::find(const QString &name) const
{
    return m_window->findChild<T *>(name);
}

void EndToEndTest::enterMode(Mode mode)
{
    QTest::mouseClick(find(u"modeTile_"_s + Modes::key(mode)), Qt::LeftButton);
    QCOMPARE(m_store->mode(), std::optional(mode));
    // The picker lists the curated collection once it has come.
    QTRY_VERIFY(m_store->directory().catalogs().contains(mode));
}

void EndToEndTest::clickModel(const QString &slug)
{
    auto *list = find<ModelList>(u"modelList"_s);
    int row = -1;
    const QList<CatalogModel> rows = list->listModel()->rows();
    for (int i = 0; i < rows.size() && row < 0; ++i)
        row = rows.at(i).slug() == slug ? i : -1;
    QVERIFY2(row >= 0, qPrintable(slug));
    const QModelIndex index = list->model()->index(row, 0);
    list->scrollTo(index);
    QTRY_VERIFY(list->viewport()->rect().contains(list->visualRect(index).center()));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
}

// The first model alone, then the others added with "Compare models" on.
void EndToEndTest::pickModels(const QStringList &slugs)
{
    auto *picker = find<ModelPicker>(u"modelPicker"_s);
    auto *header = find(u"pickerHeader"_s);
    auto *compare = find<QCheckBox>(u"compareModels"_s);
    if (!picker->isExpanded())
        QTest::mouseClick(header, Qt::LeftButton);
    QVERIFY(picker->isExpanded());
    if (compare->isChecked())
        QTest::mouseClick(compare, Qt::LeftButton);
    clickModel(slugs.first());
    QVERIFY(!picker->isExpanded());
    if (slugs.size() > 1) {
        QTest::mouseClick(header, Qt::LeftButton);
        QTest::mouseClick(compare, Qt::LeftButton);
        QVERIFY(compare->isChecked());
        for (const QString &slug : slugs.mid(1))
            clickModel(slug);
        QTest::mouseClick(header, Qt::LeftButton);
    }
    QCOMPARE(m_store->state().selectedSlugs, slugs);
}

void EndToEndTest::typeSuffix(const QString &suffix)
{
    auto *field = find<QLineEdit>(u"filenameSuffix"_s);
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, suffix);
    QCOMPARE(m_store->state().filenameSuffix, suffix);
}

void EndToEndTest::drop(QWidget *target, const QList<QUrl> &urls)
{
    QCOMPARE(dropFiles(target, urls), std::pair(true, true));
}

// `count` small PNG photos photo-01.png … in `folder`, each a different colour.
QString EndToEndTest::makePhotos(const QString &folder, int count)
{
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        QImage photo(48, 32, QImage::Format_RGB32);
        photo.fill(QColor::fromHsv(i * 35 % 360, 180, 200));
        photo.save(QDir(folder).filePath(u"photo-%1.png"_s.arg(i + 1, 2, 10, QLatin1Char('0'))));
    }
    return folder;
}

void EndToEndTest::click(int row, JobRowDelegate::Part part, int pill)
{
    auto *list = find<JobListView>(u"jobList"_s);
    const ImageJobPtr job = list->jobModel()->job(row);
    QVERIFY(job);
    list->scrollTo(list->model()->index(row, 0));
    const auto geometry = JobRowDelegate::geometry(list->rowRect(row), *job);
    const QRectF target = part == JobRowDelegate::Part::open   ? geometry.open
                          : part == JobRowDelegate::Part::pill ? geometry.pills.value(pill)
                                                               : geometry.thumbnail;
    QVERIFY(list->viewport()->rect().contains(target.center().toPoint()));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, target.center().toPoint());
}

void EndToEndTest::pressRun()
{
    auto *run = find<QAbstractButton>(u"runButton"_s);
    QTRY_VERIFY(run->isEnabled());
    QTest::mouseClick(run, Qt::LeftButton);
    QVERIFY(m_store->isRunning());
    QTRY_COMPARE(run->text(), u"Stop"_s);
}

void EndToEndTest::waitForRunEnd()
{
    QTRY_VERIFY_WITH_TIMEOUT(!m_store->isRunning(), 60000);
}

QList<Kind> EndToEndTest::kinds() const
{
    QList<Kind> all;
    for (const ImageJobPtr &job : m_store->jobs())
        for (const ModelVariantPtr &variant : job->variants())
            all.append(variant->status().kind());
    return all;
}

ResultSheet *EndToEndTest::openSheet() const
{
    auto *sheet = m_window->findChild<ResultSheet *>(u"resultSheet"_s);
    return sheet && sheet->isVisible() ? sheet : nullptr;
}

void EndToEndTest::closeSheet()
{
    QTest::mouseClick(openSheet()->findChild<QWidget *>(u"doneButton"_s), Qt::LeftButton);
    QTRY_VERIFY(!openSheet());
    QVERIFY(!m_store->presenting());
}

void EndToEndTest::upscaleAFolderWithTwoModels()
{
    // One HEIC, one JPEG turned by its EXIF tag, one PNG.
    const QString folder = testEnvironment().path(u"Holiday"_s);
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(
        SampleFiles::writeImage(SampleFiles::pattern(96, 64), folder + u"/harbour.png"_s, "png"));
    if (!SampleFiles::runTool(u"heif-enc"_s,
                              {u"-o"_s, folder + u"/harbour.heic"_s, folder + u"/harbour.png"_s}))
        QSKIP("heif-enc is needed to make a HEIC photo");
    QVERIFY(QFile::rename(folder + u"/harbour.png"_s, folder + u"/meadow.png"_s));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    QVERIFY(buffer.open(QIODevice::WriteOnly) &&
            SampleFiles::pattern(80, 48).save(&buffer, "JPEG"));
    QVERIFY(SampleFiles::writeBytes(folder + u"/portrait.jpg"_s, withOrientation(jpeg, 6)));
    QCOMPARE(QImageReader(folder + u"/portrait.jpg"_s).transformation(),
             QImageIOHandler::TransformationRotate90);
    const QStringList originals = filesIn(folder);

    openWindow();
    enterMode(Mode::upscale);
    pickModels({esrgan, googleUpscaler});
    typeSuffix(u"-big"_s);
    drop(m_window->workspace(), {QUrl::fromLocalFile(folder)});
    QTRY_COMPARE(m_store->jobs().size(), 3);
    auto *list = find<JobListView>(u"jobList"_s);
    QTRY_VERIFY(list->isVisible());
    QTRY_VERIFY(std::ranges::all_of(m_store->jobs(), [](const ImageJobPtr &job) {
        return !job->thumbnail().isNull() && job->pixelSize();
    }));

    pressRun();
    waitForRunEnd();
    QCOMPARE(kinds(), QList<Kind>(6, Kind::done));
    QCOMPARE(m_window->workspace()->statusBar()->leadingText(),
             u"6 upscaled — click a row to compare"_s);
    QStringList expected = originals;
    for (const QString &stem : {u"harbour"_s, u"meadow"_s, u"portrait"_s})
        expected += {stem + u"-big-real-esrgan.png"_s, stem + u"-big-upscaler.png"_s};
    expected.sort();
    QCOMPARE(filesIn(folder), expected);
    // Each result is its original enlarged as stored (the EXIF turn is the viewer's business).
    for (const ImageJobPtr &job : m_store->jobs()) {
        const QSize original = job->pixelSize()->toSize();
        for (const ModelVariantPtr &variant : job->variants()) {
            const QSize result = QImageReader(variant->resultURL().toLocalFile()).size();
            const int scale = result.width() / original.width();
            QVERIFY(scale >= 2);
            QCOMPARE(result, original * scale);
        }
    }

    // A done pill says which model made the result, and how fast.
    const ModelVariantPtr second = m_store->jobs().first()->variants().at(1);
    const QPoint pill = JobRowDelegate::geometry(list->rowRect(0), *m_store->jobs().first())
                            .pills.at(1)
                            .center()
                            .toPoint();
    QHelpEvent help(QEvent::ToolTip, pill, list->viewport()->mapToGlobal(pill));
    QApplication::sendEvent(list->viewport(), &help);
    const QRegularExpression doneTip(u"^"_s + second->modelTitle() +
                                     u" — \\d+s( — \\$[0-9.]+ on Replicate)?$"_s);
    QTRY_VERIFY2(doneTip.match(QToolTip::text()).hasMatch(), qPrintable(QToolTip::text()));

    // The HEIC photo's row opens the compare view with a chip per model.
    int heic = -1;
    for (int row = 0; row < list->jobModel()->rowCount(); ++row) {
        if (list->jobModel()->job(row)->input().url().fileName() == u"harbour.heic"_s)
            heic = row;
    }
    click(heic, JobRowDelegate::Part::row);
    QTRY_VERIFY(openSheet());
    CompareView *compare = openSheet()->compareView();
    QVERIFY(compare);
    QCOMPARE(compare->chips()->count(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(compare->isLoaded(), 20000);
    QCOMPARE(compare->loadError(), QString());
    closeSheet();
}

void EndToEndTest::imageFromAPromptAndAReference()
{
    const QString reference = testEnvironment().path(u"sketch.png"_s);
    QVERIFY(SampleFiles::writeImage(SampleFiles::pattern(64, 64), reference, "png"));
    const QString prompt = u"A lighthouse on a cliff at dusk, oil painting"_s;

    openWindow();
    enterMode(Mode::image);
    pickModels({banana});
    auto *row = find<ReferenceRow>(u"referenceRow"_s);
    QTRY_VERIFY(row->isVisible());
    auto *field = find<PromptField>(u"promptField"_s);
    field->setFocus();
    QTest::keyClicks(field, prompt);
    drop(row, {QUrl::fromLocalFile(reference)});
    QCOMPARE(row->findChildren<ReferenceChip *>().size(), 1);
    QTest::keyClick(field, Qt::Key_Return, Qt::ControlModifier);
    QTRY_COMPARE(m_store->jobs().size(), 1);
    QVERIFY(field->toPlainText().isEmpty());
    QVERIFY(m_store->draftReferences().isEmpty());

    pressRun();
    waitForRunEnd();
    QCOMPARE(kinds(), QList<Kind>{Kind::done});
    // The reference went up as a file and into the prediction's input.
    QCOMPARE(service().requests(u"/v1/files"_s).size(), 1);
    const QJsonArray creates = service().requests(u"/v1/models/google/nano-banana/predictions"_s);
    QCOMPARE(creates.size(), 1);
    QVERIFY(creates.first()[u"body"_s].toString().contains(u"image_input"_s));
    const QString pictures = m_home.filePath(u"Pictures/Moonforge"_s);
    QCOMPARE(filesIn(pictures), QStringList{u"A-lighthouse-on-a-cliff-at.png"_s});
    const ModelVariantPtr variant = m_store->jobs().first()->variants().first();
    QCOMPARE(variant->resultURL().toLocalFile(), pictures + u"/A-lighthouse-on-a-cliff-at.png"_s);

    auto *list = find<JobListView>(u"jobList"_s);
    QCOMPARE(list->openLabel(*m_store->jobs().first()), u"View"_s);
    click(0, JobRowDelegate::Part::open);
    QTRY_VERIFY(openSheet());
    QVERIFY(openSheet()->compareView());
    QTRY_VERIFY_WITH_TIMEOUT(openSheet()->compareView()->isLoaded(), 20000);
    closeSheet();

    // "Reuse Prompt & References" from the row's context menu fills the composer again.
    QTimer::singleShot(0, this, [] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        const QList<QAction *> actions = menu->actions();
        const auto reuse =
            std::ranges::find(actions, u"Reuse Prompt && References"_s, &QAction::text);
        QVERIFY(reuse != actions.end());
        menu->setActiveAction(*reuse);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    const QPoint centre = list->rowRect(0).center();
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, centre,
                                list->viewport()->mapToGlobal(centre));
    QApplication::sendEvent(list->viewport(), &menuEvent);
    QCOMPARE(field->toPlainText(), prompt);
    QCOMPARE(m_store->draftReferences(), QList<QUrl>{QUrl::fromLocalFile(reference)});
    QCOMPARE(row->findChildren<ReferenceChip *>().size(), 1);
}

void EndToEndTest::videoFromTwoPromptsWithTwoModels()
{
    // The service answers held creates with the clips inline, as its blocking mode does.
    QVERIFY(service().addFault({{u"method"_s, u"POST"_s},
                                {u"path"_s, u"/v1/models/*/predictions"_s},
                                {u"action"_s, u"data-output"_s}}));
    openWindow();
    enterMode(Mode::video);
    pickModels({veoFast, hailuo});
    auto *field = find<PromptField>(u"promptField"_s);
    field->setFocus();
    for (const QString &prompt : {u"Waves at night"_s, u"A fox in the snow"_s}) {
        QTest::keyClicks(field, prompt);
        QTest::keyClick(field, Qt::Key_Return, Qt::ControlModifier);
    }
    QTRY_COMPARE(m_store->jobs().size(), 2);
    QTRY_COMPARE(find<QAbstractButton>(u"runButton"_s)->text(), u"Generate 4 Videos"_s);

    pressRun();
    waitForRunEnd();
    QCOMPARE(kinds(), QList<Kind>(4, Kind::done));
    QCOMPARE(filesIn(m_home.filePath(u"Videos/Moonforge"_s)).size(), 4);
    QCOMPARE(service().requests(u"/delivery/"_s).size(), 0);

    auto *list = find<JobListView>(u"jobList"_s);
    QCOMPARE(list->openLabel(*m_store->jobs().first()), u"Play"_s);
    click(0, JobRowDelegate::Part::open);
    QTRY_VERIFY(openSheet());
    VideoResultView *player = openSheet()->videoView();
    QVERIFY(player);
    QCOMPARE(player->chips()->count(), 2);
    QCOMPARE(player->player().source(), player->selected()->resultURL());
    QTRY_VERIFY_WITH_TIMEOUT(player->player().position() > 0, 20000);
    QCOMPARE(player->message(), QString());
    closeSheet();
}

void EndToEndTest::stopCancelsWhatRuns()
{
    // Every prediction stays processing until it is cancelled. (Real-ESRGAN is created by its
    // version, so through /v1/predictions.)
    QVERIFY(service().addFault(
        {{u"method"_s, u"POST"_s}, {u"path"_s, u"/v1/predictions"_s}, {u"action"_s, u"stuck"_s}}));
    openWindow();
    enterMode(Mode::upscale);
    pickModels({esrgan});
    drop(m_window->workspace(),
         {QUrl::fromLocalFile(makePhotos(testEnvironment().path(u"ten"_s), 10))});
    QTRY_COMPARE(m_store->jobs().size(), 10);
    pressRun();
    const auto named = [this] {
        int count = 0;
        for (const ImageJobPtr &job : m_store->jobs())
            count += job->variants().first()->predictionCancelURL().has_value();
        return count;
    };
    QTRY_COMPARE_WITH_TIMEOUT(named(), AppStore::maxPairsInFlight, 20000);
    QStringList running;
    for (const ImageJobPtr &job : m_store->jobs()) {
        if (const auto cancel = job->variants().first()->predictionCancelURL())
            running.append(QUrl(*cancel).path().section(u'/', 3, 3));
    }
    running.sort();
    auto *run = find<QAbstractButton>(u"runButton"_s);
    QTest::mouseClick(run, Qt::LeftButton);

    QVERIFY(!m_store->isRunning());
    QTRY_COMPARE(run->text(), u"Upscale 10 Images"_s);
    QList<Kind> expected(4, Kind::cancelled);
    expected += QList<Kind>(6, Kind::waiting);
    QTRY_COMPARE(kinds(), expected);
    // One cancel per prediction that was running, and nothing else was started.
    const auto requested = [this](const QString &suffix) {
        QStringList ids;
        for (const QJsonValue &request : service().requests(u"/v1/"_s)) {
            const QString path = request[u"path"_s].toString();
            if (request[u"method"_s] == u"POST"_s && path.endsWith(suffix))
                ids.append(path.section(u'/', 3, 3));
        }
        ids.sort();
        return ids;
    };
    QCOMPARE(requested(u"/predictions"_s).size(), 4);
    QTRY_COMPARE(requested(u"/cancel"_s), running);
    for (const QJsonValue &prediction : service().predictions()) {
        if (running.contains(prediction[u"id"_s].toString()))
            QCOMPARE(prediction[u"status"_s].toString(), u"canceled"_s);
    }
}

void EndToEndTest::faultsEndTrueWithNoPartialFiles()
{
    const QString overloaded = u"The model is overloaded"_s;
    QVERIFY(service().addFaults(QJsonArray{
        // Two downloads break: one never answers, one stops half-way.
        QJsonObject{{u"path"_s, u"/delivery/*"_s}, {u"action"_s, u"drop"_s}, {u"times"_s, 1}},
        QJsonObject{{u"path"_s, u"/delivery/*"_s}, {u"action"_s, u"drop-body"_s}, {u"times"_s, 1}},
        // Passing trouble that retries ride out: no request meets more than two of them.
        QJsonObject{{u"method"_s, u"POST"_s},
                    {u"path"_s, u"/v1/files"_s},
                    {u"status"_s, 429},
                    {u"retryAfter"_s, u"1"_s},
                    {u"times"_s, 2}},
        QJsonObject{{u"method"_s, u"POST"_s},
                    {u"path"_s, u"/v1/predictions"_s},
                    {u"status"_s, 503},
                    {u"times"_s, 2}},
        // One model is down for good.
        QJsonObject{{u"method"_s, u"POST"_s},
                    {u"path"_s, u"/v1/models/google/upscaler/predictions"_s},
                    {u"status"_s, 502},
                    {u"body"_s, u"{\"detail\": \"The model is overloaded\"}"_s}},
    }));
    const QString folder = makePhotos(testEnvironment().path(u"faults"_s), 4);
    const QStringList originals = filesIn(folder);
    openWindow();
    enterMode(Mode::upscale);
    pickModels({esrgan, googleUpscaler});
    drop(m_window->workspace(), {QUrl::fromLocalFile(folder)});
    QTRY_COMPARE(m_store->jobs().size(), 4);
    pressRun();
    waitForRunEnd();

    QStringList expected = originals;
    QStringList brokenDownloads;
    for (const ImageJobPtr &job : m_store->jobs()) {
        const ModelVariantPtr good = job->variants().at(0);
        const ModelVariantPtr down = job->variants().at(1);
        QCOMPARE(down->status().message(), overloaded);
        QCOMPARE(down->status().kind(), Kind::failed);
        if (good->status().kind() == Kind::done) {
            QVERIFY(QImageReader(good->resultURL().toLocalFile()).canRead());
            expected.append(good->resultURL().fileName());
        } else {
            QCOMPARE(good->status().kind(), Kind::failed);
            brokenDownloads.append(good->status().message());
        }
    }
    // The download cut half-way fails; a connection dropped before any answer may be tried
    // again by the network layer. Whatever failed says the connection went.
    QVERIFY(!brokenDownloads.isEmpty() && brokenDownloads.size() <= 2);
    for (const QString &message : brokenDownloads)
        QCOMPARE(message, u"Connection closed"_s);
    // Nothing half-written is left beside the photos.
    expected.sort();
    QCOMPARE(filesIn(folder), expected);
    const qsizetype broken = brokenDownloads.size();
    QCOMPARE(m_window->workspace()->statusBar()->leadingText(),
             u"%1 upscaled, %2 failed — click a row to compare"_s.arg(4 - broken).arg(4 + broken));
}

void EndToEndTest::restartRestoresHistoryAndPreferences()
{
    const QString results = testEnvironment().path(u"Results"_s);
    m_desktop->folderAnswer = QUrl::fromLocalFile(results);
    openWindow();
    enterMode(Mode::upscale);
    pickModels({esrgan, googleUpscaler});
    // Real-ESRGAN's face enhancement on, a suffix and a folder of our own.
    QTest::mouseClick(find(u"modelTab:"_s + esrgan), Qt::LeftButton);
    QTRY_VERIFY(find(u"parameter:face_enhance:editor"_s));
    QTest::mouseClick(find(u"parameter:face_enhance:editor"_s), Qt::LeftButton);
    typeSuffix(u"-restored"_s);
    auto *destination = find<SegmentedControl>(u"outputDestination"_s);
    QTest::mouseClick(destination, Qt::LeftButton, {}, destination->segmentRect(1).center());
    QCOMPARE(m_store->state().outputFolder.value_or(QString()), results);
    drop(m_window->workspace(),
         {QUrl::fromLocalFile(makePhotos(testEnvironment().path(u"in"_s), 2))});
    QTRY_COMPARE(m_store->jobs().size(), 2);
    pressRun();
    waitForRunEnd();
    QCOMPARE(kinds(), QList<Kind>(4, Kind::done));
    QCOMPARE(filesIn(results).size(), 4);
    const ModeState before = m_store->state();
    const auto rows = [this] {
        QList<ResultRow> list;
        for (const ImageJobPtr &job : m_store->jobs()) {
            ResultRow row{JobListModel::name(*job), {}, {}};
            for (const ModelVariantPtr &variant : job->variants()) {
                row.costs.append(variant->cost());
                row.results.append(variant->resultURL());
            }
            list.append(row);
        }
        return list;
    };
    const QList<ResultRow> shown = rows();
    QVERIFY(shown.first().costs.first().has_value());
    closeWindow();

    openWindow();
    enterMode(Mode::upscale);
    QCOMPARE(m_store->state().selectedSlugs, before.selectedSlugs);
    QCOMPARE(m_store->state().overrides, before.overrides);
    QCOMPARE(find<QLineEdit>(u"filenameSuffix"_s)->text(), u"-restored"_s);
    QCOMPARE(find<SegmentedControl>(u"outputDestination"_s)->current(), 1);
    QCOMPARE(find(u"outputFolder"_s)->toolTip(), results);
    QTest::mouseClick(find(u"modelTab:"_s + esrgan), Qt::LeftButton);
    QTRY_VERIFY(find<QAbstractButton>(u"parameter:face_enhance:editor"_s));
    QVERIFY(find<QAbstractButton>(u"parameter:face_enhance:editor"_s)->isChecked());

    QCOMPARE(rows(), shown);
    QCOMPARE(kinds(), QList<Kind>(4, Kind::done));
    QTRY_VERIFY(std::ranges::none_of(
        m_store->jobs(), [](const ImageJobPtr &job) { return job->thumbnail().isNull(); }));
    QCOMPARE(m_window->workspace()->statusBar()->leadingText(),
             u"4 upscaled — click a row to compare"_s);
    QCOMPARE(find<QAbstractButton>(u"runButton"_s)->text(), u"Upscale"_s);
}

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
