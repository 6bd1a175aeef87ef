#include "Models/JobInput.h"
#include "Models/ModelSchema.h"
#include "SchemaRecords.h"
#include "Services/AppStore.h"
#include "TestEnvironment.h"

#include <QJsonArray>
#include <QTest>

using namespace Qt::StringLiterals;

namespace
{

using SchemaRecords::param;
using Type = SchemaParam::Kind::Type;

ModelSchema promptSchema(bool imageArray, bool imageRequired, bool hasImage = true)
{
    ModelSchema schema;
    schema.promptKey = u"prompt"_s;
    if (hasImage)
        schema.imageKey = u"image"_s;
    schema.imageIsArray = imageArray;
    schema.imageIsRequired = imageRequired;
    schema.params = {param(u"prompt"_s, Type::text, {}, true),
                     param(u"steps"_s, Type::integer, ParamValue::integer(20)),
                     param(u"seed"_s, Type::integer, {}, true),
                     param(u"guidance"_s, Type::number, ParamValue::number(3.5), true)};
    return schema;
}

QList<QUrl> refs(int n)
{
    QList<QUrl> urls;
    for (int i = 0; i < n; ++i)
        urls << QUrl::fromLocalFile(u"/pics/ref%1.png"_s.arg(i));
    return urls;
}

} // namespace

class TstParams : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void requestInputsDefaults()
    {
        const QJsonObject input = promptSchema(false, false).requestInputs(u"a/b"_s, {});
        // Optional defaults are left to the service; a required one without default is absent.
        QCOMPARE(input, QJsonObject({{u"guidance"_s, 3.5}}));
    }

    void requestInputsOverrides()
    {
        QMap<QString, ParamOverrides> overrides;
        overrides[u"a/b"_s] = {{u"steps"_s, ParamValue::integer(20)},
                               {u"gone"_s, ParamValue::string(u"x"_s)}};
        const QJsonObject input = promptSchema(false, false).requestInputs(u"a/b"_s, overrides);
        QCOMPARE(input.value(u"steps"_s), QJsonValue(20));
        QVERIFY(!input.contains(u"gone"_s));
        QVERIFY(promptSchema(false, false)
                    .requestInputs(u"other/m"_s, overrides)
                    .value(u"steps"_s)
                    .isUndefined());
    }

    void encode_data()
    {
        QTest::addColumn<bool>("numericChoice");
        QTest::addColumn<ParamValue>("value");
        QTest::addColumn<QJsonValue>("expected");
        QTest::newRow("numeric string integral")
            << true << ParamValue::string(u"4"_s) << QJsonValue(4);
        QTest::newRow("numeric string fraction")
            << true << ParamValue::string(u"2.5"_s) << QJsonValue(2.5);
        QTest::newRow("numeric choice not a number")
            << true << ParamValue::string(u"auto"_s) << QJsonValue(u"auto"_s);
        QTest::newRow("numeric choice number") << true << ParamValue::number(2.0) << QJsonValue(2);
        QTest::newRow("text string stays")
            << false << ParamValue::string(u"4"_s) << QJsonValue(u"4"_s);
        QTest::newRow("plain number stays double")
            << false << ParamValue::number(2.0) << QJsonValue(2.0);
        QTest::newRow("bool") << true << ParamValue::boolean(true) << QJsonValue(true);
    }
    void encode()
    {
        QFETCH(bool, numericChoice);
        QFETCH(ParamValue, value);
        QFETCH(QJsonValue, expected);
        SchemaParam p = param(u"k"_s, numericChoice ? Type::choice : Type::text);
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
        const JobInput job = JobInput::prompt(u"a fox"_s, refs(references));
        const QList<QUrl> sources = job.uploadSources(schema);
        QCOMPARE(sources, refs(references).mid(0, expected));
        const QJsonObject input = job.predictionInput({}, schema, sources);
        if (expected == 0)
            QVERIFY(!input.contains(u"image"_s));
        else if (array)
            QCOMPARE(input.value(u"image"_s).toArray().size(), expected);
        else
            QCOMPARE(input.value(u"image"_s).toString(), sources.first().toString());
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
            schema.secondFileKey = u"mask"_s;
        const JobInput job =
            promptJob ? JobInput::prompt(u"x"_s) : JobInput::file(QUrl::fromLocalFile(u"/p.png"_s));
        try {
            job.uploadSources(schema);
            QFAIL("no error raised");
        } catch (const SchemaParseError &error) {
            QCOMPARE(error.message(), message);
        }
    }

    void promptAlwaysWins()
    {
        const QJsonObject base{{u"prompt"_s, u"stale override"_s}};
        const QJsonObject input =
            JobInput::prompt(u"fresh"_s).predictionInput(base, promptSchema(false, false), {});
        QCOMPARE(input.value(u"prompt"_s).toString(), u"fresh"_s);
        const QJsonObject fileInput =
            JobInput::file(QUrl::fromLocalFile(u"/a.png"_s))
                .predictionInput({}, promptSchema(false, false), {QUrl(u"https://up/1"_s)});
        QCOMPARE(fileInput, QJsonObject({{u"image"_s, u"https://up/1"_s}}));
    }

    void overridesOfFocusedModel()
    {
        TestEnvironment env;
        AppStore store(env.environment());
        const SchemaParam steps = param(u"steps"_s, Type::integer, ParamValue::integer(20));
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
        QTest::newRow("2x") << ParamValue::string(u"2x"_s) << 2.0 << true;
        QTest::newRow("auto") << ParamValue::string(u"auto"_s) << 0.0 << false;
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
