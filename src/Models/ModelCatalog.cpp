#include "Models/ModelCatalog.h"

#include <QSet>

namespace ModelCatalog
{

namespace
{

CatalogModel entry(const char16_t *owner, const char16_t *name, const char16_t *title,
                   const char16_t *blurb)
{
    return CatalogModel{QString::fromUtf16(owner), QString::fromUtf16(name),
                        QString::fromUtf16(title), QString::fromUtf16(blurb), false};
}

} // namespace

const QList<CatalogModel> &upscale()
{
    static const QList<CatalogModel> models{
        entry(u"topazlabs", u"image-upscale", u"Topaz Image Upscale",
              u"Professional grade. Best all-round quality, up to 6×."),
        entry(u"tarnwick", u"clarity-pro-upscaler", u"Clarity Pro",
              u"Creative upscaler that keeps identity. Photoreal detail."),
        entry(u"tarnwick", u"crystal-upscaler", u"Crystal",
              u"Tuned for portraits, faces and products."),
        entry(u"google", u"upscaler", u"Google Upscaler",
              u"Fast, clean 2× or 4×. Almost nothing to configure."),
        entry(u"prunaai", u"p-image-upscale", u"Pruna Turbo",
              u"Fastest available — under a second, up to 128 MP."),
        entry(u"recraft-ai", u"recraft-crisp-upscale", u"Recraft Crisp",
              u"Sharpens and cleans while enlarging."),
        entry(u"recraft-ai", u"recraft-creative-upscale", u"Recraft Creative",
              u"Invents texture and detail. Great for illustration."),
        entry(u"bria", u"increase-resolution", u"Bria Resolution",
              u"Faithful enlargement with no regeneration."),
        entry(u"nightmareai", u"real-esrgan", u"Real-ESRGAN",
              u"Cheap and quick. Optional face correction."),
        entry(u"orvane", u"codeformer", u"CodeFormer",
              u"Face restoration for old or AI-generated photos."),
    };
    return models;
}

const QList<CatalogModel> &image()
{
    static const QList<CatalogModel> models{
        entry(u"black-forest-labs", u"flux-1.1-pro", u"Flux 1.1 Pro",
              u"Best all-round quality and prompt adherence."),
        entry(u"google", u"nano-banana", u"Nano Banana",
              u"Editing model. Give it reference images to blend or restyle."),
        entry(u"bytedance", u"seedream-4", u"Seedream 4",
              u"Strong on photoreal scenes and non-Latin text."),
        entry(u"google", u"imagen-4", u"Imagen 4",
              u"Google's flagship. Clean detail, reliable typography."),
        entry(u"black-forest-labs", u"flux-dev", u"Flux Dev",
              u"Open-weight Flux. Slower than Pro, cheaper per image."),
        entry(u"black-forest-labs", u"flux-schnell", u"Flux Schnell",
              u"Fastest and cheapest Flux. Good for drafts."),
        entry(u"recraft-ai", u"recraft-v3", u"Recraft V3",
              u"Vector-flavoured art, logos and design work."),
        entry(u"ideogram-ai", u"ideogram-v3-turbo", u"Ideogram V3 Turbo",
              u"Text in images, posters and layouts."),
        entry(u"qwen", u"qwen-image", u"Qwen Image",
              u"Open model with unusually good text rendering."),
        entry(u"stability-ai", u"stable-diffusion-3.5-large", u"Stable Diffusion 3.5",
              u"Stability's large model. Wide stylistic range."),
    };
    return models;
}

const QList<CatalogModel> &video()
{
    static const QList<CatalogModel> models{
        entry(u"google", u"veo-3", u"Veo 3", u"Google's flagship. Generates its own audio."),
        entry(u"google", u"veo-3-fast", u"Veo 3 Fast",
              u"Same family, quicker and cheaper per clip."),
        entry(u"kwaivgi", u"kling-v2.1-master", u"Kling 2.1 Master",
              u"Premium motion and prompt adherence."),
        entry(u"bytedance", u"seedance-1-pro", u"Seedance 1 Pro",
              u"Cinematic camera moves and steady subjects."),
        entry(u"bytedance", u"seedance-1-lite", u"Seedance 1 Lite",
              u"The cheap Seedance. Good for trying a prompt out."),
        entry(u"minimax", u"hailuo-02", u"Hailuo 02",
              u"Lively physical motion and character work."),
        entry(u"wan-video", u"wan-2.5-t2v", u"Wan 2.5", u"Alibaba's latest text-to-video."),
        entry(u"wan-video", u"wan-2.2-t2v-fast", u"Wan 2.2 Fast",
              u"Quick, low-cost Wan. Good for iterating."),
        entry(u"luma", u"ray-2-720p", u"Luma Ray 2", u"Smooth, naturalistic movement at 720p."),
        entry(u"pixverse", u"pixverse-v4.5", u"PixVerse 4.5", u"Stylised and anime-leaning clips."),
    };
    return models;
}

const QList<CatalogModel> &builtIn(Mode mode)
{
    switch (mode) {
    case Mode::upscale:
        return upscale();
    case Mode::image:
        return image();
    case Mode::video:
        return video();
    }
    Q_UNREACHABLE();
    return upscale();
}

std::optional<CatalogModel> find(const QList<CatalogModel> &models, const QString &slug)
{
    for (const CatalogModel &model : models) {
        if (model.slug() == slug)
            return model;
    }
    return std::nullopt;
}

QList<CatalogModel> dedup(const QList<CatalogModel> &models)
{
    QList<CatalogModel> unique;
    QSet<QString> seen;
    for (const CatalogModel &model : models) {
        if (seen.contains(model.slug()))
            continue;
        seen.insert(model.slug());
        unique.append(model);
    }
    return unique;
}

QString collectionSlug(Mode mode)
{
    switch (mode) {
    case Mode::upscale:
        return QStringLiteral("super-resolution");
    case Mode::image:
        return QStringLiteral("text-to-image");
    case Mode::video:
        return QStringLiteral("text-to-video");
    }
    return {};
}

} // namespace ModelCatalog
