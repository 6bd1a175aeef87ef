#include "SimService.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace
{

// The endless collection's page size; the service answers real collections whole.
constexpr int kPageSize = 4;
const QString kEndless = QStringLiteral("endless");

// The search body is plain text, but some clients send it JSON-encoded ("\"flux\""): take the
// string inside such a body rather than searching for the quotes.
QString searchText(const QByteArray &body)
{
    const QByteArray trimmed = body.trimmed();
    if (trimmed.size() >= 2 && trimmed.startsWith('"') && trimmed.endsWith('"')) {
        const QJsonArray wrapped = QJsonDocument::fromJson("[" + trimmed + "]").array();
        if (wrapped.size() == 1 && wrapped.first().isString())
            return wrapped.first().toString();
    }
    return QString::fromUtf8(body);
}

} // namespace

QJsonObject SimService::modelListing(const SimModel &model) const
{
    return model.record;
}

bool SimService::handleModels(const HttpRequest &request, HttpReply &reply)
{
    const QStringList parts = request.path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    // parts[0] is "v1".
    if ((request.method == "QUERY") && parts.size() == 2 &&
        (parts.at(1) == QLatin1String("models") || parts.at(1) == QLatin1String("search"))) {
        QJsonArray results;
        for (const SimModel *model : m_models.search(searchText(request.body)))
            results.append(modelListing(*model));
        reply.send(HttpResponse::json(
            200, QJsonDocument(QJsonObject{{QStringLiteral("results"), results},
                                           {QStringLiteral("next"), QJsonValue::Null},
                                           {QStringLiteral("previous"), QJsonValue::Null}})));
        return true;
    }
    if (request.method != "GET")
        return false;
    if (parts.size() == 4 && parts.at(1) == QLatin1String("models")) {
        const SimModel *model = m_models.find(parts.at(2), parts.at(3));
        if (!model)
            reply.send(HttpResponse::error(404, QStringLiteral("Not found.")));
        else
            reply.send(HttpResponse::json(200, QJsonDocument(model->record)));
        return true;
    }
    if (parts.size() == 2 && parts.at(1) == QLatin1String("collections")) {
        QJsonArray results;
        for (const QString &slug :
             {QStringLiteral("super-resolution"), QStringLiteral("text-to-image"),
              QStringLiteral("text-to-video")})
            results.append(m_models.collectionInfo(slug));
        reply.send(HttpResponse::json(
            200, QJsonDocument(QJsonObject{{QStringLiteral("results"), results},
                                           {QStringLiteral("next"), QJsonValue::Null}})));
        return true;
    }
    if (parts.size() == 3 && parts.at(1) == QLatin1String("collections")) {
        const QString &slug = parts.at(2);
        const int cursor = qMax(0, request.query.queryItemValue(QStringLiteral("cursor")).toInt());
        QStringList slugs = m_models.collection(slug);
        const bool endless = slug == kEndless;
        if (endless) {
            // Pages forever, cycling through every model, for clients that must cap paging.
            const QList<const SimModel *> all = m_models.all();
            for (int i = 0; i < kPageSize; ++i)
                slugs.append(all.at((cursor * kPageSize + i) % all.size())->slug());
        } else if (slugs.isEmpty()) {
            reply.send(HttpResponse::error(404, QStringLiteral("Not found.")));
            return true;
        }
        // The service answers a collection whole; only the endless one pages.
        const QStringList page = slugs;
        QJsonArray models;
        for (const QString &entry : page) {
            const SimModel *model = m_models.find(entry.section(QLatin1Char('/'), 0, 0),
                                                  entry.section(QLatin1Char('/'), 1));
            if (model)
                models.append(modelListing(*model));
        }
        const bool more = endless;
        const QString here = m_base + QStringLiteral("/v1/collections/") + slug;
        QJsonObject object = m_models.collectionInfo(slug);
        object.insert(QStringLiteral("models"), models);
        object.insert(QStringLiteral("next"), more ? QJsonValue(here + QStringLiteral("?cursor=") +
                                                                QString::number(cursor + 1))
                                                   : QJsonValue::Null);
        object.insert(
            QStringLiteral("previous"),
            cursor > 0 ? QJsonValue(here + QStringLiteral("?cursor=") + QString::number(cursor - 1))
                       : QJsonValue::Null);
        reply.send(HttpResponse::json(200, QJsonDocument(object)));
        return true;
    }
    return false;
}
