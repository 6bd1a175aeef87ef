#pragma once

#include "Models/TokenCheck.h"
#include "Services/AppEnvironment.h"
#include "Services/Coroutine.h"

#include <QObject>
#include <QThreadPool>

#include <memory>
#include <optional>

// Where the API token lives: the keyring, else REPLICATE_API_TOKEN, and what the application
// knows of it. Keyring calls may wait on D-Bus: they run one at a time, in the order asked, on
// the vault's own thread, and their answers are applied on the GUI thread. Until the first read
// at start-up has answered, known() is false and both hasToken() and showWelcome() are false.
class TokenVault final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TokenVault)
public:
    enum class Source { none, keyring, environment };

    // Starts the read of the stored token; readAtStart() reports its answer.
    explicit TokenVault(AppEnvironment environment, QObject *parent = nullptr);
    // The one teardown: waits for a keyring call that is running; answers still due are dropped.
    ~TokenVault() override;

    bool known() const { return m_known; }
    bool hasToken() const { return m_hasToken; }
    bool showWelcome() const { return m_showWelcome; }
    void setShowWelcome(bool show);
    Source source() const { return m_source; }
    TokenCheck check() const { return m_check; }
    void setCheck(const TokenCheck &check);
    // Why the last write() could not change the keyring; empty when it could.
    QString storeError() const { return m_storeError; }

    // The token every request uses: the keyring's (an item under the earlier service name is
    // copied to the current one on the way), else the environment's. Never throws.
    QCoro::Task<std::optional<QString>> read();
    // Stores the trimmed token, or removes the stored one when it is blank; returns whether the
    // keyring did as asked. A failed write leaves hasToken() as it was and storeError() says why.
    QCoro::Task<bool> write(QString token);

    static QString rejectedTokenText();

Q_SIGNALS:
    // known, hasToken, showWelcome, source or storeError changed.
    void changed();
    void checkChanged();
    // The start-up read has answered; changed() came first.
    void readAtStart();

private:
    QCoro::Task<void> readStored();
    void apply(bool inKeyring);

    AppEnvironment m_environment;
    bool m_known = false;
    bool m_hasToken = false;
    bool m_showWelcome = false;
    Source m_source = Source::none;
    TokenCheck m_check;
    QString m_storeError;
    // Keyring calls, one at a time in the order asked.
    std::unique_ptr<QThreadPool> m_keyringThread;
};
