#include "Models/ParamValue.h"

#include <QJsonDocument>
#include <QtTest>

class ParamValueTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void storedForm_data();
    void storedForm();
    void storedErrors_data();
    void storedErrors();
    void doubleValue_data();
    void doubleValue();
    void displayString_data();
    void displayString();
};

void ParamValueTest::storedForm_data()
{
    QTest::addColumn<ParamValue>("value");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("string") << ParamValue::string(QStringLiteral("1:1 \"wide\""))
                            << QByteArray(R"({"string":{"_0":"1:1 \"wide\""}})");
    QTest::newRow("number") << ParamValue::number(1.5) << QByteArray(R"({"number":{"_0":1.5}})");
    QTest::newRow("integer") << ParamValue::integer(-9007199254740993LL)
                             << QByteArray(R"({"integer":{"_0":-9007199254740993}})");
    QTest::newRow("bool") << ParamValue::boolean(true) << QByteArray(R"({"bool":{"_0":true}})");
}

void ParamValueTest::storedForm()
{
    QFETCH(ParamValue, value);
    QFETCH(QByteArray, stored);
    QCOMPARE(QJsonDocument(value.toStored()).toJson(QJsonDocument::Compact), stored);
    QCOMPARE(ParamValue::fromStored(QJsonDocument::fromJson(stored).object()), value);
}

void ParamValueTest::storedErrors_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("message");
    QTest::newRow("no key") << QByteArray("{}")
                            << QStringLiteral("Invalid number of keys found, expected one.");
    QTest::newRow("two keys") << QByteArray(R"({"string":{"_0":"a"},"bool":{"_0":true}})")
                              << QStringLiteral("Invalid number of keys found, expected one.");
    QTest::newRow("unknown case") << QByteArray(R"({"date":{"_0":"a"}})")
                                  << QStringLiteral(
                                         "Unknown case key in a stored parameter value.");
    QTest::newRow("wrong payload")
        << QByteArray(R"({"bool":{"_0":"yes"}})")
        << QStringLiteral("Expected to decode Bool but found another type.");
    QTest::newRow("fractional integer")
        << QByteArray(R"({"integer":{"_0":2.5}})")
        << QStringLiteral("Expected to decode Int64 but found another type.");
    QTest::newRow("integer beyond 64 bits")
        << QByteArray(R"({"integer":{"_0":1e19}})")
        << QStringLiteral("Expected to decode Int64 but found another type.");
    QTest::newRow("missing payload") << QByteArray(R"({"string":{"0":"a"}})")
                                     << QStringLiteral("No value associated with key \"_0\".");
}

void ParamValueTest::storedErrors()
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

void ParamValueTest::doubleValue_data()
{
    QTest::addColumn<ParamValue>("value");
    QTest::addColumn<std::optional<double>>("expected");
    using D = std::optional<double>;
    QTest::newRow("decimal text") << ParamValue::string(QStringLiteral("2.5")) << D(2.5);
    QTest::newRow("padded text") << ParamValue::string(QStringLiteral("2.5 ")) << D();
    QTest::newRow("grouped text") << ParamValue::string(QStringLiteral("1,000")) << D();
    QTest::newRow("infinity text") << ParamValue::string(QStringLiteral("inf")) << D();
    QTest::newRow("number") << ParamValue::number(-3.25) << D(-3.25);
    QTest::newRow("integer") << ParamValue::integer(42) << D(42);
    QTest::newRow("bool") << ParamValue::boolean(true) << D();
}

void ParamValueTest::doubleValue()
{
    QFETCH(ParamValue, value);
    QFETCH(std::optional<double>, expected);
    QCOMPARE(value.doubleValue(), expected);
}

void ParamValueTest::displayString_data()
{
    QTest::addColumn<ParamValue>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("text") << ParamValue::string(QStringLiteral("webp")) << QStringLiteral("webp");
    QTest::newRow("fraction") << ParamValue::number(0.126) << QStringLiteral("0.13");
    QTest::newRow("integral number") << ParamValue::number(4) << QStringLiteral("4");
    QTest::newRow("large integral number")
        << ParamValue::number(1e17) << QStringLiteral("100000000000000000");
    QTest::newRow("integer") << ParamValue::integer(-12) << QStringLiteral("-12");
    QTest::newRow("on") << ParamValue::boolean(true) << QStringLiteral("On");
    QTest::newRow("off") << ParamValue::boolean(false) << QStringLiteral("Off");
}

void ParamValueTest::displayString()
{
    QFETCH(ParamValue, value);
    QFETCH(QString, expected);
    QCOMPARE(value.displayString(), expected);
}

QTEST_GUILESS_MAIN(ParamValueTest)
#include "tst_paramvalue.moc"
