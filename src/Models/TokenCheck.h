#pragma once

#include <QString>

// Where checking a new API token against the service stands.
class TokenCheck
{
public:
    enum class Kind { idle, checking, valid, invalid };

    TokenCheck() = default;
    static TokenCheck idle() { return TokenCheck(); }
    static TokenCheck checking() { return TokenCheck(Kind::checking, {}); }
    static TokenCheck valid() { return TokenCheck(Kind::valid, {}); }
    static TokenCheck invalid(const QString &message) { return TokenCheck(Kind::invalid, message); }

    Kind kind() const { return m_kind; }
    // Why an invalid token was turned down.
    QString message() const { return m_message; }

    friend bool operator==(const TokenCheck &, const TokenCheck &) = default;

private:
    TokenCheck(Kind kind, QString message) : m_kind(kind), m_message(std::move(message)) {}

    Kind m_kind = Kind::idle;
    QString m_message;
};
