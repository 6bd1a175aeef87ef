#include "Views/Inspector/InspectorText.h"

#include "Models/ModelCatalog.h"

#include <QSet>

#include <cmath>

namespace InspectorText
{

QString runTitle(std::optional<Mode> mode, int pendingPairs)
{
    const Mode current = mode.value_or(Mode::upscale);
    const QString verb =
        current == Mode::upscale ? QStringLiteral("Upscale") : QStringLiteral("Generate");
    if (pendingPairs == 0)
        return verb;
    QString noun = current == Mode::video ? QStringLiteral("Video") : QStringLiteral("Image");
    if (pendingPairs != 1)
        noun += QLatin1Char('s');
    return verb + QLatin1Char(' ') + QString::number(pendingPairs) + QLatin1Char(' ') + noun;
}

QString summary(const QList<CatalogModel> &selected)
{
    if (selected.isEmpty())
        return QStringLiteral("Choose a model");
    if (selected.size() == 1)
        return selected.constFirst().title;
    return selected.constFirst().title + QStringLiteral(" +") +
           QString::number(selected.size() - 1);
}

QString sourceNoun(Mode mode)
{
    return mode == Mode::upscale ? QStringLiteral("image") : QStringLiteral("prompt");
}

QString suffixPlaceholder(Mode mode)
{
    return mode == Mode::upscale ? QStringLiteral("-upscaled") : QStringLiteral("optional");
}

QString scaleToken(int selectedCount, std::optional<double> scale)
{
    if (selectedCount != 1 || !scale || !std::isfinite(*scale))
        return QStringLiteral("up");
    if (*scale != std::trunc(*scale))
        return QString::asprintf("%.1f", *scale);
    return QString::number(static_cast<qint64>(*scale));
}

QString filenamePreview(Mode mode, OutputKind output, const QString &suffix,
                        const QString &scaleToken, const QString &focusedName, int selectedCount)
{
    QString text = suffix;
    text.replace(QStringLiteral("{scale}"), scaleToken);
    text.replace(QStringLiteral("{model}"), focusedName);
    if (selectedCount >= 2 && !text.contains(focusedName))
        text += QLatin1Char('-') + focusedName;
    const QString stem =
        mode == Mode::upscale ? QStringLiteral("photo") : QStringLiteral("your-prompt");
    const bool video =
        output == OutputKind::video || (output == OutputKind::unknown && mode == Mode::video);
    const QString extension = video ? QStringLiteral("mp4") : QStringLiteral("png");
    return stem + text + QLatin1Char('.') + extension;
}

QString folderPrompt(Mode mode)
{
    return QStringLiteral("Where should ") + Modes::title(mode).toLower() +
           QStringLiteral(" results be saved?");
}

QList<CatalogModel> results(const QList<CatalogModel> &models, const QList<CatalogModel> &remote,
                            const QList<CatalogModel> &selected, const QStringList &selectedSlugs,
                            const QString &query)
{
    const QList<CatalogModel> base = ModelCatalog::dedup(models + remote);
    const QString q = query.trimmed().toLower();
    QList<CatalogModel> list;
    if (q.isEmpty()) {
        const QSet<QString> chosen(selectedSlugs.begin(), selectedSlugs.end());
        list = selected;
        for (const CatalogModel &model : base) {
            if (!chosen.contains(model.slug()))
                list.append(model);
        }
        return list;
    }
    for (const CatalogModel &model : base) {
        if (model.slug().contains(q, Qt::CaseInsensitive) ||
            model.title.contains(q, Qt::CaseInsensitive) ||
            model.blurb.contains(q, Qt::CaseInsensitive))
            list.append(model);
    }
    return list;
}

std::optional<CatalogModel> pastedModel(const QString &query, const QList<CatalogModel> &results)
{
    const std::optional<CatalogModel> model =
        CatalogModel::fromSlug(query.trimmed(), std::nullopt, QStringLiteral("Custom model"), true);
    if (!model)
        return std::nullopt;
    const QString slug = model->slug();
    for (const CatalogModel &listed : results) {
        if (listed.slug() == slug)
            return std::nullopt;
    }
    return model;
}

QString shortHelp(const QString &text)
{
    const QStringList pieces = text.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    const QString first = pieces.isEmpty() ? QString() : pieces.constFirst();
    if (first.size() <= 46)
        return first;
    return first.left(46) + QChar(0x2026);
}

} // namespace InspectorText
