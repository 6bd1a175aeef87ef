#include "FakeDesktop.h"
#include "SampleFiles.h"
#include "Services/AppStore.h"
#include "Services/ImageFile.h"
#include "Services/ImagePyramid.h"
#include "Services/StreamingPng.h"
#include "TestEnvironment.h"
#include "Views/Results/CompareCanvas.h"
#include "Views/Results/CompareView.h"
#include "Views/Results/ResultChips.h"
#include "Views/Results/ResultSheet.h"
#include "Views/Results/ResultToolbar.h"
#include "Views/Results/ZoomButtons.h"
#include "Views/Results/ZoomState.h"
#include "Views/Theme/Animation.h"
#include "Views/Theme/QuietButton.h"

#include <QComboBox>
#include <QFile>
#include <QImageWriter>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

using namespace Qt::StringLiterals;

class CompareViewTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void wheelAndPinchZoom_data();
    void wheelAndPinchZoom();
    void zoomKeepsTheCentreAndClampsThePan_data();
    void zoomKeepsTheCentreAndClampsThePan();
    void dragPansOnlyPastTheThresholdAndWithinTheImage();

    void fileJobOpensAtActualSizeWithDivider();
    void promptJobOpensFittedWithoutOriginal();
    void loadFailuresShowTheirMessage_data();
    void loadFailuresShowTheirMessage();
    void tryAgainLoadsOnceTheFileIsBack();
    void dividerIsClampedToTheCanvas();
    void chipsKeepZoomForTheSameSizeAndResetOtherwise();
    void leftSideShowsAnotherResultUntilTheSheetCloses();
    void resultsOfDifferentSizesShareTheLargerGrid_data();
    void resultsOfDifferentSizesShareTheLargerGrid();
    void wheelAndShortcutsDriveTheCanvas();
    void revealAndDone();
    void hugeResultOpensFromOneDecode();
    void pngsReadRowByRowMatchTheOrdinaryDecode_data();
    void pngsReadRowByRowMatchTheOrdinaryDecode();

private:
    QString file(const QString &name, int w, int h);
    QString solid(const QString &name, QColor colour, int w = 800, int h = 600);
    ModelVariantPtr done(const QString &title, const QString &result,
                         std::optional<double> elapsed = {});
    ImageJobPtr fileJob(const QString &original, QList<ModelVariantPtr> variants);
    ResultSheet *openSheet(const ImageJobPtr &job);
    // photo.jpg at 400 × 300 and its one result photo-4x.png at `size`, in the sheet.
    ResultSheet *openUpscale(QSize size, std::optional<double> elapsed = {});

    std::unique_ptr<TestEnvironment> m_environment;
    std::shared_ptr<FakeDesktop> m_desktop;
    std::unique_ptr<AppStore> m_store;
    QPointer<ResultSheet> m_sheet;
};

void CompareViewTest::initTestCase()
{
    Animation::setEnabled(false);
}

void CompareViewTest::init()
{
    m_environment = std::make_unique<TestEnvironment>();
    m_desktop = std::make_shared<FakeDesktop>();
    // Nothing here needs the service: the environment's own answers nowhere.
    m_environment->mutableEnvironment().desktop = m_desktop;
    m_store = std::make_unique<AppStore>(m_environment->environment());
}

void CompareViewTest::cleanup()
{
    delete m_sheet;
    m_store.reset();
    m_environment.reset();
}

QString CompareViewTest::file(const QString &name, int w, int h)
{
    const QString path = m_environment->path(name);
    SampleFiles::writeImage(SampleFiles::pattern(w, h), path,
                            name.endsWith(u".png"_s) ? "PNG" : "JPEG");
    return path;
}

QString CompareViewTest::solid(const QString &name, QColor colour, int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = m_environment->path(name);
    SampleFiles::writeImage(image, path, "PNG");
    return path;
}

