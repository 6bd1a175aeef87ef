#include "Models/AppError.h"

AppError::AppError(Kind kind, int status, QString detail)
    : m_kind(kind), m_status(status), m_detail(std::move(detail)), m_utf8(message().toUtf8())
{
}

AppError AppError::unreadableImage(const QString &name)
{
    return AppError(Kind::unreadableImage, 0, name);
}

AppError AppError::api(int status, const QString &detail)
{
    return AppError(Kind::api, status, detail);
}

AppError AppError::predictionFailed(const QString &message)
{
    return AppError(Kind::predictionFailed, 0, message);
}

AppError AppError::missingToken()
{
    return AppError(Kind::missingToken, 0, {});
}

AppError AppError::noOutput()
{
    return AppError(Kind::noOutput, 0, {});
}

AppError AppError::cancelled()
{
    return AppError(Kind::cancelled, 0, {});
}

QString AppError::message() const
{
    switch (m_kind) {
    case Kind::unreadableImage:
        return QStringLiteral("Couldn't read ") + m_detail + QLatin1Char('.');
    case Kind::api:
        // The three fixed texts say more than whatever the service wrote.
        switch (m_status) {
        case 401:
            return QStringLiteral("Replicate rejected the API token.");
        case 402:
            return QStringLiteral("Replicate says this account needs billing set up.");
        case 429:
            return QStringLiteral("Rate limited by Replicate. Try fewer at a time.");
        default:
            if (!m_detail.isEmpty())
                return m_detail;
            return QStringLiteral("Replicate returned HTTP %1.").arg(m_status);
        }
    case Kind::predictionFailed:
        return m_detail;
    case Kind::missingToken:
        return QStringLiteral("Add your Replicate API token in Settings first.");
    case Kind::noOutput:
        return QStringLiteral("The model finished but returned no file.");
    case Kind::cancelled:
        return QStringLiteral("Cancelled.");
    }
    Q_UNREACHABLE();
    return QString();
}

QString localizedDescription(const std::exception &error)
{
    if (const auto *appError = dynamic_cast<const AppError *>(&error))
        return appError->message();
    return QString::fromUtf8(error.what());
}
