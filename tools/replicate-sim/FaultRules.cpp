#include "FaultRules.h"

#include <QMap>

namespace
{

const QMap<QString, FaultRule::Action> &actionNames()
{
    static const QMap<QString, FaultRule::Action> names{
        {QStringLiteral("status"), FaultRule::Action::status},
        {QStringLiteral("delay"), FaultRule::Action::delay},
        {QStringLiteral("drop"), FaultRule::Action::drop},
        {QStringLiteral("drop-body"), FaultRule::Action::dropBody},
        {QStringLiteral("malformed"), FaultRule::Action::malformed},
        {QStringLiteral("stuck"), FaultRule::Action::stuck},
        {QStringLiteral("fail"), FaultRule::Action::fail},
        {QStringLiteral("cancel"), FaultRule::Action::cancel},
        {QStringLiteral("null-output"), FaultRule::Action::nullOutput},
        {QStringLiteral("missing-output"), FaultRule::Action::missingOutput},
        {QStringLiteral("data-output"), FaultRule::Action::dataOutput},
        {QStringLiteral("abort"), FaultRule::Action::abort}};
    return names;
}

bool globMatch(QStringView pattern, QStringView text)
{
    // Iterative wildcard match with backtracking to the last star.
    qsizetype p = 0, t = 0, star = -1, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            star = p++;
            mark = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star >= 0) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

} // namespace

std::optional<FaultRule> FaultRule::fromJson(const QJsonObject &object, QString *problem)
{
    FaultRule rule;
    rule.method = object.value(QStringLiteral("method")).toString(QStringLiteral("*")).toUpper();
    rule.path = object.value(QStringLiteral("path")).toString(QStringLiteral("*"));
    rule.times = object.value(QStringLiteral("times")).toInt(-1);
    const QString action =
        object.value(QStringLiteral("action")).toString(QStringLiteral("status"));
    if (!actionNames().contains(action)) {
        *problem = QStringLiteral("unknown action: ") + action;
        return std::nullopt;
    }
    rule.action = actionNames().value(action);
    rule.status = object.value(QStringLiteral("status")).toInt(500);
    const QJsonValue retry = object.value(QStringLiteral("retryAfter"));
    if (retry.isString())
        rule.retryAfter = retry.toString();
    else if (retry.isDouble())
        rule.retryAfter = QString::number(retry.toDouble());
    rule.body = object.value(QStringLiteral("body")).toString();
    rule.delayMs = object.value(QStringLiteral("delayMs")).toInt(0);
    rule.error =
        object.value(QStringLiteral("error")).toString(QStringLiteral("Simulated failure"));
    return rule;
}

QJsonObject FaultRule::toJson() const
{
    QJsonObject object{
        {QStringLiteral("method"), method}, {QStringLiteral("path"), path},
        {QStringLiteral("times"), times},   {QStringLiteral("action"), actionNames().key(action)},
        {QStringLiteral("status"), status}, {QStringLiteral("delayMs"), delayMs},
        {QStringLiteral("hits"), hits}};
    if (retryAfter)
        object.insert(QStringLiteral("retryAfter"), *retryAfter);
    return object;
}

bool FaultRule::matches(const QString &requestMethod, const QString &requestPath) const
{
    if (method != QLatin1String("*") && method != requestMethod)
        return false;
    return globMatch(path, requestPath);
}

bool FaultRules::add(const QJsonArray &rules, QString *problem)
{
    QList<FaultRule> parsed;
    for (const QJsonValue &value : rules) {
        if (!value.isObject()) {
            *problem = QStringLiteral("every rule must be an object");
            return false;
        }
        std::optional<FaultRule> rule = FaultRule::fromJson(value.toObject(), problem);
        if (!rule)
            return false;
        parsed.append(*rule);
    }
    m_rules.append(parsed);
    return true;
}

std::optional<FaultRule> FaultRules::take(const QString &method, const QString &path)
{
    for (FaultRule &rule : m_rules) {
        if (rule.times == 0 || !rule.matches(method, path))
            continue;
        if (rule.times > 0)
            --rule.times;
        ++rule.hits;
        return rule;
    }
    return std::nullopt;
}

QJsonArray FaultRules::toJson() const
{
    QJsonArray array;
    for (const FaultRule &rule : m_rules)
        array.append(rule.toJson());
    return array;
}
