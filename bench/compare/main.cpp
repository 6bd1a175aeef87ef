// The compare view with a 12-megapixel original and a 48- or 192-megapixel result (4× and 8× in
// area of a 4× upscale): time from opening the sheet to the first fitted frame, the worst paint
// while panning at 1:1 and while wheel-zooming from fit to 1600 %, the longest GUI-thread stall
// during the load, and the process's peak memory.
//   moonforge-bench-compare [DIR] [48|192 ...]
// The pictures are made once in DIR (default: the temporary folder) and reused. Each size runs in
// a process of its own so that its peak memory is its own.
#include "Services/AppStore.h"
#include "StallMeter.h"
#include "Views/Results/CompareCanvas.h"
#include "Views/Results/CompareView.h"
#include "Views/Results/ResultSheet.h"
#include "Views/Theme/Animation.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <cstdio>
#include <sys/resource.h>

namespace
{

double peakMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// A photo-like picture: smooth light with fine grain, so PNG compresses it about as badly as a
// real upscale (a flat or gradient picture would decode unrealistically fast).
QImage picture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int grain = int(random.bounded(24u));
            const int r = (x * 200 / width + grain) & 0xff;
            const int g = (y * 180 / height + 40 + grain) & 0xff;
            const int b = ((x + y) * 120 / (width + height) + 90 + grain) & 0xff;
            line[x] = qRgb(r, g, b);
        }
    }
    return image;
}

bool ensure(const QString &path, int width, int height, const char *format)
{
    if (QFileInfo::exists(path))
        return true;
    std::printf("making %s (%d × %d)…\n", qPrintable(QFileInfo(path).fileName()), width, height);
    std::fflush(stdout);
    QImageWriter writer(path, format);
    // Fast zlib settings for PNG; the file still holds every pixel's grain.
    writer.setQuality(format == QByteArrayLiteral("png") ? 85 : 92);
    return writer.write(picture(width, height));
}