ModelVariantPtr CompareViewTest::done(const QString &title, const QString &result,
                                      std::optional<double> elapsed)
{
    auto variant = std::make_shared<ModelVariant>(u"owner/"_s + title.toLower(), title);
    variant->setStatus(RunStatus::done());
    if (!result.isEmpty()) {
        variant->setResultURL(QUrl::fromLocalFile(result));
        if (const auto size = ImageFile::inspect(variant->resultURL()).pixelSize)
            variant->setResultPixelSize(size);
    }
    variant->setElapsed(elapsed);
    return variant;
}

ImageJobPtr CompareViewTest::fileJob(const QString &original, QList<ModelVariantPtr> variants)
{
    auto job = std::make_shared<ImageJob>(JobInput::file(QUrl::fromLocalFile(original)));
    job->setPixelSize(ImageFile::inspect(job->input().url()).pixelSize);
    job->setVariants(variants);
    return job;
}

ResultSheet *CompareViewTest::openSheet(const ImageJobPtr &job)
{
    m_sheet = new ResultSheet(*m_store, job);
    m_sheet->resize(960, 680);
    QSignalSpy finished(m_sheet->compareView(), &CompareView::loadFinished);
    m_sheet->show();
    // A missing file is reported at once; a decode takes a moment.
    if (!QTest::qWaitForWindowExposed(m_sheet) || (finished.isEmpty() && !finished.wait(60000)))
        return nullptr;
    return m_sheet;
}

ResultSheet *CompareViewTest::openUpscale(QSize size, std::optional<double> elapsed)
{
    const QString original = file(u"photo.jpg"_s, 400, 300);
    const QString result = file(u"photo-4x.png"_s, size.width(), size.height());
    return openSheet(fileJob(original, {done(u"Upscaler"_s, result, elapsed)}));
}

void CompareViewTest::wheelAndPinchZoom_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("delta");
    QTest::addColumn<bool>("precise");
    QTest::addColumn<double>("expected");
    QTest::newRow("one line up at 100 %") << 1.0 << 1.0 << false << 1.03;
    QTest::newRow("one line down at 200 %") << 2.0 << -1.0 << false << 1.94;
    QTest::newRow("20 trackpad pixels at 100 %") << 1.0 << 20.0 << true << 1.1;
    QTest::newRow("up at 1600 % holds") << 16.0 << 1.0 << false << 16.0;
    QTest::newRow("down at 2 % holds") << 0.02 << -1.0 << false << 0.02;
    QTest::newRow("a hard flick stops at 1600 %") << 4.0 << 1000.0 << true << 16.0;
}

void CompareViewTest::wheelAndPinchZoom()
{
    QFETCH(double, start);
    QFETCH(double, delta);
    QFETCH(bool, precise);
    QFETCH(double, expected);
    ZoomState zoom;
    zoom.setViewport({800, 600});
    zoom.setResultPixels(QSizeF(4000, 3000));
    zoom.reset(ZoomMode::ratio(start));
    zoom.wheel(delta, precise);
    QCOMPARE(zoom.mode().scale, expected);

    // A pinch multiplies the scale at its start and keeps to the same limits.
    zoom.reset(ZoomMode::ratio(start));
    zoom.pinch(1.0 + delta * (precise ? ZoomState::preciseStep : ZoomState::lineStep));
    zoom.pinch(1.0 + delta * (precise ? ZoomState::preciseStep : ZoomState::lineStep));
    QCOMPARE(zoom.mode().scale, expected);
    zoom.endPinch();

    // Nothing to zoom without a result, and a sideways scroll passes on.
    QVERIFY(!zoom.wheelScale(0, precise));
    zoom.setResultPixels(std::nullopt);
    QVERIFY(!zoom.wheelScale(delta, precise));
}

