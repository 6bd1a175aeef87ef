#include "Models/ModelSchema.h"
#include "SchemaRecords.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

using namespace Qt::StringLiterals;

using Type = SchemaParam::Kind::Type;
using SchemaRecords::record;

namespace
{

QJsonObject json(const QByteArray &text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        qFatal("bad test JSON: %s", qPrintable(error.errorString()));
    return document.object();
}

// Properties of one JSON type from "name:order name:order", e.g. "mask:0 image:5".
QByteArray properties(const char *type, const char *spec)
{
    QStringList entries;
    for (const QString &entry : QString::fromLatin1(spec).split(QLatin1Char(' '))) {
        const QStringList parts = entry.split(QLatin1Char(':'));
        entries.append(
            u"\"%1\":{%2,\"x-order\":%3}"_s.arg(parts.at(0), QLatin1String(type), parts.at(1)));
    }
    return "{" + entries.join(QLatin1Char(',')).toUtf8() + "}";
}

ModelSchema fixture(const QString &name)
{
    QFile file(QStringLiteral(MOONFORGE_FIXTURES_DIR "/models/") + name + u".json"_s);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(name));
    return ModelSchema::parse(QJsonDocument::fromJson(file.readAll()).object());
}

QStringList keysOf(const QList<SchemaParam> &params)
{
    QStringList keys;
    for (const SchemaParam &param : params)
        keys.append(param.key);
    return keys;
}

const SchemaParam *find(const ModelSchema &schema, const QString &key)
{
    for (const SchemaParam &param : schema.params) {
        if (param.key == key)
            return &param;
    }
    return nullptr;
}

} // namespace

class ModelSchemaTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void realRecords_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("imageKey");
        QTest::addColumn<QString>("promptKey");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("versionPrefix");
        QTest::addColumn<OutputKind>("output");
        const auto row = [](const char *name, const char *image, const char *prompt,
                            QStringList keys, const char *version, OutputKind output) {
            QTest::newRow(name) << QString(name) << QString(image) << QString(prompt) << keys
                                << QString(version) << output;
        };
        // Their output schemas are a bare URI: the published example tells the kind.
        row("nightmareai_real-esrgan", "image", "", {"scale", "face_enhance"}, "f121d640",
            OutputKind::image);
        row("black-forest-labs_flux-schnell", "", "prompt",
            {"prompt", "aspect_ratio", "num_outputs", "num_inference_steps", "seed",
             "output_format", "output_quality", "disable_safety_checker", "go_fast", "megapixels"},
            "53d5d158", OutputKind::image);
        row("minimax_video-01", "first_frame_image", "prompt", {"prompt", "prompt_optimizer"},
            "6be8dfbb", OutputKind::video);
    }
    void realRecords()
    {
        QFETCH(QString, name);
        QFETCH(QString, imageKey);
        QFETCH(QString, promptKey);
        QFETCH(QStringList, keys);
        QFETCH(QString, versionPrefix);
        QFETCH(OutputKind, output);

        const ModelSchema schema = fixture(name);
        QCOMPARE(schema.outputKind, output);
        QCOMPARE(schema.imageKey.value_or(QString()), imageKey);
        QCOMPARE(schema.promptKey.value_or(QString()), promptKey);
        QCOMPARE(keysOf(schema.params), keys);
        QVERIFY(schema.versionID.value_or(QString()).startsWith(versionPrefix));
        QVERIFY(!schema.isOfficial);
    }
    void missingSchema_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::newRow("empty") << QByteArray("{}");
        QTest::newRow("null version") << QByteArray("{\"latest_version\":null}");
        QTest::newRow("no components")
            << QByteArray("{\"latest_version\":{\"id\":\"x\",\"openapi_schema\":{}}}");
        QTest::newRow("properties not an object")
            << QByteArray("{\"latest_version\":{\"openapi_schema\":{\"components\":{\"schemas\":"
                          "{\"Input\":{\"properties\":[]}}}}}}");
    }
    void missingSchema()
    {
        QFETCH(QByteArray, document);
        try {
            ModelSchema::parse(json(document));
            QFAIL("parse accepted a record without input properties");
        } catch (const SchemaParseError &error) {
            QCOMPARE(error.kind(), SchemaParseError::Kind::missingSchema);
            QCOMPARE(error.message(), u"This model didn't publish an input schema."_s);
        }
    }
    void kinds_data()
    {
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("flag"); // multiline for text, numeric for choice
        QTest::addColumn<QStringList>("options");

        const auto row = [](const char *name, const char *property, bool kept, Type type, bool flag,
                            QStringList options = {}) {
            QTest::newRow(name) << QByteArray(property) << kept << static_cast<int>(type) << flag
                                << options;
        };
        // A choice is numeric only when its type says so, or its values are JSON numbers.
        row("enum before boolean", R"({"type":"boolean","enum":[true,false]})", true, Type::choice,
            false, {"true", "false"});
        row("numeric string enum", R"({"type":"string","enum":["1024","2048"]})", true,
            Type::choice, false, {"1024", "2048"});
        row("number enum without type", R"({"enum":[1,0.25]})", true, Type::choice, true,
            {"1", "0.25"});
        row("mixed enum", R"({"type":"string","enum":["1024","big"]})", true, Type::choice, false,
            {"1024", "big"});
        row("integer enum", R"({"type":"integer","enum":[1,2,4]})", true, Type::choice, true,
            {"1", "2", "4"});
        row("enum without type", R"({"enum":["a",null,{"x":1}]})", true, Type::choice, false,
            {"a"});
        row("empty enum falls through", R"({"type":"boolean","enum":[]})", true, Type::toggle,
            false);
        row("no type", R"({"title":"Thing"})", false, Type::text, false);
        row("boolean", R"({"type":"boolean"})", true, Type::toggle, false);
        row("integer", R"({"type":"integer","minimum":1,"maximum":"x"})", true, Type::integer,
            false);
        row("number", R"({"type":"number"})", true, Type::number, false);
        row("uri", R"({"type":"string","format":"uri"})", false, Type::uri, false);
        row("plain text", R"({"type":"string","description":"Seed words"})", true, Type::text,
            false);
        row("prompt in description",
            R"({"type":"string","description":"What the PROMPT should avoid"})", true, Type::text,
            true);
        row("array of uris", R"({"type":"array","items":{"type":"string","format":"uri"}})", false,
            Type::uri, false);
        row("array of strings", R"({"type":"array","items":{"type":"string"}})", false, Type::text,
            false);
        row("object", R"({"type":"object"})", false, Type::text, false);
    }
    void kinds()
    {
        QFETCH(QByteArray, property);
        QFETCH(bool, kept);
        QFETCH(int, type);
        QFETCH(bool, flag);
        QFETCH(QStringList, options);

        const ModelSchema schema = ModelSchema::parse(record("{\"thing\":" + property + "}"));
        const SchemaParam *param = find(schema, u"thing"_s);
        QCOMPARE(param != nullptr, kept);
        if (!param)
            return;
        QCOMPARE(static_cast<int>(param->kind.type), type);
        if (param->kind.type == Type::choice) {
            QCOMPARE(param->kind.numeric, flag);
            QCOMPARE(param->kind.options, options);
        }
        if (param->kind.type == Type::text)
            QCOMPARE(param->kind.multiline, flag);
        if (param->kind.type == Type::integer) {
            QCOMPARE(param->kind.min, std::optional<double>(1.0));
            QVERIFY(!param->kind.max);
        }
    }
    void defaults_data()
    {
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<std::optional<ParamValue>>("expected");
        const auto row = [](const char *name, const char *property,
                            std::optional<ParamValue> value) {
            QTest::newRow(name) << QByteArray(property) << value;
        };
        row("null", R"({"type":"integer","default":null})", {});
        row("integer from string", R"({"type":"integer","default":"8"})", ParamValue::integer(8));
        row("integer truncated", R"({"type":"integer","default":-2.7})", ParamValue::integer(-2));
        row("integer exact past doubles", R"({"type":"integer","default":9007199254740993})",
            ParamValue::integer(9007199254740993LL));
        row("integer beyond 64 bits", R"({"type":"integer","default":123456789012345678901234})",
            {});
        row("integer unreadable", R"({"type":"integer","default":"eight"})", {});
        row("number", R"({"type":"number","default":4})", ParamValue::number(4));
        row("toggle from string", R"({"type":"boolean","default":"true"})",
            ParamValue::boolean(true));
        row("toggle from zero", R"({"type":"boolean","default":0})", ParamValue::boolean(false));
        row("text from number", R"({"type":"string","default":2.5})", ParamValue::string("2.5"));
        row("choice from integer", R"({"type":"integer","enum":[2,4],"default":4})",
            ParamValue::string("4"));
        row("text from object", R"({"type":"string","default":{}})", {});
    }
    void defaults()
    {
        QFETCH(QByteArray, property);
        QFETCH(std::optional<ParamValue>, expected);
        const ModelSchema schema = ModelSchema::parse(record("{\"thing\":" + property + "}"));
        QVERIFY(find(schema, u"thing"_s));
        QCOMPARE(find(schema, u"thing"_s)->defaultValue, expected);
    }
    void allOfOwnKeysWin()
    {
        const ModelSchema schema = ModelSchema::parse(record(
            R"({"size":{"allOf":[{"$ref":"#/components/schemas/size"},{"$ref":"#/nowhere/gone"}],
                    "default":"2048","x-order":1},
            "style":{"allOf":[{"$ref":"#/components/schemas/style"}]}})",
            "[]",
            R"({"size":{"type":"string","enum":["1024","2048"],"default":"1024","title":"size"},
            "style":{"type":"string","enum":["a","b"],"default":"b"}})"));
        const SchemaParam *size = find(schema, u"size"_s);
        QVERIFY(size);
        QCOMPARE(size->kind.type, Type::choice);
        QVERIFY(!size->kind.numeric);
        QCOMPARE(size->defaultValue, std::optional(ParamValue::string(u"2048"_s)));
        QCOMPARE(size->title, u"Size"_s);
        QCOMPARE(size->order, qint64(1));
        // Declared a string, so it goes out as one: the service checks the type.
        QCOMPARE(size->encode(ParamValue::string(u"1024"_s)), QJsonValue(u"1024"_s));
        const SchemaParam *style = find(schema, u"style"_s);
        QVERIFY(style);
        QCOMPARE(style->defaultValue, std::optional(ParamValue::string(u"b"_s)));
    }
    void imageKey_data()
    {
        QTest::addColumn<QByteArray>("properties");
        QTest::addColumn<QByteArray>("required");
        QTest::addColumn<QString>("imageKey");
        QTest::addColumn<bool>("isArray");
        QTest::addColumn<bool>("isRequired");

        const auto row = [](const char *name, const QByteArray &properties, const char *required,
                            const char *key, bool isArray, bool isRequired) {
            QTest::newRow(name) << properties << QByteArray(required) << QString(key) << isArray
                                << isRequired;
        };
        const char *uri = R"("type":"string","format":"uri")";
        row("preferred name", properties(uri, "mask:0 image:5"), R"(["image"])", "image", false,
            true);
        row("smallest order", properties(uri, "init_picture:3 ref_picture:1"), "[]", "ref_picture",
            false, false);
        row("preference order beats order", properties(uri, "input:0 img:9"), "[]", "img", false,
            false);
        row("exact case only", properties(uri, "Image:4 photo:2"), "[]", "photo", false, false);
        row("array", R"({"input_images":{"type":"array","items":{"format":"uri"}}})",
            R"(["input_images"])", "input_images", true, true);
        row("none", R"({"prompt":{"type":"string"}})", "[]", "", false, false);
    }
    void imageKey()
    {
        QFETCH(QByteArray, properties);
        QFETCH(QByteArray, required);
        QFETCH(QString, imageKey);
        QFETCH(bool, isArray);
        QFETCH(bool, isRequired);
        const ModelSchema schema = ModelSchema::parse(record(properties, required));
        QCOMPARE(schema.imageKey.value_or(QString()), imageKey);
        QCOMPARE(schema.imageIsArray, isArray);
        QCOMPARE(schema.imageIsRequired, isRequired);
        for (const SchemaParam &param : schema.params)
            QVERIFY(param.kind.type != Type::uri);
    }
    void promptKey_data()
    {
        QTest::addColumn<QByteArray>("properties");
        QTest::addColumn<QByteArray>("required");
        QTest::addColumn<QString>("promptKey");

        const auto row = [](const char *name, const QByteArray &properties, const char *required,
                            const char *key) {
            QTest::newRow(name) << properties << QByteArray(required) << QString(key);
        };
        const char *text = R"("type":"string")";
        // Shapes of published models, each with a default and not required unless said.
        const auto optional = [](const char *key, const char *description,
                                 int order) -> QByteArray {
            const QJsonObject property{{"type", "string"},
                                       {"default", "a"},
                                       {"x-order", order},
                                       {"description", description}};
            return "\"" + QByteArray(key) +
                   "\":" + QJsonDocument(property).toJson(QJsonDocument::Compact);
        };
        const auto props = [](std::initializer_list<QByteArray> entries) -> QByteArray {
            QByteArrayList list(entries);
            return "{" + list.join(',') + "}";
        };
        row("named prompt in any case", properties(text, "Prompt:2 caption:1"), R"(["caption"])",
            "Prompt");
        row("prompt before a required caption", properties(text, "caption:0 prompt:1"),
            R"(["caption"])", "prompt");
        row("text", props({optional("text", "Text to draw", 0)}), "[]", "text");
        row("sentence", props({optional("sentence", "Input sentence", 0)}), "[]", "sentence");
        row("prompts", props({optional("prompts", "One per line", 0)}), "[]", "prompts");
        row("text_prompt beside style",
            props({optional("style", "Style name", 0), optional("text_prompt", "What to draw", 1)}),
            "[]", "text_prompt");
        row("clip_prompts and latent_prompt", // several: the smaller order
            props({optional("latent_prompt", "For the diffusion", 2),
                   optional("clip_prompts", "For guidance", 1)}),
            "[]", "clip_prompts");
        row("animation_prompts before a required caption",
            props({optional("caption", "Shown below", 0),
                   optional("animation_prompts", "frame: prompt | frame: prompt", 1)}),
            R"(["caption"])", "animation_prompts");
        row("a required match goes first",
            props({optional("clip_prompts", "For guidance", 0),
                   optional("latent_prompt", "For the diffusion", 1)}),
            R"(["latent_prompt"])", "latent_prompt");
        row("description says prompt", props({optional("input", "The text prompt", 0)}), "[]",
            "input");
        row("two descriptions say text",
            props({optional("title", "Text on top", 0), optional("body", "Text below", 1)}), "[]",
            "");
        row("never a negative prompt", properties(text, "negative_prompt:1 style:2"),
            R"(["negative_prompt","style"])", "");
        row("negative by description",
            props({optional("extra", "Negative prompt", 0), optional("caption", "Caption", 1)}),
            "[]", "caption");
        row("first required text", properties(text, "negative_prompt:1 text:2"), R"(["text"])",
            "text");
        row("the one required text", properties(text, "style:1"), R"(["style"])", "style");
        row("one optional text is no certainty", properties(text, "style:1"), "[]", "");
        row("never a list of URLs",
            props({optional("prompts", "Newline-separated list of image URLs", 0),
                   optional("style", "Style", 1)}),
            "[]", "");
        row("never a list of files", props({optional("text", "Paths of the input files", 0)}), "[]",
            "");
        row("never a URL format",
            R"({"text_prompt":{"type":"string","format":"url"},"caption":{"type":"string"}})", "[]",
            "caption");
        row("never a file key", properties(text, "prompt_file:0"), R"(["prompt_file"])", "");
        row("prompt must be text", R"({"prompt":{"type":"string","enum":["a","b"]}})",
            R"(["prompt"])", "");
        row("never a number", R"({"prompt_strength":{"type":"number"}})", "[]", "");
    }
    void promptKey()
    {
        QFETCH(QByteArray, properties);
        QFETCH(QByteArray, required);
        QFETCH(QString, promptKey);
        const ModelSchema schema = ModelSchema::parse(record(properties, required));
        QCOMPARE(schema.promptKey.value_or(QString()), promptKey);
        if (const SchemaParam *negative = find(schema, u"negative_prompt"_s))
            QVERIFY(negative->kind.multiline);
        // A prompt job on a model with text but no clear prompt hears which text it takes.
        const auto refusal = schema.refusal(true);
        QCOMPARE(refusal.has_value(), promptKey.isEmpty());
        if (refusal && !schema.textKeys().isEmpty())
            QVERIFY(refusal->message().contains(schema.textKeys().first()));
    }
    void secondFile_data()
    {
        QTest::addColumn<QByteArray>("properties");
        QTest::addColumn<QByteArray>("required");
        QTest::addColumn<QString>("imageKey");
        QTest::addColumn<QString>("secondFileKey");

        const char *uri = R"("type":"string","format":"uri")";
        QTest::newRow("inpainting")
            << properties(uri, "image:0 mask:1") << QByteArray(R"(["image","mask"])") << "image"
            << "mask";
        QTest::newRow("face swap") << properties(uri, "target_image:1 swap_image:0")
                                   << QByteArray(R"(["swap_image","target_image"])") << "swap_image"
                                   << "target_image";
        QTest::newRow("optional mask ignored")
            << properties(uri, "image:0 mask:1") << QByteArray(R"(["image"])") << "image"
            << "";
        QTest::newRow("one file") << properties(uri, "image:0") << QByteArray(R"(["image"])")
                                  << "image"
                                  << "";
    }
    void secondFile()
    {
        QFETCH(QByteArray, properties);
        QFETCH(QByteArray, required);
        QFETCH(QString, imageKey);
        QFETCH(QString, secondFileKey);
        const ModelSchema schema = ModelSchema::parse(record(properties, required));
        QCOMPARE(schema.imageKey.value_or(QString()), imageKey);
        QCOMPARE(schema.secondFileKey.value_or(QString()), secondFileKey);
        const auto refusal = schema.refusal(false);
        QCOMPARE(refusal.has_value(), !secondFileKey.isEmpty());
        if (refusal)
            QCOMPARE(refusal->message(), "This model needs a second image (" + secondFileKey +
                                             "), which Moonforge can't send yet.");
    }
    void outputKind_data()
    {
        QTest::addColumn<QByteArray>("schemas");
        QTest::addColumn<QByteArray>("example");
        QTest::addColumn<OutputKind>("kind");

        const QByteArray uriOutput = R"({"Output":{"type":"string","format":"uri"}})";
        const QByteArray none = "null";
        QTest::newRow("absent") << QByteArray("{}") << none << OutputKind::unknown;
        QTest::newRow("uri array without words")
            << QByteArray(R"({"Output":{"type":"array","items":{"type":"string","format":"uri"}}})")
            << none << OutputKind::unknown;
        QTest::newRow("image word")
            << QByteArray(R"({"Output":{"title":"Output PNG"}})") << none << OutputKind::image;
        QTest::newRow("video wins") << QByteArray(R"({"Output":{"title":"image","x":"clip.MOV"}})")
                                    << none << OutputKind::video;
        QTest::newRow("word in a key")
            << QByteArray(R"({"Output":{"webm":true}})") << none << OutputKind::video;
        QTest::newRow("example video")
            << uriOutput << QByteArray("{\"output\":\"https://d.example/out.mp4\"}")
            << OutputKind::video;
        QTest::newRow("example webm with query")
            << uriOutput << QByteArray("{\"output\":[\"https://d.example/a.WEBM?sig=1\"]}")
            << OutputKind::video;
        QTest::newRow("example images")
            << uriOutput
            << QByteArray("{\"output\":[\"https://d.example/0.png\",\"https://d.example/1.jpg\"]}")
            << OutputKind::image;
        QTest::newRow("example nested webp")
            << QByteArray("{}") << QByteArray("{\"output\":{\"images\":[\"https://d/x.webp\"]}}")
            << OutputKind::image;
        QTest::newRow("schema before example")
            << QByteArray(R"({"Output":{"title":"Output PNG"}})")
            << QByteArray("{\"output\":\"https://d.example/out.mp4\"}") << OutputKind::image;
        QTest::newRow("example says nothing")
            << uriOutput << QByteArray(R"({"output":"a cat on a mat"})") << OutputKind::unknown;
    }
    void outputKind()
    {
        QFETCH(QByteArray, schemas);
        QFETCH(QByteArray, example);
        QFETCH(OutputKind, kind);
        QJsonObject model = record("{}", "[]", schemas);
        if (example != "null")
            model.insert(u"default_example"_s, json(example));
        QCOMPARE(ModelSchema::parse(model).outputKind, kind);
    }
    void order_data()
    {
        QTest::addColumn<QByteArray>("order");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("integer") << QByteArray("3") << qint64(3);
        QTest::newRow("fraction") << QByteArray("2.5") << qint64(999);
        QTest::newRow("string") << QByteArray("\"3\"") << qint64(999);
        QTest::newRow("negative") << QByteArray("-4") << qint64(-4);
        QTest::newRow("huge") << QByteArray("1e30") << qint64(999);
    }
    void order()
    {
        QFETCH(QByteArray, order);
        QFETCH(qint64, expected);
        const ModelSchema schema = ModelSchema::parse(
            record(R"({"a":{"type":"number","x-order":)" + order + R"(},"b":{"type":"number"}})"));
        QVERIFY(find(schema, u"a"_s));
        QCOMPARE(find(schema, u"a"_s)->order, expected);
    }
    void humanized_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *text, const char *expected) {
            QTest::newRow(text) << QString(text) << QString(expected);
        };
        for (const char *same : {"aspectRatio", "Output Format", "", "seed value"})
            row(same, same); // camel case, titles, spaced lower case and nothing stay as they are
        row("num_outputs", "Num Outputs");
        row("guidance", "Guidance");
        row("CFG_scale", "Cfg Scale");
    }
    void humanized()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(ModelSchema::humanized(text), expected);
    }
    void conversions_data()
    {
        QTest::addColumn<QByteArray>("value"); // a JSON array holding the one value, or [] for none
        QTest::addColumn<std::optional<double>>("asDouble");
        QTest::addColumn<std::optional<bool>>("asBool");
        QTest::addColumn<std::optional<QString>>("asString");

        using D = std::optional<double>;
        using B = std::optional<bool>;
        using S = std::optional<QString>;
        QTest::newRow("none") << QByteArray("[]") << D() << B() << S();
        QTest::newRow("integer") << QByteArray("[3]") << D(3) << B(true) << S(u"3"_s);
        QTest::newRow("fraction") << QByteArray("[0.1]") << D(0.1) << B(true) << S(u"0.1"_s);
        QTest::newRow("zero") << QByteArray("[0]") << D(0) << B(false) << S(u"0"_s);
        QTest::newRow("true") << QByteArray("[true]") << D(1) << B(true) << S(u"true"_s);
        QTest::newRow("decimal text")
            << QByteArray("[\"-1.5e2\"]") << D(-150) << B(true) << S(u"-1.5e2"_s);
        QTest::newRow("padded text") << QByteArray("[\" 2\"]") << D() << B(false) << S(u" 2"_s);
        QTest::newRow("word true") << QByteArray("[\"true\"]") << D() << B(true) << S(u"true"_s);
        QTest::newRow("nan text") << QByteArray("[\"nan\"]") << D() << B(false) << S(u"nan"_s);
        QTest::newRow("null") << QByteArray("[null]") << D() << B() << S();
        QTest::newRow("array") << QByteArray("[[1]]") << D() << B() << S();
        QTest::newRow("big integer") << QByteArray("[1e20]") << D(1e20) << B(true) << S(u"1e+20"_s);
    }
    void conversions()
    {
        QFETCH(QByteArray, value);
        QFETCH(std::optional<double>, asDouble);
        QFETCH(std::optional<bool>, asBool);
        QFETCH(std::optional<QString>, asString);
        const QJsonArray array = QJsonDocument::fromJson(value).array();
        const QJsonValue input =
            array.isEmpty() ? QJsonValue(QJsonValue::Undefined) : array.first();
        QCOMPARE(ModelSchema::asDouble(input), asDouble);
        QCOMPARE(ModelSchema::asBool(input), asBool);
        QCOMPARE(ModelSchema::asString(input), asString);
    }
    void encode_data()
    {
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<ParamValue>("value");
        QTest::addColumn<QByteArray>("expected"); // compact JSON of [encoded]

        const auto row = [](const char *name, const char *property, ParamValue value,
                            const char *expected) {
            QTest::newRow(name) << QByteArray(property) << value << QByteArray(expected);
        };
        const char *integers = R"({"type":"integer","enum":[1024,2048]})";
        const char *numbers = R"({"type":"number","enum":[0.5,1]})";
        const char *megapixels = R"({"type":"string","enum":["1","0.25"]})";
        row("integer enum", integers, ParamValue::string(u"1024"_s), "[1024]");
        row("number enum fraction", numbers, ParamValue::string(u"0.5"_s), "[0.5]");
        row("number enum exponent", numbers, ParamValue::string(u"1e3"_s), "[1000]");
        row("number enum word", numbers, ParamValue::string(u"large"_s), "[\"large\"]");
        row("integer enum beyond 64 bits", integers,
            ParamValue::string(u"123456789012345678901234"_s), "[\"123456789012345678901234\"]");
        row("integer enum exact", integers, ParamValue::string(u"9007199254740993"_s),
            "[9007199254740993]");
        row("number enum stored integral", numbers, ParamValue::number(4), "[4]");
        row("number enum stored fraction", numbers, ParamValue::number(2.5), "[2.5]");
        row("untyped number enum", R"({"enum":[1,0.25]})", ParamValue::string(u"0.25"_s), "[0.25]");
        // Real models declare megapixels as strings; the service refuses a number.
        row("string enum of numbers", megapixels, ParamValue::string(u"0.25"_s), "[\"0.25\"]");
        row("untyped string enum", R"({"enum":["1","0.25"]})", ParamValue::string(u"1"_s),
            "[\"1\"]");
        row("string enum stored number", megapixels, ParamValue::number(0.25), "[\"0.25\"]");
        row("string enum stored integer", megapixels, ParamValue::integer(1), "[\"1\"]");
        row("boolean enum", R"({"type":"boolean","enum":[true,false]})",
            ParamValue::string(u"false"_s), "[false]");
        row("plain string stays", R"({"type":"string"})", ParamValue::string(u"1024"_s),
            "[\"1024\"]");
        row("plain number", R"({"type":"number"})", ParamValue::number(2.5), "[2.5]");
        row("plain integer", R"({"type":"integer"})", ParamValue::integer(-7), "[-7]");
        row("plain bool", R"({"type":"boolean"})", ParamValue::boolean(false), "[false]");
    }
    void encode()
    {
        QFETCH(QByteArray, property);
        QFETCH(ParamValue, value);
        QFETCH(QByteArray, expected);
        const ModelSchema schema = ModelSchema::parse(record("{\"size\":" + property + "}"));
        const SchemaParam *param = find(schema, u"size"_s);
        QVERIFY(param);
        const QJsonValue encoded = param->encode(value);
        QCOMPARE(QJsonDocument(QJsonArray{encoded}).toJson(QJsonDocument::Compact), expected);
        if (param->kind.type == Type::number)
            QCOMPARE(encoded.toVariant().typeId(), QMetaType::Double);
    }
    void partition()
    {
        const ModelSchema schema = ModelSchema::parse(record(
            R"({"prompt":{"type":"string","x-order":0},"seed":{"type":"integer","x-order":1},
            "webhook_mode":{"type":"string","x-order":2},"Face_Enhance":{"type":"boolean","x-order":3},
            "steps":{"type":"integer","x-order":4},"resolution":{"type":"integer","x-order":5}})"));
        const QStringList primary{u"prompt"_s, u"Face_Enhance"_s, u"resolution"_s};
        const QStringList advanced{u"seed"_s, u"webhook_mode"_s, u"steps"_s};
        QCOMPARE(keysOf(schema.primaryParams()), primary);
        QCOMPARE(keysOf(schema.advancedParams()), advanced);
        QCOMPARE(find(schema, u"seed"_s)->title, u"Seed"_s);
        const QSet<SchemaParam> unique(schema.params.begin(), schema.params.end());
        QCOMPARE(unique.size(), schema.params.size());
        QVERIFY(unique.contains(*find(schema, u"steps"_s)));

        const auto shown = schema.inspectorParams(false);
        QCOMPARE(keysOf(shown.first), primary);
        const auto hidden = schema.inspectorParams(true);
        QCOMPARE(keysOf(hidden.first), primary.mid(1));
        QCOMPARE(keysOf(hidden.second), advanced);
    }
    void scaleParam_data()
    {
        QTest::addColumn<QByteArray>("properties");
        QTest::addColumn<QString>("expected");
        QTest::newRow("listed key wins")
            << QByteArray(R"({"cfg_scale":{"type":"number","x-order":0},
                          "Upscale":{"type":"integer","x-order":1}})")
            << u"Upscale"_s;
        QTest::newRow("contains scale")
            << QByteArray(R"({"use_scale":{"type":"boolean","x-order":0},
                          "cfg_scale":{"type":"number","x-order":1}})")
            << u"cfg_scale"_s;
        QTest::newRow("none") << QByteArray(R"({"steps":{"type":"integer"}})") << QString();
    }
    void scaleParam()
    {
        QFETCH(QByteArray, properties);
        QFETCH(QString, expected);
        const auto param = ModelSchema::parse(record(properties)).scaleParam();
        QCOMPARE(param ? param->key : QString(), expected);
    }
    void numericValue()
    {
        const ModelSchema schema = fixture("nightmareai_real-esrgan");
        const QSet<QString> keys{"scale"};
        QCOMPARE(schema.numericValue(keys, {}), std::optional<double>(4));
        QCOMPARE(schema.numericValue(keys, json(R"({"scale":"2"})")), std::optional<double>(2));
        QCOMPARE(schema.numericValue(keys, json(R"({"scale":"big"})")), std::optional<double>(4));
        QCOMPARE(schema.numericValue({"width"}, json(R"({"width":3})")), std::optional<double>());
    }
    void errorMessages()
    {
        QCOMPARE(SchemaParseError::noImageInput().message(),
                 u"This model doesn't take an image input."_s);
        QCOMPARE(SchemaParseError::noPromptInput().message(),
                 u"This model doesn't take a text prompt."_s);
        QCOMPARE(SchemaParseError::noPromptInput({"style", "negative_prompt"}).message(),
                 QStringLiteral("This model takes text (style, negative_prompt), but none of it "
                                "is clearly the prompt, so Moonforge can't send one."));
        QCOMPARE(QString::fromUtf8(SchemaParseError::secondFileRequired("mask").what()),
                 QStringLiteral("This model needs a second image (mask), which Moonforge can't "
                                "send yet."));
        QCOMPARE(QString::fromUtf8(SchemaParseError::imageRequired().what()),
                 u"This model needs a reference image, which this job has none of."_s);
    }
};

QTEST_GUILESS_MAIN(ModelSchemaTest)
#include "tst_modelschema.moc"
