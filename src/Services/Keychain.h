#pragma once

#include <QString>

#include <optional>

// The API token in the freedesktop Secret Service. Every call is synchronous and may wait on
// D-Bus, so the store makes them on its keyring thread, never on the GUI thread; they are safe
// from any thread. Items carry the attributes "service" and "account"; an absent, locked or
// broken keyring reads as no token and makes writes fail with its reason.
namespace Keychain
{
// Where the token lives: the services' prefix and the collection new items go into (a D-Bus
// object path or alias; empty means the default collection).
struct Location {
    QString prefix;
    QString collection;
};

// The outcome of a write: whether the keyring now holds what was asked, and why not.
struct WriteResult {
    bool stored = false;
    QString error;
};

inline constexpr auto account = "replicate-api-token";
QString currentService(const QString &prefix);
// The service name of the application's earlier version; only ever read.
QString earlierService(const QString &prefix);

// The token stored for `service`, or none (missing, locked, empty, not UTF-8, no keyring).
std::optional<QString> read(const QString &service);
// The current item's token; else the earlier item's, copied to the current item (which is what
// makes the copy happen once: afterwards the current item answers).
std::optional<QString> readToken(const Location &location);
// Stores the trimmed token in the current item, replacing its secret in place; an empty or
// blank token deletes the item, and a missing item counts as deleted.
WriteResult writeToken(const Location &location, const QString &token);
} // namespace Keychain