void CompareViewTest::zoomKeepsTheCentreAndClampsThePan_data()
{
    QTest::addColumn<QSizeF>("result");
    QTest::addColumn<ZoomMode>("from");
    QTest::addColumn<QPointF>("pan");
    QTest::addColumn<ZoomMode>("to");
    QTest::addColumn<QPointF>("expected");
    const QSizeF large(4000, 3000);
    QTest::newRow("1:1 to 2× doubles the pan")
        << large << ZoomMode::ratio(1) << QPointF(100, 0) << ZoomMode::ratio(2) << QPointF(200, 0);
    QTest::newRow("2× to 1:1 halves it") << large << ZoomMode::ratio(2) << QPointF(-300, 80)
                                         << ZoomMode::ratio(1) << QPointF(-150, 40);
    QTest::newRow("fit leaves no room to pan")
        << large << ZoomMode::ratio(1) << QPointF(100, 50) << ZoomMode::fitted() << QPointF();
    // 1000 × 700 at 1:1 allows 100 × 50; at 0.9 it allows 50 × 15, so 100 px becomes 90 → 50.
    QTest::newRow("zooming out past the room clamps")
        << QSizeF(1000, 700) << ZoomMode::ratio(1) << QPointF(100, 50) << ZoomMode::ratio(0.9)
        << QPointF(50, 15);
}

void CompareViewTest::zoomKeepsTheCentreAndClampsThePan()
{
    QFETCH(QSizeF, result);
    QFETCH(ZoomMode, from);
    QFETCH(QPointF, pan);
    QFETCH(ZoomMode, to);
    QFETCH(QPointF, expected);
    ZoomState zoom;
    zoom.setViewport({800, 600});
    zoom.setResultPixels(result);
    zoom.reset(from);
    zoom.drag(pan);
    zoom.endDrag();
    QCOMPARE(zoom.pan(), pan);
    zoom.applyZoom(to);
    QCOMPARE(zoom.pan(), expected);
    QVERIFY(zoom.mode() == to);
}

