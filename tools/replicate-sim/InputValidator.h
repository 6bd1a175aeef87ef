#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

// Checks a prediction's input the way the service does before it starts one: every required key
// present, every known key of the right JSON type and, for enumerations, one of the cases.
// Unknown keys are let through, as the service lets them through.
namespace InputValidator
{

// One refusal as the service words it: the field ("input" or "input.<key>") and what is wrong.
struct Problem {
    QString field;
    QString description;
};

QList<Problem> problems(const QJsonObject &input, const QJsonObject &inputSchema,
                        const QJsonObject &schemas);

} // namespace InputValidator
