#pragma once

#include "Models/ParamValue.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>
#include <stdexcept>

// What a model produces, read from its output schema.
enum class OutputKind { image, video, unknown };

// One settable input of a model.
struct SchemaParam {
    struct Kind {
        enum class Type { text, integer, number, choice, toggle, uri };
        Type type = Type::text;
        bool multiline = false;         // text
        std::optional<double> min, max; // integer, number
        QStringList options;            // choice
        // choice: the JSON type the options are sent in, declared by the property's "type" or,
        // without one, by the enum's own values; string otherwise.
        bool numeric = false; // integer or number
        bool boolean = false; // boolean

        friend bool operator==(const Kind &, const Kind &) = default;
    };

    QString key;
    QString title;
    std::optional<QString> help;
    qint64 order = 999;
    bool required = false;
    Kind kind;
    std::optional<ParamValue> defaultValue;

    // The JSON value sent to the service for `value`, shaped by this parameter's kind.
    // A choice goes out in the JSON type its schema declares, whatever its options look like.
    QJsonValue encode(const ParamValue &value) const;

    friend bool operator==(const SchemaParam &, const SchemaParam &) = default;

private:
    static QJsonValue encodeStringChoice(const ParamValue &value);
    static QJsonValue encodeBooleanChoice(const ParamValue &value);
};

// Hashes the fields that mostly tell parameters apart; equal parameters always hash equal.
size_t qHash(const SchemaParam &param, size_t seed = 0);

// A schema that cannot be read, or that cannot serve a job.
class SchemaParseError : public std::exception
{
public:
    enum class Kind {
        missingSchema,
        noImageInput,
        noPromptInput,
        imageRequired,
        secondFileRequired
    };

    static SchemaParseError missingSchema() { return SchemaParseError(Kind::missingSchema); }
    static SchemaParseError noImageInput() { return SchemaParseError(Kind::noImageInput); }
    // `textInputs` names the text inputs of a model that takes text but none of it clearly as
    // the prompt; the message lists them so the user is not told the model takes no text.
    static SchemaParseError noPromptInput(const QStringList &textInputs = {})
    {
        return SchemaParseError(Kind::noPromptInput, textInputs);
    }
    static SchemaParseError imageRequired() { return SchemaParseError(Kind::imageRequired); }
    // `name` is the key of the file input that would need a second upload.
    static SchemaParseError secondFileRequired(const QString &name)
    {
        return SchemaParseError(Kind::secondFileRequired, {name});
    }

    Kind kind() const { return m_kind; }
    QString message() const;
    const char *what() const noexcept override;

private:
    explicit SchemaParseError(Kind kind, QStringList names = {});
    Kind m_kind;
    QStringList m_names;
    QByteArray m_utf8;
};

// A model's input schema, parsed from its model record.
struct ModelSchema {
    std::optional<QString> imageKey;
    bool imageIsRequired = false;
    bool imageIsArray = false;
    std::optional<QString> promptKey;
    // A required file input besides the image key (a mask, a face, a target): one upload per job
    // cannot serve such a model.
    std::optional<QString> secondFileKey;
    OutputKind outputKind = OutputKind::unknown;
    QList<SchemaParam> params;
    bool isOfficial = false;
    std::optional<QString> versionID;

    // Reads a model record; throws SchemaParseError::missingSchema() without input properties.
    static ModelSchema parse(const QJsonObject &modelResponse);

    // Why no job of the kind (a prompt job when `promptJob`, else a file job) can run on this
    // model, whatever its files; none when some can.
    std::optional<SchemaParseError> refusal(bool promptJob) const;
    // The keys of the free-text parameters, in order.
    QStringList textKeys() const;

    QList<SchemaParam> primaryParams() const;
    QList<SchemaParam> advancedParams() const;
    // (primary, advanced), without the prompt parameter when `hidingPrompt`.
    std::pair<QList<SchemaParam>, QList<SchemaParam>> inspectorParams(bool hidingPrompt) const;
    std::optional<SchemaParam> scaleParam() const;
    // The value `input` gives the first parameter whose lower-cased key is in `keys`, as a
    // number, else that parameter's default as a number.
    std::optional<double> numericValue(const QSet<QString> &keys, const QJsonObject &input) const;

    // The parameter part of a prediction input for `slug`: its overrides, and the defaults of
    // required parameters. Only keys of this schema go out.
    QJsonObject requestInputs(const QString &slug,
                              const QMap<QString, ParamOverrides> &overrides) const;

    static const QSet<QString> &scaleKeys();
    // Lower-case parameter keys that give the number of outputs, and a video's length.
    static const QSet<QString> &outputCountKeys();
    static const QSet<QString> &durationKeys();

    // Untyped JSON to typed values; an undefined QJsonValue stands for "no value".
    static std::optional<double> asDouble(const QJsonValue &value);
    static std::optional<bool> asBool(const QJsonValue &value);
    static std::optional<QString> asString(const QJsonValue &value);
    // "output_format" reads "Output Format".
    static QString humanized(const QString &key);

    friend bool operator==(const ModelSchema &, const ModelSchema &) = default;
};
