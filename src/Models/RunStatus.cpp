#include "Models/RunStatus.h"

bool RunStatus::isActive() const
{
    switch (m_kind) {
    case Kind::preparing:
    case Kind::uploading:
    case Kind::running:
    case Kind::downloading:
        return true;
    default:
        return false;
    }
}

bool RunStatus::isTerminal() const
{
    return m_kind == Kind::done || m_kind == Kind::failed || m_kind == Kind::cancelled;
}

bool RunStatus::isPending() const
{
    return m_kind == Kind::waiting || m_kind == Kind::failed || m_kind == Kind::cancelled;
}

QString RunStatus::debugName() const
{
    switch (m_kind) {
    case Kind::waiting:
        return QStringLiteral("waiting");
    case Kind::preparing:
        return QStringLiteral("preparing");
    case Kind::uploading:
        return QStringLiteral("uploading");
    case Kind::running:
        return QStringLiteral("running");
    case Kind::downloading:
        return QStringLiteral("downloading");
    case Kind::done:
        return QStringLiteral("done");
    case Kind::failed:
        return QStringLiteral("failed(%1)").arg(m_message);
    case Kind::cancelled:
        return QStringLiteral("cancelled");
    }
    Q_UNREACHABLE();
    return QString();
}