void CompareViewTest::dragPansOnlyPastTheThresholdAndWithinTheImage()
{
    ResultSheet *sheet = openUpscale({1600, 1200});
    QVERIFY(sheet);
    CompareCanvas *canvas = sheet->compareView()->canvas();
    // Press away from the divider, which sits in the middle.
    const QPoint start(canvas->width() / 4, canvas->height() / 2);
    QTest::mousePress(canvas, Qt::LeftButton, {}, start);
    QTest::mouseMove(canvas, start + QPoint(6, 6));
    QCOMPARE(canvas->zoom().pan(), QPointF());
    QTest::mouseMove(canvas, start + QPoint(40, -20));
    QCOMPARE(canvas->zoom().pan(), QPointF(40, -20));
    QTest::mouseMove(canvas, start + QPoint(4000, 4000));
    const QPointF limit = canvas->zoom().panLimit(1.0);
    QCOMPARE(canvas->zoom().pan(), limit);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, start + QPoint(4000, 4000));
    QCOMPARE(canvas->split(), 0.5);
    // From the keyboard: Ctrl+Right pans back by a tenth of the canvas, Shift+Left moves the
    // divider.
    QTest::keyClick(canvas, Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(canvas->zoom().pan(), limit - QPointF(canvas->width() / 10.0, 0));
    QTest::keyClick(canvas, Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(canvas->split(), 0.45);
}

void CompareViewTest::fileJobOpensAtActualSizeWithDivider()
{
    ResultSheet *sheet = openUpscale({1600, 1200}, 12.4);
    QVERIFY(sheet);
    QVERIFY(sheet->isModal() || sheet->windowModality() == Qt::WindowModal);
    QVERIFY(sheet->minimumSize().width() >= 720 && sheet->minimumSize().height() >= 520);
    CompareView *view = sheet->compareView();
    QVERIFY(view->isLoaded());
    QCOMPARE(view->canvas()->zoom().mode(), ZoomMode::ratio(1.0));
    QCOMPARE(view->canvas()->zoomText(), u"100%"_s);
    QVERIFY(view->canvas()->hasDivider());
    QCOMPARE(view->canvas()->split(), 0.5);
    QVERIFY(view->chips()->isHidden());
    QCOMPARE(view->toolbar()->heading()->title(), u"photo.jpg"_s);
    QCOMPARE(view->toolbar()->heading()->subtitleText(), u"400 × 300 → 1600 × 1200 · 12s"_s);
    QVERIFY(sheet->findChild<ZoomButton *>(u"zoomActual"_s)->isChecked());
    QVERIFY(!sheet->findChild<ZoomButton *>(u"zoomFit"_s)->isChecked());
}

void CompareViewTest::promptJobOpensFittedWithoutOriginal()
{
    const QString result = file(u"lighthouse.png"_s, 1024, 768);
    auto job = std::make_shared<ImageJob>(JobInput::prompt(
        u"A lighthouse\non a cliff at dusk, long exposure, waves crashing on black rocks below"_s));
    job->setVariants({done(u"Flux"_s, result, 3)});
    ResultSheet *sheet = openSheet(job);
    QVERIFY(sheet);
    CompareView *view = sheet->compareView();
    QVERIFY(view->isLoaded());
    QVERIFY(view->canvas()->zoom().mode().fit);
    QVERIFY(!view->canvas()->hasDivider());
    QVERIFY(view->canvas()->handleRect().isEmpty());
    QVERIFY(sheet->findChild<ZoomButton *>(u"zoomFit"_s)->isChecked());
    QCOMPARE(view->toolbar()->heading()->title(),
             u"A lighthouse on a cliff at dusk, long exposure, waves crashi…"_s);
    // No source dimensions and no arrow: only the result's size and time.
    QCOMPARE(view->toolbar()->heading()->subtitleText(), u"1024 × 768 · 3s"_s);
}

void CompareViewTest::loadFailuresShowTheirMessage_data()
{
    QTest::addColumn<QString>("breakage");
    QTest::addColumn<QString>("message");
    QTest::newRow("no result file yet") << u"no-url"_s << u"No result to show yet."_s;
    QTest::newRow("result deleted")
        << u"delete-result"_s
        << u"“photo-4x.png” isn't there any more.\nIt may have been moved or deleted."_s;
    QTest::newRow("original deleted")
        << u"delete-original"_s << u"The original “photo.jpg” isn't there any more."_s;
    QTest::newRow("original garbled")
        << u"garble-original"_s << u"Couldn't decode the original image."_s;
    QTest::newRow("result garbled") << u"garble-result"_s << u"Couldn't decode photo-4x.png."_s;
}

void CompareViewTest::loadFailuresShowTheirMessage()
{
    QFETCH(QString, breakage);
    QFETCH(QString, message);
    const QString original = file(u"photo.jpg"_s, 400, 300);
    const QString result = file(u"photo-4x.png"_s, 800, 600);
    if (breakage == u"delete-result"_s)
        QFile::remove(result);
    if (breakage == u"delete-original"_s)
        QFile::remove(original);
    if (breakage.startsWith(u"garble"_s))
        SampleFiles::writeBytes(breakage.endsWith(u"original"_s) ? original : result,
                                "not an image at all");
    auto variant = done(u"Upscaler"_s, breakage == u"no-url"_s ? QString() : result);
    ResultSheet *sheet = openSheet(fileJob(original, {variant}));
    QVERIFY(sheet);
    CompareView *view = sheet->compareView();
    QCOMPARE(view->loadError(), message);
    QVERIFY(!view->isLoaded());
    auto *retry = sheet->findChild<QuietButton *>(u"tryAgainButton"_s);
    QVERIFY(retry && retry->isVisible());
    QVERIFY(sheet->isVisible());
}

void CompareViewTest::tryAgainLoadsOnceTheFileIsBack()
{
    const QString original = file(u"photo.jpg"_s, 400, 300);
    const QString result = file(u"photo-4x.png"_s, 800, 600);
    QVERIFY(QFile::rename(result, result + u".moved"_s));
    ResultSheet *sheet = openSheet(fileJob(original, {done(u"Upscaler"_s, result)}));
    QVERIFY(sheet);
    QVERIFY(!sheet->compareView()->loadError().isEmpty());
    QVERIFY(QFile::rename(result + u".moved"_s, result));
    QSignalSpy finished(sheet->compareView(), &CompareView::loadFinished);
    QTest::mouseClick(sheet->findChild<QuietButton *>(u"tryAgainButton"_s), Qt::LeftButton);
    QVERIFY(finished.wait(10000));
    QVERIFY(sheet->compareView()->isLoaded());
    QCOMPARE(sheet->compareView()->loadError(), QString());
}

void CompareViewTest::dividerIsClampedToTheCanvas()
{
    ResultSheet *sheet = openUpscale({800, 600});
    QVERIFY(sheet);
    CompareCanvas *canvas = sheet->compareView()->canvas();
    const QPoint handle = canvas->handleRect().center().toPoint();
    QTest::mousePress(canvas, Qt::LeftButton, {}, handle);
    QCOMPARE(canvas->cursor().shape(), Qt::SizeHorCursor);
    QTest::mouseMove(canvas, QPoint(-200, handle.y()));
    QCOMPARE(canvas->split(), 0.0);
    QTest::mouseMove(canvas, QPoint(canvas->width() / 4, handle.y()));
    QVERIFY(qAbs(canvas->split() - 0.25) < 0.01);
    QTest::mouseMove(canvas, QPoint(canvas->width() + 300, handle.y()));
    QCOMPARE(canvas->split(), 1.0);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(canvas->width() + 300, handle.y()));
    // Panning was not touched by moving the divider.
    QCOMPARE(canvas->zoom().pan(), QPointF());
}