double worst(const QList<double> &values)
{
    return values.isEmpty() ? 0 : *std::max_element(values.begin(), values.end());
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// Paints the canvas now and answers how long the paint took, in milliseconds.
double timedPaint(QWidget *canvas)
{
    QElapsedTimer timer;
    timer.start();
    canvas->repaint();
    return double(timer.nsecsElapsed()) / 1e6;
}

int runOne(const QString &dir, int megapixels)
{
    const QString original = QDir(dir).filePath(QStringLiteral("original-12mp.jpg"));
    const int width = megapixels == 192 ? 16000 : 8000;
    const int height = megapixels == 192 ? 12000 : 6000;
    const QString result = QDir(dir).filePath(QStringLiteral("result-%1mp.png").arg(megapixels));
    if (!ensure(original, 4000, 3000, "jpeg") || !ensure(result, width, height, "png")) {
        std::fprintf(stderr, "could not write the pictures into %s\n", qPrintable(dir));
        return 1;
    }

    QTemporaryDir scratch;
    AppEnvironment environment;
    environment.settingsPath = scratch.filePath(QStringLiteral("settings.ini"));
    environment.keychainPrefix = QStringLiteral("org.moonforge.bench");
    environment.apiBase = QUrl(QStringLiteral("http://127.0.0.1:9/v1"));
    environment.webBase = QUrl(QStringLiteral("http://127.0.0.1:9"));
    AppStore store(environment);
    auto job = std::make_shared<ImageJob>(JobInput::file(QUrl::fromLocalFile(original)));
    job->setPixelSize(QSizeF(4000, 3000));
    auto variant = std::make_shared<ModelVariant>(QStringLiteral("bench/upscaler"),
                                                  QStringLiteral("Upscaler"));
    variant->setStatus(RunStatus::done());
    variant->setResultURL(QUrl::fromLocalFile(result));
    variant->setResultPixelSize(QSizeF(width, height));
    job->setVariants({variant});

    // A running application has its fonts, styles and symbols loaded: warm them with a sheet
    // of two small pictures first, so that the figures below are the viewer's own.
    {
        const QString small = scratch.filePath(QStringLiteral("small.png"));
        QImage(64, 48, QImage::Format_RGB32).save(small);
        auto warmJob = std::make_shared<ImageJob>(JobInput::file(QUrl::fromLocalFile(small)));
        auto warmResult =
            std::make_shared<ModelVariant>(QStringLiteral("bench/warm"), QStringLiteral("Warm"));
        warmResult->setStatus(RunStatus::done());
        warmResult->setResultURL(QUrl::fromLocalFile(small));
        warmJob->setVariants({warmResult});
        ResultSheet warm(store, warmJob);
        warm.resize(960, 680);
        QSignalSpy loaded(warm.compareView(), &CompareView::loadFinished);
        warm.show();
        if (!loaded.wait(10000))
            return 1;
        QTest::qWait(100);
    }

    const double before = peakMb();
    QElapsedTimer clock;
    clock.start();
    ResultSheet sheet(store, job);
    sheet.resize(960, 680);
    CompareView *view = sheet.compareView();
    CompareCanvas *canvas = view->canvas();
    // The first picture of any kind on the canvas: a partial preview while a PNG is read.
    double firstPicture = -1;
    QObject::connect(canvas, &CompareCanvas::zoomChanged, canvas, [&] {
        if (firstPicture < 0 && canvas->after())
            firstPicture = double(clock.nsecsElapsed()) / 1e6;
    });
    QSignalSpy finished(view, &CompareView::loadFinished);
    sheet.show();
    // The files now decode on worker threads; the GUI thread should stay free.
    StallMeter stalls;
    stalls.start();
    if (!finished.wait(120000) || !view->isLoaded()) {
        std::fprintf(stderr, "the result did not load: %s\n", qPrintable(view->loadError()));
        return 1;
    }
    canvas->applyZoom(ZoomMode::fitted(), false);
    const double firstPaint = timedPaint(canvas);
    const double firstFrame = double(clock.nsecsElapsed()) / 1e6;
    stalls.stop();

    // Pan across the image at 1:1 in 40-pixel steps, one paint per step, both ways.
    canvas->applyZoom(ZoomMode::ratio(1.0), false);
    timedPaint(canvas);
    QList<double> panPaints;
    const QPointF limit = canvas->zoom().panLimit(1.0);
    for (int step = 0; step <= 100; ++step) {
        const double t = step / 100.0;
        canvas->zoom().drag(QPointF(-limit.x() + 2 * limit.x() * t, limit.y() - limit.y() * t));
        panPaints.append(timedPaint(canvas));
    }
    canvas->zoom().endDrag();

    // Wheel from fit up to 1600 %, one line at a time, painting after each notch.
    canvas->applyZoom(ZoomMode::fitted(), false);
    timedPaint(canvas);
    QList<double> zoomPaints;
    double worstZoomScale = 0;
    int notches = 0;
    const QPointF centre(canvas->width() / 2.0, canvas->height() / 2.0);
    while (canvas->zoom().currentScale() < ZoomState::maxScale && notches < 1000) {
        QWheelEvent wheel(centre, canvas->mapToGlobal(centre), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(canvas, &wheel);
        zoomPaints.append(timedPaint(canvas));
        if (zoomPaints.last() >= worst(zoomPaints))
            worstZoomScale = canvas->zoom().currentScale();
        ++notches;
    }

    // The smooth frame that follows once the wheel rests.
    QTest::qWait(200);
    const double settled = timedPaint(canvas);

    std::printf("%d MP result (%d × %d), 12 MP original, canvas %d × %d\n", megapixels, width,
                height, canvas->width(), canvas->height());
    std::printf("  first picture (preview) %8.0f ms\n", firstPicture);
    std::printf("  full result, fitted     %8.0f ms (its paint %.1f ms)\n", firstFrame, firstPaint);
    std::printf("  GUI stall while decoding%8.1f ms\n", stalls.worstMs());
    std::printf("  paint, pan at 1:1       %8.1f ms worst, %.1f ms median (%lld paints)\n",
                worst(panPaints), median(panPaints), qlonglong(panPaints.size()));
    std::printf(
        "  paint, wheel zoom       %8.1f ms worst (at %.0f %%), %.1f ms median (%d notches, "
        "fit to 1600 %%)\n",
        worst(zoomPaints), worstZoomScale * 100, median(zoomPaints), notches);
    std::printf("  smooth frame at rest    %8.1f ms (at 1600 %%)\n", settled);
    std::printf("  peak memory             %8.0f MB (%.0f MB before opening; result %.0f MB "
                "with its halvings)\n",
                peakMb(), before, double(canvas->after()->byteCount()) / 1048576.0);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    Animation::setEnabled(false);
    QStringList args = QApplication::arguments().mid(1);
    QString dir = QDir::temp().filePath(QStringLiteral("moonforge-bench-compare"));
    if (!args.isEmpty() && !args.first().at(0).isDigit())
        dir = args.takeFirst();
    QDir().mkpath(dir);
    if (args.size() == 1)
        return runOne(dir, args.first().toInt() == 192 ? 192 : 48);
    if (args.isEmpty())
        args = {QStringLiteral("48"), QStringLiteral("192")};
    int failures = 0;
    for (const QString &size : args) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QApplication::applicationFilePath(), {dir, size});
        child.waitForFinished(-1);
        failures += child.exitCode() != 0;
    }
    return failures == 0 ? 0 : 1;
}
