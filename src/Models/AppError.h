#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// A failure whose message is shown to the user as it stands.
class AppError : public std::exception
{
public:
    enum class Kind { unreadableImage, api, predictionFailed, missingToken, noOutput, cancelled };

    static AppError unreadableImage(const QString &name);
    static AppError api(int status, const QString &detail);
    static AppError predictionFailed(const QString &message);
    static AppError missingToken();
    static AppError noOutput();
    static AppError cancelled();

    Kind kind() const { return m_kind; }
    // HTTP status of an `api` error (0 when the request never got an answer), else 0.
    int status() const { return m_status; }
    // The service's own text of an `api` error, the name of an unreadable image, or the message
    // of a failed prediction.
    QString detail() const { return m_detail; }

    QString message() const;
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    AppError(Kind kind, int status, QString detail);

    Kind m_kind;
    int m_status = 0;
    QString m_detail;
    QByteArray m_utf8;
};

// The user-facing text of whatever was thrown: an AppError's message, or the exception's own.
QString localizedDescription(const std::exception &error);
