// The store's side of the API token: what a stored token starts, and checking a new one against
// the service before it is stored. The token itself lives in TokenVault.
#include "Models/AppError.h"
#include "Services/AppStore.h"

void AppStore::setShowWelcome(bool show)
{
    m_vault->setShowWelcome(show);
}

// The welcome screen clears the check when the field is edited; submitToken() sets the rest.
void AppStore::setTokenCheck(const TokenCheck &check)
{
    m_vault->setCheck(check);
}

// A stored token loads the current mode's collection (upscale without a mode) and the selected
// models' schemas.
QCoro::Task<bool> AppStore::setToken(QString token)
{
    const QPointer<AppStore> self(this);
    const bool storing = !token.trimmed().isEmpty();
    auto writing = m_vault->write(token);
    const bool written = co_await writing;
    if (!self || m_directory->closing())
        co_return false;
    if (!written || !storing)
        co_return written;
    m_directory->forgetTokenRejection();
    m_directory->loadCatalog(currentMode());
    for (const QString &slug : state().selectedSlugs) {
        m_directory->setSchemaState(slug, SchemaState::loading());
        startSchemaLoad(slug);
    }
    co_return true;
}

// Asks the service for the focused model with the trimmed token and stores the token when the
// service accepts it; otherwise the vault's check() says why and nothing else changes. A blank text
// changes nothing. An accepted token the keyring will not keep returns false, with the check
// invalid and saying why. Never throws.
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
        const ReplicateClient checker = m_directory->client(trimmed);
        auto fetch = checker.fetchModel(model.owner, model.name, m_directory->loads());
        co_await fetch;
    } catch (const AppError &error) {
        rejection = TokenCheck::invalid(error.kind() == AppError::Kind::api && error.status() == 401
                                            ? TokenVault::rejectedTokenText()
                                            : error.message());
    } catch (const std::exception &error) {
        rejection = TokenCheck::invalid(localizedDescription(error));
    }
    // The directory's teardown aborts the check and resumes this at once.
    if (!self || m_directory->closing())
        co_return false;
    if (rejection) {
        setTokenCheck(*rejection);
        co_return false;
    }
    setTokenCheck(TokenCheck::valid());
    auto storing = setToken(trimmed);
    const bool stored = co_await storing;
    if (!self)
        co_return false;
    if (!stored) {
        // Accepted by the service but not kept: the welcome screen must stay and say why.
        setTokenCheck(TokenCheck::invalid(m_vault->storeError()));
        co_return false;
    }
    co_return true;
}