void CompareViewTest::chipsKeepZoomForTheSameSizeAndResetOtherwise()
{
    const QString original = file(u"photo.jpg"_s, 400, 300);
    auto first = done(u"Alpha"_s, file(u"a.png"_s, 1600, 1200));
    auto same = done(u"Beta"_s, file(u"b.png"_s, 1600, 1200));
    auto other = done(u"Gamma"_s, file(u"c.png"_s, 800, 600));
    auto failed = std::make_shared<ModelVariant>(u"owner/delta"_s, u"Delta"_s);
    failed->setStatus(RunStatus::failed(u"x"_s));
    ResultSheet *sheet = openSheet(fileJob(original, {first, failed, same, other}));
    QVERIFY(sheet);
    CompareView *view = sheet->compareView();
    ResultChips *chips = view->chips();
    QVERIFY(chips->isVisible());
    QCOMPARE(chips->count(), 3);
    QVERIFY(chips->chip(0)->isChecked());

    CompareCanvas *canvas = view->canvas();
    canvas->applyZoom(ZoomMode::ratio(2.0), false);
    canvas->zoom().drag({120, -40});
    canvas->zoom().endDrag();
    QSignalSpy finished(view, &CompareView::loadFinished);
    QTest::mouseClick(chips->chip(1), Qt::LeftButton);
    QVERIFY(finished.wait(10000));
    QCOMPARE(view->selected(), same);
    QVERIFY(chips->chip(1)->isChecked() && !chips->chip(0)->isChecked());
    QCOMPARE(canvas->zoom().mode(), ZoomMode::ratio(2.0));
    QCOMPARE(canvas->zoom().pan(), QPointF(120, -40));

    // The Right arrow moves on to the next chip: a result of another size starts afresh.
    QApplication::setActiveWindow(sheet);
    QVERIFY(QTest::qWaitForWindowActive(sheet));
    QTest::keyClick(canvas, Qt::Key_Right);
    QVERIFY(finished.wait(10000));
    QCOMPARE(view->selected(), other);
    QCOMPARE(canvas->zoom().mode(), ZoomMode::ratio(1.0));
    QCOMPARE(canvas->zoom().pan(), QPointF());
    QTest::keyClick(canvas, Qt::Key_Right); // already the last chip
    QCOMPARE(view->selected(), other);
    QTest::keyClick(canvas, Qt::Key_Left);
    QVERIFY(finished.wait(10000));
    QCOMPARE(view->selected(), same);
}

// What the canvas paints a quarter of the way into the pictures from either side, half way down
// (the divider sits in the middle).
static std::pair<QColor, QColor> sides(CompareCanvas *canvas)
{
    const QImage painted = canvas->grab().toImage();
    const QRectF frame = canvas->imageFrame().intersected(QRectF(canvas->rect()));
    const int y = int(frame.center().y());
    return {painted.pixelColor(int(frame.left() + frame.width() / 4), y),
            painted.pixelColor(int(frame.right() - frame.width() / 4), y)};
}

