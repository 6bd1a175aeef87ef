#pragma once

#include "http/HttpRequest.h"

#include <QJsonArray>
#include <QList>

// Every request the service received (control requests excepted), so tests can check exactly
// what a client sent.
class RequestLog
{
public:
    void record(const HttpRequest &request);
    QJsonArray toJson() const { return m_entries; }
    void clear() { m_entries = {}; }
    qsizetype size() const { return m_entries.size(); }

private:
    QJsonArray m_entries;
};
