#include "SimService.h"

namespace
{

QString metric(const char *name, const char *display, const char *dollars, const char *title)
{
    return QStringLiteral("{\"metric\": \"%1\", \"metric_display\": \"%2\", \"price\": \"$%3\", "
                          "\"title\": \"%4\"}")
        .arg(QLatin1String(name), QLatin1String(display), QLatin1String(dollars),
             QLatin1String(title));
}

QString billing(const QStringList &metrics)
{
    return QStringLiteral("\"billingConfig\": {\"current_tiers\": [{\"prices\": [") +
           metrics.join(QStringLiteral(", ")) + QStringLiteral("], \"criteria\": []}]}");
}

// The tier table arrives as escaped markup inside the billing object, as on the real pages.
QString tieredBilling()
{
    QString rows;
    const QList<std::tuple<const char *, int, const char *>> tiers{
        {"4", 1, "0.05"}, {"9", 2, "0.10"}, {"16", 3, "0.20"}, {"36", 4, "0.40"}};
    for (const auto &[megapixels, index, dollars] : tiers)
        rows += QStringLiteral("\\u003Ctr\\u003E\\u003Ctd\\u003E%1\\u003C/td\\u003E "
                               "\\u003Ctd\\u003E%2\\u003C/td\\u003E "
                               "\\u003Ctd\\u003E$%3\\u003C/td\\u003E\\u003C/tr\\u003E")
                    .arg(QLatin1String(megapixels))
                    .arg(index)
                    .arg(QLatin1String(dollars));
    return QStringLiteral("\"billingConfig\": {\"description\": \"Priced by output megapixels\", "
                          "\"table\": \"\\u003Ctable\\u003E") +
           rows +
           QStringLiteral("\\u003C/table\\u003E\", \"nested\": {\"note\": \"a } inside "
                          "a \\\"string\\\"\"}}");
}

QString hardware(bool special, const char *perSecond, const char *typical)
{
    QString text = QStringLiteral("\"hardware\": {\"name\": \"Nvidia L40S GPU\", \"price\": "
                                  "\"$%1 per second\"}, \"has_special_pricing\": %2")
                       .arg(QLatin1String(perSecond),
                            special ? QStringLiteral("true") : QStringLiteral("false"));
    if (typical)
        text += QStringLiteral(", \"p50price\": \"$%1\"").arg(QLatin1String(typical));
    return text;
}

// Which billing form each model's page carries; models not listed are priced by kind.
QString pricingFor(const SimModel &model)
{
    const QString slug = model.slug();
    if (slug == QLatin1String("topazlabs/image-upscale"))
        return tieredBilling();
    if (slug == QLatin1String("nightmareai/real-esrgan"))
        return hardware(false, "0.000225", "0.0023");
    if (slug == QLatin1String("orvane/codeformer"))
        return hardware(true, "0.000725", nullptr);
    if (slug == QLatin1String("bria/increase-resolution") ||
        slug == QLatin1String("qwen/qwen-image") ||
        slug == QLatin1String("pixverse/pixverse-v4.5") ||
        model.owner == QLatin1String("sim-parser"))
        return {};
    if (slug == QLatin1String("black-forest-labs/flux-dev"))
        return billing(
            {metric("image_output_count", "output image", "25", "per thousand output images")});
    if (slug == QLatin1String("google/veo-3"))
        return billing({metric("video_output_duration_seconds", "second", "0.75",
                               "per second of output video with audio"),
                        metric("video_output_duration_seconds", "second", "0.50",
                               "per second of output video"),
                        metric("image_output_count", "image", "0.04", "per image")});
    switch (model.kind) {
    case SchemaFactory::Kind::upscale:
        return billing({metric("image_output_pixel_count", "output megapixel", "0.000000025",
                               "per output megapixel")});
    case SchemaFactory::Kind::image:
        return billing({metric("image_output_count", "output image",
                               model.name.contains(QLatin1String("schnell")) ? "0.003" : "0.04",
                               "per output image")});
    case SchemaFactory::Kind::video:
        return billing({metric("video_output_duration_seconds", "second of video", "0.12",
                               "per second of output video")});
    }
    return {};
}

QString escapeHtml(const QString &text)
{
    return text.toHtmlEscaped();
}

} // namespace

bool SimService::handleWebPage(const HttpRequest &request, HttpReply &reply)
{
    if (request.method != "GET" && request.method != "HEAD")
        return false;
    const QStringList parts = request.path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.size() != 2)
        return false;
    const SimModel *model = m_models.find(parts.at(0), parts.at(1));
    if (!model)
        return false;
    const QString description = model->record.value(QStringLiteral("description")).toString();
    const QString pricing = pricingFor(*model);
    const QString html =
        QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>") +
        escapeHtml(model->slug()) + QStringLiteral("</title></head><body>\n<h1>") +
        escapeHtml(model->slug()) + QStringLiteral("</h1>\n<p>") + escapeHtml(description) +
        QStringLiteral("</p>\n<script type=\"application/json\" id=\"model-data\">{\"model\": "
                       "{\"owner\": \"") +
        model->owner + QStringLiteral("\", \"name\": \"") + model->name + QStringLiteral("\"}") +
        (pricing.isEmpty() ? QString() : QStringLiteral(", ") + pricing) +
        QStringLiteral("}</script>\n</body></html>\n");
    reply.send(HttpResponse::bytes(200, "text/html; charset=utf-8", html.toUtf8()));
    return true;
}