void CompareViewTest::leftSideShowsAnotherResultUntilTheSheetCloses()
{
    const QColor red(200, 30, 30);
    const QColor blue(30, 40, 210);
    const QColor green(30, 180, 60);
    const QColor grey(128, 128, 128);
    const ImageJobPtr job =
        fileJob(solid(u"photo.png"_s, grey, 400, 300),
                {done(u"Alpha"_s, solid(u"a.png"_s, red)), done(u"Beta"_s, solid(u"b.png"_s, blue)),
                 done(u"Gamma"_s, solid(u"c.png"_s, green))});
    ResultSheet *sheet = openSheet(job);
    QVERIFY(sheet);
    CompareView *view = sheet->compareView();
    CompareCanvas *canvas = view->canvas();
    auto *picker = sheet->findChild<QComboBox *>(u"leftSidePicker"_s);
    QVERIFY(picker && picker->isVisible());
    QCOMPARE(picker->accessibleName(), u"Left side"_s);
    QCOMPARE(picker->currentText(), u"Original"_s);
    QCOMPARE(sides(canvas), std::make_pair(grey, red));
    QCOMPARE(canvas->beforeLabel(), u"Before"_s);

    // From the keyboard: Down on the focused menu picks the first result for the left side.
    QApplication::setActiveWindow(sheet);
    QVERIFY(QTest::qWaitForWindowActive(sheet));
    picker->setFocus(Qt::TabFocusReason);
    QSignalSpy finished(view, &CompareView::loadFinished);
    QTest::keyClick(picker, Qt::Key_Down);
    QVERIFY(finished.wait(10000));
    QCOMPARE(view->leftSide(), job->doneVariants().at(0));
    QCOMPARE(picker->currentText(), u"Alpha"_s);
    QTest::mouseClick(view->chips()->chip(1), Qt::LeftButton);
    QVERIFY(finished.wait(10000));
    QCOMPARE(sides(canvas), std::make_pair(red, blue));
    QVERIFY(canvas->hasDivider());
    QCOMPARE(canvas->beforeLabel(), u"Alpha"_s);
    QCOMPARE(canvas->afterLabel(), u"Beta"_s);

    // Another chip changes the right side only.
    QTest::keyClick(canvas, Qt::Key_Right);
    QVERIFY(finished.wait(10000));
    QCOMPARE(view->selected(), job->doneVariants().at(2));
    QCOMPARE(sides(canvas), std::make_pair(red, green));
    QCOMPARE(picker->currentText(), u"Alpha"_s);

    // Closed and opened again, the sheet starts from the original.
    QTest::keyClick(sheet, Qt::Key_Return);
    QVERIFY(!sheet->isVisible());
    delete m_sheet;
    sheet = openSheet(job);
    QVERIFY(sheet);
    QVERIFY(!sheet->compareView()->leftSide());
    QCOMPARE(sheet->findChild<QComboBox *>(u"leftSidePicker"_s)->currentText(), u"Original"_s);
    QCOMPARE(sides(sheet->compareView()->canvas()), std::make_pair(grey, red));
}

void CompareViewTest::resultsOfDifferentSizesShareTheLargerGrid_data()
{
    QTest::addColumn<QSize>("left");
    QTest::addColumn<QSize>("right");
    QTest::newRow("larger on the left") << QSize(1600, 1200) << QSize(800, 600);
    QTest::newRow("larger on the right") << QSize(800, 600) << QSize(1600, 1200);
}

void CompareViewTest::resultsOfDifferentSizesShareTheLargerGrid()
{
    QFETCH(QSize, left);
    QFETCH(QSize, right);
    const QColor red(200, 30, 30);
    const QColor blue(30, 40, 210);
    const ImageJobPtr job =
        fileJob(file(u"photo.jpg"_s, 400, 300),
                {done(u"Alpha"_s, solid(u"a.png"_s, red, left.width(), left.height())),
                 done(u"Beta"_s, solid(u"b.png"_s, blue, right.width(), right.height()))});
    ResultSheet *sheet = openSheet(job);
    QVERIFY(sheet);
    CompareView *view = sheet->compareView();
    QSignalSpy finished(view, &CompareView::loadFinished);
    view->chooseLeft(1);
    QVERIFY(finished.wait(10000));
    view->choose(1);
    QVERIFY(finished.wait(10000));
    CompareCanvas *canvas = view->canvas();
    canvas->applyZoom(ZoomMode::ratio(0.25), false);
    // Both fill the same frame: the larger picture's pixels at the zoom's scale.
    QCOMPARE(canvas->imageFrame().size(), QSizeF(400, 300));
    QCOMPARE(sides(canvas), std::make_pair(red, blue));
}

