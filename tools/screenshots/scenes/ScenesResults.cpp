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

// An "upscaled" copy: the photo enlarged and given crisper detail than the original shows.
QString upscaled(const QString &original, const QString &name, int factor, int detail)
{
    QImage image = QImage(original).scaled(QImage(original).size() * factor, Qt::IgnoreAspectRatio,
                                           Qt::SmoothTransformation);
    QPainter painter(&image);
    painter.setPen(QPen(QColor(255, 255, 255, 60), 1));
    for (int x = 0; x < image.width(); x += detail)
        painter.drawLine(x, 0, x, image.height());
    painter.end();
    const QString path = QFileInfo(original).absolutePath() + QLatin1Char('/') + name;
    SampleFiles::writeImage(image, path, "JPEG");
    return path;
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

} // namespace

MOONFORGE_SCENE("compare-upscale", 960, 680)
{
    const QString original = setup.photo(QStringLiteral("harbour.jpg"), 800, 533);
    auto job = std::make_shared<ImageJob>(JobInput::file(QUrl::fromLocalFile(original)));
    job->setPixelSize(QSizeF(800, 533));
    job->setVariants(
        {doneVariant(QStringLiteral("nightmareai/real-esrgan"), QStringLiteral("Real-ESRGAN"),
                     upscaled(original, QStringLiteral("harbour-4x.jpg"), 2, 6), 7.6),
         doneVariant(QStringLiteral("philz1337x/clarity-upscaler"),
                     QStringLiteral("Clarity Upscaler"),
                     upscaled(original, QStringLiteral("harbour-clarity.jpg"), 2, 3), 31.2)});
    ResultSheet *sheet = showSheet(setup, job, QSize(960, 680));
    sheet->compareView()->canvas()->applyZoom(ZoomMode::fitted(), false);
    return sheet;
}

MOONFORGE_SCENE("compare-prompt", 960, 680)
{
    const QString result = setup.photo(QStringLiteral("lighthouse.png"), 1024, 768);
    auto job = std::make_shared<ImageJob>(JobInput::prompt(
        QStringLiteral("A lighthouse on a basalt cliff at dusk, long exposure, waves crashing\n"
                       "on the rocks below, warm light in the lantern room")));
    job->setVariants({doneVariant(QStringLiteral("black-forest-labs/flux-schnell"),
                                  QStringLiteral("FLUX.1 [schnell]"), result, 2.8)});
    return showSheet(setup, job, QSize(960, 680));
}

MOONFORGE_SCENE("compare-missing", 960, 680)
{
    const QString original = setup.photo(QStringLiteral("harbour.jpg"), 800, 533);
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
