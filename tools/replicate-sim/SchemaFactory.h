#pragma once

#include <QJsonObject>
#include <QString>

// Input and output schemas for models that have no fixture file, shaped like what such a model
// really takes: an upscaler wants an image and a scale, an image model a prompt, aspect ratio and
// output count, a video model a prompt, duration, resolution and an optional first frame.
namespace SchemaFactory
{

enum class Kind { upscale, image, video };

// How the model hands back its result.
enum class OutputShape { single, list, object };

QJsonObject components(Kind kind, const QString &name, OutputShape shape);
OutputShape shapeFor(Kind kind, const QString &name);

} // namespace SchemaFactory
