#pragma once

#include <QString>

#include <optional>

// The session keyring as another program sees it (secret-tool), so tests check what our code
// left there without asking our code. Items are keyed by "service" and "account".
namespace KeyringTool
{
bool store(const QString &service, const QString &secret);
std::optional<QString> lookup(const QString &service);
int count(const QString &service);
} // namespace KeyringTool
