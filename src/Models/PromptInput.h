#pragma once

#include "Models/ModelSchema.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace PromptInput
{

// The input that takes the user's prompt. Candidates are the free-text parameters that are
// neither a negative prompt nor file addresses written as text (a URI or URL format, or a key or
// description that speaks of URLs, files or paths); among them, the first step that finds one
// decides:
//   1. the key "prompt", in any case;
//   2. a key with the word prompt or prompts (text_prompt, clip_prompts, animation_prompts);
//   3. a key with the word text, texts, sentence or caption (text, input_text, sentence);
//   4. the one candidate whose description says prompt or text, when only one does;
//   5. the model's only text input, when it is a candidate and required.
// In steps 2 and 3 a required input goes first, then the smaller order. Anything less certain
// chooses nothing: a wrong guess sends the prompt where the model expects something else.
// `properties` holds each parameter's property as read, by key.
std::optional<QString> keyOf(const QList<SchemaParam> &params,
                             const QHash<QString, QJsonObject> &properties);

} // namespace PromptInput
