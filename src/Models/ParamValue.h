#pragma once

#include <QJsonObject>
#include <QMap>
#include <QMetaType>
#include <QString>

#include <optional>
#include <stdexcept>
#include <variant>

// The typed value of one model parameter, as the user's overrides store it.
class ParamValue
{
public:
    enum class Kind { string, number, integer, boolean };

    ParamValue() = default;
    static ParamValue string(const QString &text) { return ParamValue(Storage(text)); }
    static ParamValue number(double value) { return ParamValue(Storage(value)); }
    static ParamValue integer(qint64 value) { return ParamValue(Storage(value)); }
    static ParamValue boolean(bool value) { return ParamValue(Storage(value)); }

    Kind kind() const { return static_cast<Kind>(m_value.index()); }
    QString stringValue() const;
    double numberValue() const;
    qint64 integerValue() const;
    bool boolValue() const;

    // The value as a number where it reads as one: whole-decimal strings, numbers and integers.
    std::optional<double> doubleValue() const;
    // How the value reads on screen.
    QString displayString() const;

    // Stored form: {"string": {"_0": "…"}}, {"number": {"_0": 1.5}}, {"integer": …}, {"bool": …}.
    QJsonObject toStored() const;
    // Reads the stored form; throws ParamValueDecodeError with the reason on malformed input.
    static ParamValue fromStored(const QJsonObject &object);
    // A scale parameter's value as a factor: "4x" gives 4, "auto" and booleans none.
    std::optional<double> scaleFactor() const;

    friend bool operator==(const ParamValue &, const ParamValue &) = default;

private:
    using Storage = std::variant<QString, double, qint64, bool>;
    explicit ParamValue(Storage value) : m_value(std::move(value)) {}

    Storage m_value;
};

// Parameter overrides of one model, by parameter key.
using ParamOverrides = QMap<QString, ParamValue>;

class ParamValueDecodeError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

Q_DECLARE_METATYPE(ParamValue)
