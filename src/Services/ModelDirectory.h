#pragma once

#include "Models/CatalogModel.h"
#include "Models/Mode.h"
#include "Models/ModelPrice.h"
#include "Models/SchemaState.h"
#include "Models/TaskHandle.h"
#include "Services/AppEnvironment.h"
#include "Services/Coroutine.h"
#include "Services/ReplicateClient.h"

#include <QFuture>
#include <QHash>
#include <QMap>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QSet>

#include <functional>
#include <memory>
#include <optional>

class TokenVault;

// What the service tells about models: the curated collections and search (ModelDirectory.cpp),
// each model's input schema (ModelDirectorySchemas.cpp) and its list price
// (ModelDirectoryPrices.cpp), with the two network managers they go through. Everything is used
// on the GUI thread; a load that waits resumes there before it writes anything.
class ModelDirectory final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ModelDirectory)
public:
    // `currentModels` gives the models a slug is looked up in when a load is given none; `vault`
    // gives the token and must outlive the directory.
    ModelDirectory(AppEnvironment environment, TokenVault &vault,
                   std::function<QList<CatalogModel>()> currentModels, QObject *parent = nullptr);
    // The one teardown: aborts every load's request; loads that resume see the directory
    // closing and touch nothing.
    ~ModelDirectory() override;

    // The manager every request with the token goes through; shared with the cancels still on
    // their way when the directory goes.
    QNetworkAccessManager *network();
    std::shared_ptr<QNetworkAccessManager> sharedNetwork();
    ReplicateClient client(const QString &token);
    // The handle every load runs under; cancelled by the teardown.
    TaskHandle loads() const { return m_loads; }
    // Being torn down: a load resumed by the teardown's aborts must touch nothing.
    bool closing() const { return m_closing; }

    // --- Collections and search ---
    const QMap<Mode, QList<CatalogModel>> &catalogs() const { return m_catalogs; }
    // Modes whose collection is loading or loaded.
    const QSet<Mode> &catalogLoads() const { return m_catalogLoads; }
    // Loads the mode's curated collection once per run of the application: only with a token,
    // and again on the next call after a failure or an empty answer. Returns at once.
    void loadCatalog(Mode mode);
    // Every model of the service matching `query`, as custom entries; empty without a token and
    // on any failure. Never throws.
    QCoro::Task<QList<CatalogModel>> searchModels(QString query);
    // The service turned the token away on the last collection load or search that got an
    // answer; catalogsChanged tells of each change.
    bool tokenRejected() const { return m_tokenRejected; }
    // A new token is stored: what the service said of the old one no longer holds.
    void forgetTokenRejection() { noteListingAnswer(false); }

    // --- Schemas ---
    const QMap<QString, SchemaState> &schemaStates() const { return m_schemaStates; }
    void setSchemaState(const QString &slug, const SchemaState &state);
    // Loads one schema: a fresh cached record answers alone; a stale one is shown at once and
    // replaced when the service answers; a schema already shown is never taken away by a
    // failure. The model is looked up in `models`, or in the current models when none is given.
    // Every schema load first looks for the model's price. Never throws.
    QCoro::Task<void> loadSchema(QString slug, std::optional<QList<CatalogModel>> models);
    // Loads side by side the schemas of `slugs` that are not ready yet, finding the models in
    // `models`, and completes once every one of them has finished, ready or failed. Never throws.
    QCoro::Task<void> loadSchemasForRun(QStringList slugs, QList<CatalogModel> models);
    // The failure of a load whose slug names no model of the lists it was looked for in.
    static QString unknownModelText();

    // --- Prices ---
    // The list prices known in this run, by slug.
    const QMap<QString, ModelPrice> &prices() const { return m_prices; }
    // Slugs whose price was looked for in this run; a failed look is not repeated.
    const QSet<QString> &priceLoads() const { return m_priceLoads; }
    // Slugs whose price is being read right now.
    const QSet<QString> &pricesInFlight() const { return m_pricesInFlight; }
    // Starts reading a model's price unless it is known or was already looked for in this run.
    void loadPrice(const QString &slug);

Q_SIGNALS:
    void catalogsChanged();
    void schemaStatesChanged();
    // prices, priceLoads or pricesInFlight changed.
    void pricesChanged();

private:
    friend class AppStoreProbe;
    // Still there and not being torn down: the test every load makes after each wait.
    static bool isLive(const QPointer<ModelDirectory> &directory);
    QCoro::Task<void> fetchCatalog(Mode mode);
    // Notes whether a listing's answer turned the token away.
    void noteListingAnswer(bool tokenRejected);
    void finishPriceLoad(const QString &slug, const std::optional<ModelPrice> &price);

    AppEnvironment m_environment;
    TokenVault &m_vault;
    std::function<QList<CatalogModel>()> m_currentModels;
    TaskHandle m_loads;
    bool m_closing = false;
    std::shared_ptr<QNetworkAccessManager> m_network;
    // Reads the public model pages; it never carries the token.
    std::shared_ptr<QNetworkAccessManager> m_pageNetwork;

    QMap<Mode, QList<CatalogModel>> m_catalogs;
    QSet<Mode> m_catalogLoads;
    bool m_tokenRejected = false;
    QMap<QString, SchemaState> m_schemaStates;
    // The schema fetch under way per slug; it completes once its answer is written.
    QHash<QString, QFuture<void>> m_schemaFetches;
    QMap<QString, ModelPrice> m_prices;
    QSet<QString> m_priceLoads;
    QSet<QString> m_pricesInFlight;
};
