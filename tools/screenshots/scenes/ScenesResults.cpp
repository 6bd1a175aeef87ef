#include "SampleFiles.h"
#include "Scene.h"
#include "Services/AppStore.h"
#include "Services/ImageFile.h"
#include "Views/Results/CompareCanvas.h"
#include "Views/Results/CompareView.h"
#include "Views/Results/ResultSheet.h"
#include "Views/Results/VideoResultView.h"

#include <QFile>
#include <QJsonArray>
#include <QPainter>

// The result sheets: the compare view of an upscale, a generated picture, a result that was
// deleted, and the video player.
namespace
{

ModelVariantPtr doneVariant(const QString &slug, const QString &title, const QString &path,
                            double elapsed)
{
    auto variant = std::make_shared<ModelVariant>(slug, title);
    variant->setStatus(RunStatus::done());
    variant->setResultURL(QUrl::fromLocalFile(path));
    variant->setResultPixelSize(ImageFile::inspect(variant->resultURL()).pixelSize);
    variant->setElapsed(elapsed);
    return variant;
}

// A harbour at dusk drawn at any size, so that the "original" can be small and soft and the
// "results" large and crisp, as a real upscale looks. `contrast` sets the results apart.
QImage harbour(QSize size, qreal contrast)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size.width() / 1000.0, size.height() / 666.0);
    QLinearGradient sky(0, 0, 0, 400);
    sky.setColorAt(0, QColor(38, 52, 110));
    sky.setColorAt(0.6, QColor(214, 120, 110).darker(int(100 * contrast)));
    sky.setColorAt(1, QColor(250, 196, 120));
    painter.fillRect(QRectF(0, 0, 1000, 400), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 226, 160));
    painter.drawEllipse(QPointF(700, 360), 46, 46);
    painter.setBrush(QColor(48, 44, 70));
    painter.drawPolygon(
        QPolygonF({{0, 400}, {0, 300}, {160, 250}, {320, 330}, {420, 300}, {560, 400}}));
    QLinearGradient sea(0, 400, 0, 666);
    sea.setColorAt(0, QColor(120, 96, 120));
    sea.setColorAt(1, QColor(20, 34, 64));
    painter.fillRect(QRectF(0, 400, 1000, 266), sea);
    painter.setPen(QPen(QColor(255, 214, 150, int(120 * contrast)), 1.2));
    for (int row = 0; row < 40; ++row) {
        const qreal y = 405 + row * row * 0.16;
        for (int x = (row * 37) % 60; x < 1000; x += 60)
            painter.drawLine(QPointF(x, y), QPointF(x + 18 + row % 5 * 4, y));
    }
    // Boats and their masts: thin lines that a soft original blurs.
    for (int i = 0; i < 5; ++i) {
        const qreal x = 90 + i * 170;
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(30, 26, 40));
        painter.drawPolygon(QPolygonF({{x, 520}, {x + 110, 520}, {x + 92, 548}, {x + 14, 548}}));
        painter.setPen(QPen(QColor(30, 26, 40), 2));
        painter.drawLine(QPointF(x + 55, 520), QPointF(x + 55, 420 - i * 6));
        painter.setPen(QPen(QColor(30, 26, 40), 0.8));
        painter.drawLine(QPointF(x + 55, 430 - i * 6), QPointF(x + 104, 519));
        painter.drawLine(QPointF(x + 55, 430 - i * 6), QPointF(x + 8, 519));
    }
    return image;
}

QString saved(SceneSetup &setup, const QString &name, const QImage &image)
{
    const QString path = setup.environment().path(name);
    SampleFiles::writeImage(image, path, name.endsWith(QLatin1String(".png")) ? "PNG" : "JPEG");
    return path;
}

