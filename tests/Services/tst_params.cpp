#include "Models/JobInput.h"
#include "Models/ModelSchema.h"
#include "Services/AppStore.h"
#include "TestEnvironment.h"

#include <QJsonArray>
#include <QTest>

namespace
{

SchemaParam param(const QString &key, SchemaParam::Kind::Type type, bool required,
                  std::optional<ParamValue> defaultValue)
{
    SchemaParam p;
    p.key = key;
    p.title = key;
    p.required = required;
    p.kind.type = type;
    p.defaultValue = std::move(defaultValue);
    return p;
}

using Type = SchemaParam::Kind::Type;

ModelSchema promptSchema(bool imageArray, bool imageRequired, bool hasImage = true)
{
    ModelSchema schema;
    schema.promptKey = QStringLiteral("prompt");
    if (hasImage)
        schema.imageKey = QStringLiteral("image");
    schema.imageIsArray = imageArray;
    schema.imageIsRequired = imageRequired;
    schema.params = {
        param(QStringLiteral("prompt"), Type::text, true, std::nullopt),
        param(QStringLiteral("steps"), Type::integer, false, ParamValue::integer(20)),
        param(QStringLiteral("seed"), Type::integer, true, std::nullopt),
        param(QStringLiteral("guidance"), Type::number, true, ParamValue::number(3.5))};
    return schema;
}

QList<QUrl> refs(int n)
{
    QList<QUrl> urls;
    for (int i = 0; i < n; ++i)
        urls << QUrl::fromLocalFile(QStringLiteral("/pics/ref%1.png").arg(i));
    return urls;
}

} // namespace

