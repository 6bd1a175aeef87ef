#include "Models/PromptInput.h"

#include <QRegularExpression>

#include <algorithm>

namespace
{

using Type = SchemaParam::Kind::Type;

// The words of a key: "text_prompt", "clipPrompts" and "input-text" split where a word ends.
QStringList keyWords(const QString &key)
{
    QStringList words;
    QString word;
    for (int i = 0; i < key.size(); ++i) {
        const QChar c = key.at(i);
        const bool boundary = c == QLatin1Char('_') || c == QLatin1Char('-') || c.isSpace();
        if (boundary || (c.isUpper() && i > 0 && key.at(i - 1).isLower())) {
            if (!word.isEmpty())
                words.append(word);
            word.clear();
        }
        if (!boundary)
            word.append(c.toLower());
    }
    if (!word.isEmpty())
        words.append(word);
    return words;
}

bool hasWord(const QStringList &words, std::initializer_list<const char *> wanted)
{
    return std::any_of(wanted.begin(), wanted.end(),
                       [&words](const char *w) { return words.contains(QLatin1String(w)); });
}

QStringList textWords(const QString &text)
{
    static const QRegularExpression nonWord(QStringLiteral("[^a-z0-9]+"));
    return text.toLower().split(nonWord, Qt::SkipEmptyParts);
}

// A text input the prompt may go to: not what to avoid, and not file addresses written as text.
bool takesPromptText(const SchemaParam &param, const QJsonObject &property)
{
    if (param.kind.type != Type::text)
        return false;
    const QStringList key = keyWords(param.key);
    if (hasWord(key, {"negative", "neg", "avoid"}))
        return false;
    if (hasWord(key, {"url", "urls", "uri", "uris", "file", "files", "path", "paths"}))
        return false;
    const QString format = property.value(QLatin1String("format")).toString().toLower();
    if (format.contains(QLatin1String("uri")) || format.contains(QLatin1String("url")))
        return false;
    const QString description = param.help.value_or(QString()).trimmed().toLower();
    if (description.startsWith(QLatin1String("negative")))
        return false;
    return !hasWord(textWords(description), {"url", "urls", "uri", "uris", "link", "links", "file",
                                             "files", "path", "paths"});
}

} // namespace

std::optional<QString> PromptInput::keyOf(const QList<SchemaParam> &params,
                                          const QHash<QString, QJsonObject> &properties)
{
    QList<const SchemaParam *> candidates;
    for (const SchemaParam &param : params) {
        if (takesPromptText(param, properties.value(param.key)))
            candidates.append(&param);
    }
    // `params` is sorted by order, so the first required match, else the first match, wins.
    const auto best = [&candidates](const auto &matches) -> std::optional<QString> {
        const SchemaParam *first = nullptr;
        for (const SchemaParam *param : std::as_const(candidates)) {
            if (!matches(*param))
                continue;
            if (param->required)
                return param->key;
            if (!first)
                first = param;
        }
        return first ? std::optional<QString>(first->key) : std::nullopt;
    };
    const auto only = [&candidates](const auto &matches) -> std::optional<QString> {
        const auto count = std::count_if(candidates.begin(), candidates.end(),
                                         [&matches](const auto *param) { return matches(*param); });
        if (count != 1)
            return std::nullopt;
        return (*std::find_if(candidates.begin(), candidates.end(),
                              [&matches](const auto *param) { return matches(*param); }))
            ->key;
    };

    if (auto key =
            best([](const SchemaParam &p) { return p.key.toLower() == QLatin1String("prompt"); }))
        return key;
    if (auto key = best([](const SchemaParam &p) {
            return hasWord(keyWords(p.key), {"prompt", "prompts"});
        }))
        return key;
    if (auto key = best([](const SchemaParam &p) {
            return hasWord(keyWords(p.key), {"text", "texts", "sentence", "caption"});
        }))
        return key;
    if (auto key = only([](const SchemaParam &p) {
            return hasWord(textWords(p.help.value_or(QString())),
                           {"prompt", "prompts", "text", "texts"});
        }))
        return key;
    const auto texts = std::count_if(params.begin(), params.end(), [](const SchemaParam &p) {
        return p.kind.type == Type::text;
    });
    if (texts == 1 && candidates.size() == 1 && candidates.first()->required)
        return candidates.first()->key;
    return std::nullopt;
}
