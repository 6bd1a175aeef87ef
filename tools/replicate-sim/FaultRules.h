#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// A scripted misbehaviour: requests matching `method` and `path` (a pattern where "*" matches
// any run of characters, "/" included) get `action` instead of, or before, their normal answer.
struct FaultRule {
    enum class Action {
        status,        // answer `status` with `body` (and Retry-After when given)
        delay,         // wait `delayMs`, then answer normally
        drop,          // close the connection without an answer
        dropBody,      // send the head and half the body, then close
        malformed,     // 200 with a body that is not JSON
        stuck,         // prediction creation: a prediction that never ends
        fail,          // prediction creation: a prediction that fails with `error`
        cancel,        // prediction creation: a prediction that ends canceled
        nullOutput,    // prediction creation: succeeded with output null
        missingOutput, // prediction creation: output address that answers 404
        dataOutput,    // prediction creation: a held create's answer carries the files inline
        abort          // prediction creation: its deadline passes before it starts ("aborted")
    };

    QString method;
    QString path;
    int times = -1; // -1: every time
    Action action = Action::status;
    int status = 500;
    std::optional<QString> retryAfter;
    QString body;
    int delayMs = 0;
    QString error;
    int hits = 0;

    static std::optional<FaultRule> fromJson(const QJsonObject &object, QString *problem);
    QJsonObject toJson() const;
    bool matches(const QString &requestMethod, const QString &requestPath) const;
};

class FaultRules
{
public:
    // Replaces nothing: the new rules go after the ones already set.
    bool add(const QJsonArray &rules, QString *problem);
    void clear() { m_rules.clear(); }
    // The first live rule matching the request, consumed once.
    std::optional<FaultRule> take(const QString &method, const QString &path);
    QJsonArray toJson() const;

private:
    QList<FaultRule> m_rules;
};