void CompareViewTest::wheelAndShortcutsDriveTheCanvas()
{
    ResultSheet *sheet = openUpscale({1600, 1200});
    QVERIFY(sheet);
    CompareCanvas *canvas = sheet->compareView()->canvas();
    const QPointF centre(canvas->width() / 2.0, canvas->height() / 2.0);
    QWheelEvent line(centre, canvas->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &line);
    QVERIFY(line.isAccepted());
    QCOMPARE(canvas->zoomText(), u"103%"_s);
    QWheelEvent sideways(centre, canvas->mapToGlobal(centre), QPoint(), QPoint(120, 0),
                         Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &sideways);
    QVERIFY(!sideways.isAccepted());

    QApplication::setActiveWindow(sheet);
    QVERIFY(QTest::qWaitForWindowActive(sheet));
    auto *fit = sheet->findChild<ZoomButton *>(u"zoomFit"_s);
    auto *actual = sheet->findChild<ZoomButton *>(u"zoomActual"_s);
    auto *twice = sheet->findChild<ZoomButton *>(u"zoomDouble"_s);
    QVERIFY(!fit->isChecked() && !actual->isChecked() && !twice->isChecked());
    QTest::keyClick(sheet, Qt::Key_2, Qt::ControlModifier);
    QCOMPARE(canvas->zoomText(), u"200%"_s);
    QVERIFY(twice->isChecked() && !actual->isChecked());
    QTest::keyClick(sheet, Qt::Key_0, Qt::ControlModifier);
    QVERIFY(canvas->zoom().mode().fit && fit->isChecked());
    QCOMPARE(canvas->zoom().pan(), QPointF());
    QTest::mouseClick(actual, Qt::LeftButton);
    QCOMPARE(canvas->zoomText(), u"100%"_s);
    QVERIFY(actual->isChecked() && !fit->isChecked());
}

void CompareViewTest::revealAndDone()
{
    ResultSheet *sheet = openUpscale({800, 600});
    QVERIFY(sheet);
    QTest::mouseClick(sheet->compareView()->toolbar()->revealButton(), Qt::LeftButton);
    const QUrl result = QUrl::fromLocalFile(m_environment->path(u"photo-4x.png"_s));
    QCOMPARE(m_desktop->revealed, QList<QList<QUrl>>{{result}});
    QVERIFY(sheet->compareView()->toolbar()->doneButton()->isDefault());
    QSignalSpy accepted(sheet, &QDialog::accepted);
    QApplication::setActiveWindow(sheet);
    QVERIFY(QTest::qWaitForWindowActive(sheet));
    QTest::keyClick(sheet, Qt::Key_Return);
    QCOMPARE(accepted.size(), 1);
    QVERIFY(!sheet->isVisible());
}