class TstParams : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void requestInputsDefaults()
    {
        const QJsonObject input =
            promptSchema(false, false).requestInputs(QStringLiteral("a/b"), {});
        // Optional defaults are left to the service; a required one without default is absent.
        QCOMPARE(input, QJsonObject({{QStringLiteral("guidance"), 3.5}}));
    }

    void requestInputsOverrides()
    {
        QMap<QString, ParamOverrides> overrides;
        overrides[QStringLiteral("a/b")] = {
            {QStringLiteral("steps"), ParamValue::integer(20)},
            {QStringLiteral("gone"), ParamValue::string(QStringLiteral("x"))}};
        const QJsonObject input =
            promptSchema(false, false).requestInputs(QStringLiteral("a/b"), overrides);
        QCOMPARE(input.value(QStringLiteral("steps")), QJsonValue(20));
        QVERIFY(!input.contains(QStringLiteral("gone")));
        QVERIFY(promptSchema(false, false)
                    .requestInputs(QStringLiteral("other/m"), overrides)
                    .value(QStringLiteral("steps"))
                    .isUndefined());
    }

    void encode_data()
    {
        QTest::addColumn<bool>("numericChoice");
        QTest::addColumn<ParamValue>("value");
        QTest::addColumn<QJsonValue>("expected");
        QTest::newRow("numeric string integral")
            << true << ParamValue::string(QStringLiteral("4")) << QJsonValue(4);
        QTest::newRow("numeric string fraction")
            << true << ParamValue::string(QStringLiteral("2.5")) << QJsonValue(2.5);
        QTest::newRow("numeric choice not a number")
            << true << ParamValue::string(QStringLiteral("auto"))
            << QJsonValue(QStringLiteral("auto"));
        QTest::newRow("numeric choice number") << true << ParamValue::number(2.0) << QJsonValue(2);
        QTest::newRow("text string stays")
            << false << ParamValue::string(QStringLiteral("4")) << QJsonValue(QStringLiteral("4"));
        QTest::newRow("plain number stays double")
            << false << ParamValue::number(2.0) << QJsonValue(2.0);
        QTest::newRow("bool") << true << ParamValue::boolean(true) << QJsonValue(true);
    }
    void encode()
    {
        QFETCH(bool, numericChoice);
        QFETCH(ParamValue, value);
        QFETCH(QJsonValue, expected);
        SchemaParam p =
            param(QStringLiteral("k"), numericChoice ? Type::choice : Type::text, false, {});
        p.kind.numeric = numericChoice;
        const QJsonValue got = p.encode(value);
        QCOMPARE(got, expected);
        if (expected.isDouble())
            QCOMPARE(got.toVariant().typeId() == QMetaType::LongLong,
                     expected.toVariant().typeId() == QMetaType::LongLong);
    }

    void uploadSources_data()
    {
        QTest::addColumn<bool>("array");
        QTest::addColumn<int>("references");
        QTest::addColumn<int>("expected");
        QTest::newRow("single key, three refs") << false << 3 << 1;
        QTest::newRow("array key, three refs") << true << 3 << 3;
        QTest::newRow("single key, one ref") << false << 1 << 1;
        QTest::newRow("optional, none") << false << 0 << 0;
    }
    void uploadSources()
    {
        QFETCH(bool, array);
        QFETCH(int, references);
        QFETCH(int, expected);
        const ModelSchema schema = promptSchema(array, false);
        const JobInput job = JobInput::prompt(QStringLiteral("a fox"), refs(references));
        const QList<QUrl> sources = job.uploadSources(schema);
        QCOMPARE(sources, refs(references).mid(0, expected));
        const QJsonObject input = job.predictionInput({}, schema, sources);
        if (expected == 0)
            QVERIFY(!input.contains(QStringLiteral("image")));
        else if (array)
            QCOMPARE(input.value(QStringLiteral("image")).toArray().size(), expected);
        else
            QCOMPARE(input.value(QStringLiteral("image")).toString(), sources.first().toString());
    }

    void uploadErrors_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<bool>("promptJob");
        QTest::addColumn<QString>("message");
        // 0: no image input; 1: text but no prompt key; 2: an optional image the job lacks;
        // 3: no text at all; 4: a second required file.
        QTest::newRow("file without image input")
            << 0 << false << "This model doesn't take an image input.";
        QTest::newRow("prompt without prompt input")
            << 1 << true
            << "This model takes text (prompt), but none of it is clearly the prompt, so "
               "Moonforge can't send one.";
        QTest::newRow("reference required")
            << 2 << true << "This model needs a reference image, which this job has none of.";
        QTest::newRow("prompt without any text")
            << 3 << true << "This model doesn't take a text prompt.";
        QTest::newRow("file job, second file")
            << 4 << false
            << "This model needs a second image (mask), which Moonforge can't send yet.";
        QTest::newRow("prompt job, second file")
            << 4 << true
            << "This model needs a second image (mask), which Moonforge can't send yet.";
    }
    void uploadErrors()
    {
        QFETCH(int, which);
        QFETCH(bool, promptJob);
        QFETCH(QString, message);
        ModelSchema schema = promptSchema(false, which == 2, which != 0);
        if (which == 1 || which == 3)
            schema.promptKey.reset();
        if (which == 3)
            schema.params.removeFirst();
        if (which == 4)
            schema.secondFileKey = QStringLiteral("mask");
        const JobInput job = promptJob
                                 ? JobInput::prompt(QStringLiteral("x"))
                                 : JobInput::file(QUrl::fromLocalFile(QStringLiteral("/p.png")));
        try {
            job.uploadSources(schema);
            QFAIL("no error raised");
        } catch (const SchemaParseError &error) {
            QCOMPARE(error.message(), message);
        }
    }

    void promptAlwaysWins()
    {
        const QJsonObject base{{QStringLiteral("prompt"), QStringLiteral("stale override")}};
        const QJsonObject input = JobInput::prompt(QStringLiteral("fresh"))
                                      .predictionInput(base, promptSchema(false, false), {});
        QCOMPARE(input.value(QStringLiteral("prompt")).toString(), QStringLiteral("fresh"));
        const QJsonObject fileInput = JobInput::file(QUrl::fromLocalFile(QStringLiteral("/a.png")))
                                          .predictionInput({}, promptSchema(false, false),
                                                           {QUrl(QStringLiteral("https://up/1"))});
        QCOMPARE(fileInput,
                 QJsonObject({{QStringLiteral("image"), QStringLiteral("https://up/1")}}));
    }

    void overridesOfFocusedModel()
    {
        TestEnvironment env;
        AppStore store(env.environment());
        const SchemaParam steps =
            param(QStringLiteral("steps"), Type::integer, false, ParamValue::integer(20));
        QCOMPARE(store.value(steps), std::optional(ParamValue::integer(20)));
        QVERIFY(!store.isOverridden(steps));
        store.setValue(ParamValue::integer(20), steps);
        QVERIFY(store.isOverridden(steps));
        store.setValue(ParamValue::integer(7), steps);
        QCOMPARE(store.value(steps), std::optional(ParamValue::integer(7)));
        store.setValue(std::nullopt, steps);
        QVERIFY(!store.isOverridden(steps));
        // The emptied entry stays.
        QVERIFY(store.state().overrides.contains(store.state().focusedSlug));
        store.setValue(ParamValue::integer(9), steps);
        store.resetParams();
        QVERIFY(!store.state().overrides.contains(store.state().focusedSlug));
        QCOMPARE(store.value(steps), std::optional(ParamValue::integer(20)));
    }

    void scaleFactor_data()
    {
        QTest::addColumn<ParamValue>("value");
        QTest::addColumn<double>("expected");
        QTest::addColumn<bool>("present");
        QTest::newRow("2x") << ParamValue::string(QStringLiteral("2x")) << 2.0 << true;
        QTest::newRow("auto") << ParamValue::string(QStringLiteral("auto")) << 0.0 << false;
        QTest::newRow("number") << ParamValue::number(2.5) << 2.5 << true;
        QTest::newRow("integer") << ParamValue::integer(4) << 4.0 << true;
        QTest::newRow("bool") << ParamValue::boolean(true) << 0.0 << false;
    }
    void scaleFactor()
    {
        QFETCH(ParamValue, value);
        QFETCH(double, expected);
        QFETCH(bool, present);
        const auto got = value.scaleFactor();
        QCOMPARE(got.has_value(), present);
        if (present)
            QCOMPARE(*got, expected);
    }
};

QTEST_GUILESS_MAIN(TstParams)
#include "tst_params.moc"
