#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrlQuery>

// One parsed HTTP/1.x request. Header names are kept lower-cased so lookups need no folding.
struct HttpRequest {
    QByteArray method;
    QByteArray target;
    QString path;
    QUrlQuery query;
    int minorVersion = 1;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    bool keepAlive = true;

    QByteArray header(const QByteArray &lowerName) const
    {
        for (const auto &pair : headers) {
            if (pair.first == lowerName)
                return pair.second;
        }
        return {};
    }
    bool hasHeader(const QByteArray &lowerName) const
    {
        for (const auto &pair : headers) {
            if (pair.first == lowerName)
                return true;
        }
        return false;
    }
};
