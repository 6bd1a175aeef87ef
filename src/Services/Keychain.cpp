// libsecret first: its GLib headers must not see Qt's macros.
#include <libsecret/secret.h>

#include "Services/Keychain.h"

#include <QStringDecoder>

namespace
{
// Matches on the attributes alone, so an item made by another tool with the same service and
// account is found too.
const SecretSchema *tokenSchema()
{
    static const SecretSchema schema = {"org.moonforge.Token",
                                        SECRET_SCHEMA_DONT_MATCH_NAME,
                                        {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                        0,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr};
    return &schema;
}

QString takeError(GError *&error)
{
    QString text = error ? QString::fromUtf8(error->message) : QStringLiteral("Unknown error.");
    g_clear_error(&error);
    return text;
}

std::optional<QString> decoded(const char *data, gsize length)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(QByteArrayView(data, static_cast<qsizetype>(length)));
    if (decoder.hasError() || text.isEmpty())
        return std::nullopt;
    return text;
}
} // namespace

QString Keychain::currentService(const QString &prefix)
{
    return prefix + QStringLiteral(".Moonforge");
}

QString Keychain::earlierService(const QString &prefix)
{
    return prefix + QStringLiteral(".Sharpzoom");
}

std::optional<QString> Keychain::read(const QString &service)
{
    GError *error = nullptr;
    SecretService *secrets = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error);
    if (!secrets) {
        g_clear_error(&error);
        return std::nullopt;
    }
    const QByteArray serviceName = service.toUtf8();
    GHashTable *attributes =
        secret_attributes_build(tokenSchema(), "service", serviceName.constData(), "account",
                                account, static_cast<const char *>(nullptr));
    // No unlock flag: a locked keyring must not raise a password prompt behind the user's
    // back; its items come back without their secrets and so read as no token.
    GList *items = secret_service_search_sync(secrets, tokenSchema(), attributes,
                                              SECRET_SEARCH_LOAD_SECRETS, nullptr, &error);
    g_hash_table_unref(attributes);
    g_object_unref(secrets);
    g_clear_error(&error);

    std::optional<QString> token;
    for (GList *node = items; node && !token; node = node->next) {
        SecretValue *value = secret_item_get_secret(static_cast<SecretItem *>(node->data));
        if (!value)
            continue;
        gsize length = 0;
        const char *data = secret_value_get(value, &length);
        token = decoded(data, length);
        secret_value_unref(value);
    }
    g_list_free_full(items, g_object_unref);
    return token;
}

std::optional<QString> Keychain::readToken(const Location &location)
{
    if (auto token = read(currentService(location.prefix)))
        return token;
    auto earlier = read(earlierService(location.prefix));
    if (earlier)
        writeToken(location, *earlier); // a failed copy is tried again on the next read
    return earlier;
}

Keychain::WriteResult Keychain::writeToken(const Location &location, const QString &token)
{
    const QString trimmed = token.trimmed();
    const QByteArray service = currentService(location.prefix).toUtf8();
    GError *error = nullptr;
    if (trimmed.isEmpty()) {
        // FALSE without an error means nothing matched: already deleted.
        secret_password_clear_sync(tokenSchema(), nullptr, &error, "service", service.constData(),
                                   "account", account, static_cast<const char *>(nullptr));
        if (error)
            return {false, takeError(error)};
        return {true, {}};
    }
    const QByteArray secret = trimmed.toUtf8();
    const QByteArray collection = location.collection.isEmpty()
                                      ? QByteArray(SECRET_COLLECTION_DEFAULT)
                                      : location.collection.toUtf8();
    // Storing replaces an item with the same attributes, so the item is updated in place.
    const bool stored = secret_password_store_sync(
        tokenSchema(), collection.constData(), "Moonforge: Replicate API token", secret.constData(),
        nullptr, &error, "service", service.constData(), "account", account,
        static_cast<const char *>(nullptr));
    if (!stored)
        return {false, takeError(error)};
    return {true, {}};
}
