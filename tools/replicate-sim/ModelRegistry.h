#pragma once

#include "SchemaFactory.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

// One model the stand-in service knows, with what its predictions should produce.
struct SimModel {
    QString owner;
    QString name;
    QJsonObject record;
    SchemaFactory::Kind kind = SchemaFactory::Kind::image;
    SchemaFactory::OutputShape shape = SchemaFactory::OutputShape::single;

    QString slug() const { return owner + QLatin1Char('/') + name; }
    QString versionId() const;
    QJsonObject inputSchema() const;
    QJsonObject schemas() const;
};

// Every model record served: the fixture files first, then the built-in catalog filled in from
// SchemaFactory, plus the curated collections.
class ModelRegistry
{
public:
    ModelRegistry();

    const SimModel *find(const QString &owner, const QString &name) const;
    const SimModel *findByVersion(const QString &versionId) const;
    QList<const SimModel *> search(const QString &text) const;
    // Collection slugs mapped to the model slugs they list, in order.
    QStringList collection(const QString &slug) const;
    QJsonObject collectionInfo(const QString &slug) const;
    QList<const SimModel *> all() const;

private:
    void add(SimModel model);

    QMap<QString, SimModel> m_models;
    QMap<QString, QStringList> m_collections;
};
