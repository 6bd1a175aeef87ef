#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QTimer>

// The run's progress on the task bar and docks, through the LauncherEntry "Update" signal that
// KDE Plasma and the GNOME docks read. Updates are gathered so a run of thousands of pairs sends
// a few signals a second at most. Without a bus nothing happens and nothing is printed.
class TaskbarProgress final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TaskbarProgress)
public:
    explicit TaskbarProgress(const QDBusConnection &bus, QObject *parent = nullptr);
    // Takes a progress still showing away.
    ~TaskbarProgress() override;

    // Shows `fraction` (0…1) done and `remaining` as the badge count.
    void show(double fraction, int remaining);
    // Takes the progress and the count away.
    void clear();

    // "application://<desktop file id>", which the docks match against their launchers.
    static QString applicationUri();
    static QString objectPath();
    static const QString interface;
    static constexpr int gatherMilliseconds = 200;

private:
    void send();

    QDBusConnection m_bus;
    QTimer m_gather;
    bool m_showing = false;
    // What shows, and what is to show: progress in thousandths, and the count.
    int m_sentPermille = -1;
    int m_sentRemaining = -1;
    int m_permille = 0;
    int m_remaining = 0;
};
