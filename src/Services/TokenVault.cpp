#include "Services/TokenVault.h"

#include "Services/Keychain.h"

#include <QCoroFuture>
#include <QPointer>
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

TokenVault::TokenVault(AppEnvironment environment, QObject *parent)
    : QObject(parent), m_environment(std::move(environment)),
      m_keyringThread(std::make_unique<QThreadPool>())
{
    // One thread: calls run in the order they were asked, so a read asked after a write sees
    // what the write left.
    m_keyringThread->setMaxThreadCount(1);
    m_keyringThread->setExpiryTimeout(-1);
    readStored();
}

TokenVault::~TokenVault() = default;

QString TokenVault::rejectedTokenText()
{
    return QStringLiteral("That token was rejected. Check you copied all of it.");
}

QCoro::Task<std::optional<QString>> TokenVault::read()
{
    // Copied before the wait: the vault may be gone when the keyring answers.
    const QString fallback = m_environment.environmentToken.trimmed();
    auto pending = readLater(m_keyringThread.get(), keychainLocation(m_environment));
    std::optional<QString> token = co_await pending;
    if (!token && !fallback.isEmpty())
        token = fallback;
    co_return token;
}

QCoro::Task<void> TokenVault::readStored()
{
    const QPointer<TokenVault> self(this);
    auto pending = readLater(m_keyringThread.get(), keychainLocation(m_environment));
    const std::optional<QString> stored = co_await pending;
    // A write answered first (it cannot, being queued behind this read, but its answer would be
    // the newer one).
    if (!self || m_known)
        co_return;
    apply(stored.has_value());
    Q_EMIT readAtStart();
}

void TokenVault::apply(bool inKeyring)
{
    const bool inEnvironment = !m_environment.environmentToken.trimmed().isEmpty();
    m_known = true;
    m_hasToken = inKeyring || inEnvironment;
    m_showWelcome = !m_hasToken;
    m_source = inKeyring ? Source::keyring : inEnvironment ? Source::environment : Source::none;
    Q_EMIT changed();
}

void TokenVault::setShowWelcome(bool show)
{
    if (m_showWelcome == show)
        return;
    m_showWelcome = show;
    Q_EMIT changed();
}

void TokenVault::setCheck(const TokenCheck &check)
{
    if (m_check == check)
        return;
    m_check = check;
    Q_EMIT checkChanged();
}

QCoro::Task<bool> TokenVault::write(QString token)
{
    const QPointer<TokenVault> self(this);
    const QString trimmed = token.trimmed();
    auto pending = writeLater(m_keyringThread.get(), keychainLocation(m_environment), trimmed);
    const Keychain::WriteResult result = co_await pending;
    if (!self)
        co_return false;

    m_storeError =
        result.stored ? QString()
                      : QStringLiteral("The keyring did not store the token: %1").arg(result.error);
    if (trimmed.isEmpty()) {
        // Removing always clears the flags; a delete the keyring refused is still reported.
        apply(false);
        setCheck(TokenCheck::idle());
        co_return result.stored;
    }
    if (!result.stored) {
        // Nothing was stored, so nothing changes but the reason the settings screen shows.
        Q_EMIT changed();
        co_return false;
    }
    apply(true);
    co_return true;
}
