#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QUrl>
#include <QVariantMap>

// One Moonforge per user, so one store over the settings and history. The first launch takes the
// application's name on the session bus and answers the desktop's standard application interface
// there; a later launch hands its files to it (queued for upscaling, the window brought forward)
// and leaves.
class SingleInstance final : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
    Q_DISABLE_COPY_MOVE(SingleInstance)
public:
    static const QString service;
    static const QString path;

    explicit SingleInstance(const QDBusConnection &bus, QObject *parent = nullptr);

    // Answers on the bus and takes the name; false when another process holds it (or no bus).
    bool claim();
    // From now on hand-overs are refused: this instance is ending, a later launch starts anew.
    void close();

    enum class HandOver { delivered, noInstance, closing, failed };
    // As a later launch: gives the running instance `files` (none only brings it forward),
    // passing on the launcher's activation token.
    static HandOver handOver(const QDBusConnection &bus, const QList<QUrl> &files);
    // Waits up to `milliseconds` for the name to be free again.
    static bool waitUntilFree(const QDBusConnection &bus, int milliseconds);

Q_SIGNALS:
    // Files a later launch handed over; any activation token that came with them is in
    // XDG_ACTIVATION_TOKEN by then.
    void openRequested(const QList<QUrl> &files);
    void activateRequested();

public Q_SLOTS:
    Q_SCRIPTABLE void Activate(const QVariantMap &platformData);
    Q_SCRIPTABLE void Open(const QStringList &uris, const QVariantMap &platformData);

private:
    bool refuseWhileClosing();
    void takeActivationToken(const QVariantMap &platformData);

    QDBusConnection m_bus;
    bool m_closing = false;
};
