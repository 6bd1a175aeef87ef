// The API token: the keyring's answers applied to the store, storing and removing the token,
// and checking a new one against the service.
#include "Services/AppStore.h"

#include "Models/AppError.h"
#include "Services/Coroutine.h"
#include "Services/Keychain.h"

#include <QCoroFuture>
#include <QtConcurrent>

namespace
{
Keychain::Location keychainLocation(const AppEnvironment &environment)
{
    return {environment.keychainPrefix, environment.keychainCollection};
}

// The keyring calls are queued here, outside the coroutines, so that no lambda is made inside a
// co_await expression.
QFuture<std::optional<QString>> readLater(QThreadPool *thread, const Keychain::Location &location)
{
    return QtConcurrent::run(thread, [location] { return Keychain::readToken(location); });
}

QFuture<Keychain::WriteResult> writeLater(QThreadPool *thread, const Keychain::Location &location,
                                          const QString &token)
{
    return QtConcurrent::run(thread,
                             [location, token] { return Keychain::writeToken(location, token); });
}
} // namespace

std::unique_ptr<QThreadPool> AppStore::makeKeyringThread()
{
    auto pool = std::make_unique<QThreadPool>();
    // One thread: calls run in the order they were asked, so a read asked after a write sees
    // what the write left.
    pool->setMaxThreadCount(1);
    pool->setExpiryTimeout(-1);
    return pool;
}

bool AppStore::isLive(const QPointer<AppStore> &store)
{
    return store && !store->m_loads.closing;
}

QString AppStore::rejectedTokenText()
{
    return QStringLiteral("That token was rejected. Check you copied all of it.");
}

QCoro::Task<std::optional<QString>> AppStore::readToken()
{
    // Copied before the wait: the store may be gone when the keyring answers.
    const QString fallback = m_environment.environmentToken.trimmed();
    const auto pending = readLater(m_keyringThread.get(), keychainLocation(m_environment));
    std::optional<QString> token = co_await pending;
    if (!token && !fallback.isEmpty())
        token = fallback;
    co_return token;
}

QCoro::Task<void> AppStore::readStartupToken()
{
    const QPointer<AppStore> self(this);
    const auto pending = readLater(m_keyringThread.get(), keychainLocation(m_environment));
    const std::optional<QString> stored = co_await pending;
    // A setToken() answered first (it cannot, being queued behind this read, but its answer
    // would be the newer one).
    if (!isLive(self) || m_tokenKnown)
        co_return;
    applyToken(stored.has_value());
    // A mode chosen while the keyring was still answering found no token: load now.
    if (m_hasToken && m_mode)
        loadCatalog(*m_mode);
}

void AppStore::applyToken(bool inKeyring)
{
    const bool inEnvironment = !m_environment.environmentToken.trimmed().isEmpty();
    m_tokenKnown = true;
    m_hasToken = inKeyring || inEnvironment;
    m_showWelcome = !m_hasToken;
    m_tokenSource = inKeyring       ? TokenSource::keyring
                    : inEnvironment ? TokenSource::environment
                                    : TokenSource::none;
    Q_EMIT tokenChanged();
}

void AppStore::setShowWelcome(bool show)
{
    if (m_showWelcome == show)
        return;
    m_showWelcome = show;
    Q_EMIT tokenChanged();
}

void AppStore::setTokenCheck(const TokenCheck &check)
{
    if (m_tokenCheck == check)
        return;
    m_tokenCheck = check;
    Q_EMIT tokenCheckChanged();
}

QCoro::Task<bool> AppStore::setToken(QString token)
{
    const QPointer<AppStore> self(this);
    const QString trimmed = token.trimmed();
    const auto pending =
        writeLater(m_keyringThread.get(), keychainLocation(m_environment), trimmed);
    const Keychain::WriteResult result = co_await pending;
    if (!isLive(self))
        co_return false;

    m_tokenStoreError =
        result.stored ? QString()
                      : QStringLiteral("The keyring did not store the token: %1").arg(result.error);
    if (trimmed.isEmpty()) {
        // Removing always clears the flags; a delete the keyring refused is still reported.
        applyToken(false);
        setTokenCheck(TokenCheck::idle());
        co_return result.stored;
    }
    if (!result.stored) {
        // Nothing was stored, so nothing changes but the reason the settings screen shows.
        Q_EMIT tokenChanged();
        co_return false;
    }
    applyToken(true);
    loadCatalog(currentMode());
    for (const QString &slug : state().selectedSlugs) {
        setSchemaState(slug, SchemaState::loading());
        startSchemaLoad(slug);
    }
    co_return true;
}

QCoro::Task<bool> AppStore::submitToken(QString token)
{
    const QPointer<AppStore> self(this);
    const QString trimmed = token.trimmed();
    if (trimmed.isEmpty())
        co_return false;
    setTokenCheck(TokenCheck::checking());
    const CatalogModel model = focusedModel();
    std::optional<TokenCheck> rejection;
    try {
        const ReplicateClient checker = client(trimmed);
        auto fetch = checker.fetchModel(model.owner, model.name, m_loads.handle);
        co_await fetch;
    } catch (const AppError &error) {
        rejection = TokenCheck::invalid(error.kind() == AppError::Kind::api && error.status() == 401
                                            ? rejectedTokenText()
                                            : error.message());
    } catch (const std::exception &error) {
        rejection = TokenCheck::invalid(localizedDescription(error));
    }
    if (!isLive(self))
        co_return false;
    if (rejection) {
        setTokenCheck(*rejection);
        co_return false;
    }
    setTokenCheck(TokenCheck::valid());
    auto store = setToken(trimmed);
    const bool stored = co_await store;
    if (!isLive(self))
        co_return false;
    if (!stored) {
        // Accepted by the service but not kept: the welcome screen must stay and say why.
        setTokenCheck(TokenCheck::invalid(m_tokenStoreError));
        co_return false;
    }
    co_return true;
}