// A 4× upscale of a 12-megapixel photo: 16000 × 12000. It must decode once, off the GUI thread,
// and keep one full-size copy plus its halvings (a third more), nothing else.
void CompareViewTest::hugeResultOpensFromOneDecode()
{
    const QString original = file(u"photo.jpg"_s, 4000, 3000);
    const QString result = m_environment->path(u"photo-4x.png"_s);
    {
        QImage huge(16000, 12000, QImage::Format_RGB32);
        QVERIFY(!huge.isNull());
        huge.fill(QColor(40, 90, 160));
        QImageWriter writer(result, "png");
        writer.setQuality(85); // quick compression: the picture is made, not judged
        QVERIFY(writer.write(huge));
    }
    m_sheet = new ResultSheet(*m_store, fileJob(original, {done(u"Upscaler"_s, result)}));
    m_sheet->resize(960, 680);
    CompareView *view = m_sheet->compareView();
    // While the PNG is read, what has arrived of it already shows, at its full size.
    bool previewShown = false;
    connect(view->canvas(), &CompareCanvas::zoomChanged, this, [&] {
        const ImagePyramidPtr shown = view->canvas()->after();
        if (shown && shown->isPreview()) {
            previewShown = true;
            QCOMPARE(shown->size(), QSize(16000, 12000));
        }
    });
    QSignalSpy finished(view, &CompareView::loadFinished);
    m_sheet->show();
    QVERIFY(finished.wait(120000));
    QVERIFY(previewShown);
    QCOMPARE(view->loadError(), QString());
    QVERIFY(view->isLoaded());
    const ImagePyramidPtr after = view->canvas()->after();
    QVERIFY(after);
    QCOMPARE(after->size(), QSize(16000, 12000));
    const qint64 full = 16000LL * 12000 * 4;
    QVERIFY(after->byteCount() < full * 4 / 3 + full / 100);
    QVERIFY(after->level(after->levelCount() - 1).width() <= 1024);
    // Fit draws from a small level; 1:1 from the full one, only what is visible.
    view->canvas()->applyZoom(ZoomMode::fitted(), false);
    QVERIFY(after->levelFor(view->canvas()->displayedScale()) >= 4);
    const QImage frame = view->canvas()->grab().toImage();
    const QPoint middle(frame.width() * 3 / 4, frame.height() / 2);
    QCOMPARE(frame.pixelColor(middle), QColor(40, 90, 160));
}

void CompareViewTest::pngsReadRowByRowMatchTheOrdinaryDecode_data()
{
    QTest::addColumn<QImage>("image");
    QImage alpha = SampleFiles::pattern(257, 129, QImage::Format_ARGB32);
    for (int y = 0; y < alpha.height(); ++y)
        for (int x = 0; x < alpha.width(); ++x)
            alpha.setPixelColor(x, y, QColor(x % 256, y * 2, 90, (x + y) % 256));
    QTest::newRow("colour, odd size") << SampleFiles::pattern(3001, 203);
    QTest::newRow("with alpha") << alpha;
    QTest::newRow("grey") << SampleFiles::pattern(640, 480).convertToFormat(
        QImage::Format_Grayscale8);
    QTest::newRow("palette") << SampleFiles::pattern(300, 200).convertToFormat(
        QImage::Format_Indexed8);
    QTest::newRow("16 bits a channel")
        << SampleFiles::pattern(300, 200).convertToFormat(QImage::Format_RGBA64);
}

// The row-by-row reader gives the same pixels as Qt's own decoder.
void CompareViewTest::pngsReadRowByRowMatchTheOrdinaryDecode()
{
    QFETCH(QImage, image);
    const QString path = m_environment->path(u"result.png"_s);
    QVERIFY(SampleFiles::writeImage(image, path, "PNG"));
    const std::optional<QImage> streamed = StreamingPng::decode(
        path, 64, [](const QImage &, QSize) {}, [] { return true; });
    QVERIFY(streamed);
    const ImagePyramidPtr pyramid = ImagePyramid::fromImage(*streamed);
    QImage expected(path);
    expected = expected.convertToFormat(
        expected.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    const QImage &decoded = pyramid->full();
    QCOMPARE(decoded.size(), expected.size());
    QCOMPARE(decoded.format(), expected.format());
    int worst = 0;
    for (int y = 0; y < decoded.height(); ++y) {
        const auto *a = reinterpret_cast<const uchar *>(decoded.constScanLine(y));
        const auto *b = reinterpret_cast<const uchar *>(expected.constScanLine(y));
        for (int i = 0; i < decoded.width() * 4; ++i)
            worst = std::max(worst, std::abs(a[i] - b[i]));
    }
    // 16-bit channels are cut to 8 bits by dropping the low byte rather than rounding.
    QVERIFY2(worst <= 1, qPrintable(QString::number(worst)));
}

QTEST_MAIN(CompareViewTest)
#include "tst_compareview.moc"
