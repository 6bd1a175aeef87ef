#include "Models/ParamValue.h"

#include <QJsonDocument>
#include <QtTest>

namespace
{
ParamValue text(const char *value)
{
    return ParamValue::string(QString::fromUtf8(value));
}
} // namespace

class ParamValueTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void storedForm_data()
    {
        QTest::addColumn<ParamValue>("value");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("string") << text("1:1 \"wide\"")
                                << QByteArray("{\"string\":{\"_0\":\"1:1 \\\"wide\\\"\"}}");
        QTest::newRow("number") << ParamValue::number(1.5)
                                << QByteArray(R"({"number":{"_0":1.5}})");
        QTest::newRow("integer") << ParamValue::integer(-9007199254740993LL)
                                 << QByteArray(R"({"integer":{"_0":-9007199254740993}})");
        QTest::newRow("bool") << ParamValue::boolean(true) << QByteArray(R"({"bool":{"_0":true}})");
    }
    void storedForm()
    {
        QFETCH(ParamValue, value);
        QFETCH(QByteArray, stored);
        QCOMPARE(QJsonDocument(value.toStored()).toJson(QJsonDocument::Compact), stored);
        QCOMPARE(ParamValue::fromStored(QJsonDocument::fromJson(stored).object()), value);
    }

    void storedErrors_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("message");
        const auto row = [](const char *name, const char *stored, const char *message) {
            QTest::newRow(name) << QByteArray(stored) << QString::fromUtf8(message);
        };
        const char *keys = "Invalid number of keys found, expected one.";
        const char *int64 = "Expected to decode Int64 but found another type.";
        row("no key", "{}", keys);
        row("two keys", R"({"string":{"_0":"a"},"bool":{"_0":true}})", keys);
        row("unknown case", R"({"date":{"_0":"a"}})",
            "Unknown case key in a stored parameter value.");
        row("wrong payload", R"({"bool":{"_0":"yes"}})",
            "Expected to decode Bool but found another type.");
        row("fractional integer", R"({"integer":{"_0":2.5}})", int64);
        row("integer beyond 64 bits", R"({"integer":{"_0":1e19}})", int64);
        row("missing payload", R"({"string":{"0":"a"}})", "No value associated with key \"_0\".");
    }
    void storedErrors()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, message);
        try {
            ParamValue::fromStored(QJsonDocument::fromJson(stored).object());
            QFAIL("a malformed stored value was accepted");
        } catch (const ParamValueDecodeError &error) {
            QCOMPARE(QString::fromUtf8(error.what()), message);
        }
    }

    void doubleValue_data()
    {
        QTest::addColumn<ParamValue>("value");
        QTest::addColumn<std::optional<double>>("expected");
        using D = std::optional<double>;
        QTest::newRow("decimal text") << text("2.5") << D(2.5);
        QTest::newRow("padded text") << text("2.5 ") << D();
        QTest::newRow("grouped text") << text("1,000") << D();
        QTest::newRow("infinity text") << text("inf") << D();
        QTest::newRow("number") << ParamValue::number(-3.25) << D(-3.25);
        QTest::newRow("integer") << ParamValue::integer(42) << D(42);
        QTest::newRow("bool") << ParamValue::boolean(true) << D();
    }
    void doubleValue()
    {
        QFETCH(ParamValue, value);
        QTEST(value.doubleValue(), "expected");
    }

    void displayString_data()
    {
        QTest::addColumn<ParamValue>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("text") << text("webp") << "webp";
        QTest::newRow("fraction") << ParamValue::number(0.126) << "0.13";
        QTest::newRow("integral number") << ParamValue::number(4) << "4";
        QTest::newRow("large integral") << ParamValue::number(1e17) << "100000000000000000";
        QTest::newRow("integer") << ParamValue::integer(-12) << "-12";
        QTest::newRow("on") << ParamValue::boolean(true) << "On";
        QTest::newRow("off") << ParamValue::boolean(false) << "Off";
    }
    void displayString()
    {
        QFETCH(ParamValue, value);
        QTEST(value.displayString(), "expected");
    }
};

QTEST_GUILESS_MAIN(ParamValueTest)
#include "tst_paramvalue.moc"
