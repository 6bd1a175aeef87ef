#include "SchemaFactory.h"

#include <QJsonArray>

namespace SchemaFactory
{

namespace
{

QJsonObject prop(const char *type, int order, const QString &description)
{
    return QJsonObject{{QStringLiteral("type"), QLatin1String(type)},
                       {QStringLiteral("x-order"), order},
                       {QStringLiteral("description"), description}};
}

QJsonObject uri(int order, const QString &description)
{
    QJsonObject object = prop("string", order, description);
    object.insert(QStringLiteral("format"), QStringLiteral("uri"));
    return object;
}

QJsonObject withDefault(QJsonObject object, const QJsonValue &value)
{
    object.insert(QStringLiteral("default"), value);
    return object;
}

QJsonObject ranged(QJsonObject object, double minimum, double maximum)
{
    object.insert(QStringLiteral("minimum"), minimum);
    object.insert(QStringLiteral("maximum"), maximum);
    return object;
}

QJsonObject reference(const QString &schema, int order, const QJsonValue &fallback,
                      const QString &description)
{
    return QJsonObject{
        {QStringLiteral("allOf"),
         QJsonArray{QJsonObject{
             {QStringLiteral("$ref"), QString(QStringLiteral("#/components/schemas/") + schema)}}}},
        {QStringLiteral("default"), fallback},
        {QStringLiteral("x-order"), order},
        {QStringLiteral("description"), description}};
}

QJsonObject enumeration(const QString &title, const QStringList &cases)
{
    return QJsonObject{{QStringLiteral("type"), QStringLiteral("string")},
                       {QStringLiteral("title"), title},
                       {QStringLiteral("enum"), QJsonArray::fromStringList(cases)},
                       {QStringLiteral("description"), QStringLiteral("An enumeration.")}};
}

QJsonObject output(OutputShape shape)
{
    const QJsonObject url{{QStringLiteral("type"), QStringLiteral("string")},
                          {QStringLiteral("format"), QStringLiteral("uri")}};
    switch (shape) {
    case OutputShape::single:
        return QJsonObject{{QStringLiteral("type"), QStringLiteral("string")},
                           {QStringLiteral("format"), QStringLiteral("uri")},
                           {QStringLiteral("title"), QStringLiteral("Output")}};
    case OutputShape::list:
        return QJsonObject{{QStringLiteral("type"), QStringLiteral("array")},
                           {QStringLiteral("items"), url},
                           {QStringLiteral("title"), QStringLiteral("Output")}};
    case OutputShape::object:
        return QJsonObject{
            {QStringLiteral("type"), QStringLiteral("object")},
            {QStringLiteral("title"), QStringLiteral("Output")},
            {QStringLiteral("properties"), QJsonObject{{QStringLiteral("url"), url}}}};
    }
    return {};
}

QJsonObject input(const QJsonObject &properties, const QStringList &required)
{
    return QJsonObject{{QStringLiteral("type"), QStringLiteral("object")},
                       {QStringLiteral("title"), QStringLiteral("Input")},
                       {QStringLiteral("required"), QJsonArray::fromStringList(required)},
                       {QStringLiteral("properties"), properties}};
}

} // namespace

OutputShape shapeFor(Kind kind, const QString &name)
{
    switch (kind) {
    case Kind::upscale:
        return name.contains(QLatin1String("recraft")) ? OutputShape::object : OutputShape::single;
    case Kind::image:
        if (name.startsWith(QLatin1String("flux")) || name.contains(QLatin1String("seedream")) ||
            name.contains(QLatin1String("qwen")))
            return OutputShape::list;
        return name.contains(QLatin1String("recraft")) ? OutputShape::object : OutputShape::single;
    case Kind::video:
        return name.contains(QLatin1String("luma")) || name.contains(QLatin1String("ray"))
                   ? OutputShape::object
                   : OutputShape::single;
    }
    return OutputShape::single;
}

QJsonObject components(Kind kind, const QString &name, OutputShape shape)
{
    QJsonObject schemas{{QStringLiteral("Output"), output(shape)}};
    QJsonObject properties;
    QStringList required;
    switch (kind) {
    case Kind::upscale:
        properties.insert(QStringLiteral("image"), uri(0, QStringLiteral("Image to enlarge")));
        properties.insert(
            QStringLiteral("scale"),
            withDefault(ranged(prop("number", 1, QStringLiteral("Factor to scale image by")), 1,
                               name.contains(QLatin1String("topaz")) ? 6 : 4),
                        2));
        if (!name.contains(QLatin1String("google")) && !name.contains(QLatin1String("upscaler")))
            properties.insert(
                QStringLiteral("face_enhance"),
                withDefault(prop("boolean", 2, QStringLiteral("Enhance faces as well")), false));
        required = {QStringLiteral("image")};
        break;
    case Kind::image: {
        const QStringList ratios{QStringLiteral("1:1"),  QStringLiteral("16:9"),
                                 QStringLiteral("9:16"), QStringLiteral("4:3"),
                                 QStringLiteral("3:4"),  QStringLiteral("3:2"),
                                 QStringLiteral("2:3")};
        schemas.insert(QStringLiteral("aspect_ratio"),
                       enumeration(QStringLiteral("aspect_ratio"), ratios));
        schemas.insert(
            QStringLiteral("output_format"),
            enumeration(QStringLiteral("output_format"),
                        {QStringLiteral("webp"), QStringLiteral("jpg"), QStringLiteral("png")}));
        properties.insert(QStringLiteral("prompt"),
                          prop("string", 0, QStringLiteral("Text prompt for image generation")));
        properties.insert(QStringLiteral("aspect_ratio"),
                          reference(QStringLiteral("aspect_ratio"), 1, QStringLiteral("1:1"),
                                    QStringLiteral("Aspect ratio for the generated image")));
        if (shape == OutputShape::list)
            properties.insert(
                QStringLiteral("num_outputs"),
                withDefault(ranged(prop("integer", 2, QStringLiteral("Number of outputs")), 1, 4),
                            1));
        properties.insert(QStringLiteral("output_format"),
                          reference(QStringLiteral("output_format"), 3, QStringLiteral("png"),
                                    QStringLiteral("Format of the output images")));
        properties.insert(QStringLiteral("seed"),
                          prop("integer", 4, QStringLiteral("Random seed for reproducibility")));
        if (name.contains(QLatin1String("banana")) || name.contains(QLatin1String("seedream")))
            properties.insert(
                QStringLiteral("image_input"),
                withDefault(
                    QJsonObject{{QStringLiteral("type"), QStringLiteral("array")},
                                {QStringLiteral("items"),
                                 QJsonObject{{QStringLiteral("type"), QStringLiteral("string")},
                                             {QStringLiteral("format"), QStringLiteral("uri")}}},
                                {QStringLiteral("x-order"), 5},
                                {QStringLiteral("description"),
                                 QStringLiteral("Reference images to blend or restyle")}},
                    QJsonArray{}));
        required = {QStringLiteral("prompt")};
        break;
    }
    case Kind::video:
        schemas.insert(
            QStringLiteral("resolution"),
            enumeration(QStringLiteral("resolution"),
                        {QStringLiteral("480p"), QStringLiteral("720p"), QStringLiteral("1080p")}));
        properties.insert(QStringLiteral("prompt"),
                          prop("string", 0, QStringLiteral("Text prompt for video generation")));
        properties.insert(
            QStringLiteral("duration"),
            withDefault(
                ranged(prop("integer", 1, QStringLiteral("Video length in seconds")), 2, 10), 5));
        properties.insert(QStringLiteral("resolution"),
                          reference(QStringLiteral("resolution"), 2, QStringLiteral("720p"),
                                    QStringLiteral("Output resolution")));
        properties.insert(QStringLiteral("image"),
                          uri(3, QStringLiteral("First frame to start the video from")));
        properties.insert(QStringLiteral("seed"),
                          prop("integer", 4, QStringLiteral("Random seed")));
        required = {QStringLiteral("prompt")};
        break;
    }
    schemas.insert(QStringLiteral("Input"), input(properties, required));
    return schemas;
}

} // namespace SchemaFactory