// The original: the scene drawn small and softened, as a phone photo enlarged would look.
QString softOriginal(SceneSetup &setup)
{
    const QImage small = harbour(QSize(400, 266), 1.0);
    return saved(setup, QStringLiteral("harbour.jpg"),
                 small.scaled(800, 533, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

ResultSheet *showSheet(SceneSetup &setup, const ImageJobPtr &job, QSize size)
{
    auto *sheet = new ResultSheet(setup.store(), job);
    sheet->resize(size);
    sheet->show();
    if (CompareView *view = sheet->compareView()) {
        setup.waitFor([view] { return view->isLoaded() || !view->loadError().isEmpty(); }, 20000);
    }
    return sheet;
}

QString clip(SceneSetup &setup, const QString &name)
{
    const auto created =
        setup.service().call("POST", QStringLiteral("/v1/models/minimax/video-01/predictions"),
                             R"({"input": {"prompt": "waves"}})",
                             {{"Authorization", "Bearer r8_screenshots"}, {"Prefer", "wait=30"}});
    const QJsonValue output =
        created ? created->object().value(QStringLiteral("output")) : QJsonValue();
    const QUrl address(output.isArray() ? output.toArray().first().toString() : output.toString());
    const auto download = setup.service().call("GET", address.path());
    const QString path = setup.environment().path(name);
    SampleFiles::writeBytes(path, download ? download->body : QByteArray());
    return path;
}

// An upscale with two models' results.
ImageJobPtr twoUpscales(SceneSetup &setup)
{
    const QString original = softOriginal(setup);
    auto job = std::make_shared<ImageJob>(JobInput::file(QUrl::fromLocalFile(original)));
    job->setPixelSize(QSizeF(800, 533));
    job->setVariants(
        {doneVariant(QStringLiteral("nightmareai/real-esrgan"), QStringLiteral("Real-ESRGAN"),
                     saved(setup, QStringLiteral("harbour-4x.jpg"), harbour({1600, 1066}, 1.0)),
                     7.6),
         doneVariant(
             QStringLiteral("philz1337x/clarity-upscaler"), QStringLiteral("Clarity Upscaler"),
             saved(setup, QStringLiteral("harbour-clarity.jpg"), harbour({1600, 1066}, 1.3)),
             31.2)});
    return job;
}

} // namespace

MOONFORGE_SCENE("compare-upscale", 960, 680)
{
    ResultSheet *sheet = showSheet(setup, twoUpscales(setup), QSize(960, 680));
    sheet->compareView()->canvas()->applyZoom(ZoomMode::fitted(), false);
    return sheet;
}

// Two models' results side by side: Real-ESRGAN on the left, Clarity Upscaler on the right.
MOONFORGE_SCENE("compare-results", 960, 680)
{
    ResultSheet *sheet = showSheet(setup, twoUpscales(setup), QSize(960, 680));
    CompareView *view = sheet->compareView();
    view->chooseLeft(1);
    view->choose(1);
    setup.waitFor([view] { return view->isLoaded() && view->canvas()->before(); }, 20000);
    view->canvas()->applyZoom(ZoomMode::fitted(), false);
    return sheet;
}

MOONFORGE_SCENE("compare-prompt", 960, 680)
{
    const QString result =
        saved(setup, QStringLiteral("lighthouse.png"), harbour({1024, 682}, 1.15));
    auto job = std::make_shared<ImageJob>(JobInput::prompt(
        QStringLiteral("A lighthouse on a basalt cliff at dusk, long exposure, waves crashing\n"
                       "on the rocks below, warm light in the lantern room")));
    job->setVariants({doneVariant(QStringLiteral("black-forest-labs/flux-schnell"),
                                  QStringLiteral("FLUX.1 [schnell]"), result, 2.8)});
    return showSheet(setup, job, QSize(960, 680));
}

MOONFORGE_SCENE("compare-missing", 960, 680)
{
    const QString original = softOriginal(setup);
    const QString result = setup.photo(QStringLiteral("harbour-4x.png"), 320, 213);
    auto job = std::make_shared<ImageJob>(JobInput::file(QUrl::fromLocalFile(original)));
    job->setPixelSize(QSizeF(800, 533));
    auto variant = doneVariant(QStringLiteral("nightmareai/real-esrgan"),
                               QStringLiteral("Real-ESRGAN"), result, 7.6);
    variant->setResultPixelSize(QSizeF(3200, 2132));
    job->setVariants({variant});
    QFile::remove(result);
    return showSheet(setup, job, QSize(960, 680));
}

MOONFORGE_SCENE("video-sheet", 960, 680)
{
    setup.store().setMode(Mode::video);
    auto job = std::make_shared<ImageJob>(
        JobInput::prompt(QStringLiteral("Slow waves rolling onto a moonlit beach")));
    job->setVariants(
        {doneVariant(QStringLiteral("minimax/video-01"), QStringLiteral("Video-01"),
                     clip(setup, QStringLiteral("waves.mp4")), 94.4),
         doneVariant(QStringLiteral("tencent/hunyuan-video"), QStringLiteral("HunyuanVideo"),
                     clip(setup, QStringLiteral("waves 2.mp4")), 212.0)});
    ResultSheet *sheet = showSheet(setup, job, QSize(960, 680));
    VideoResultView *view = sheet->videoView();
    setup.waitFor([view] { return view->player().position() > 0; }, 5000);
    return sheet;
}
