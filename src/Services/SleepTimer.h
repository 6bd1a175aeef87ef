#pragma once

#include <QObject>
#include <QTimer>

// A one-shot timer that can also be woken early, so a sleeping coroutine resumes on cancel.
class SleepTimer : public QObject
{
    Q_OBJECT
public:
    explicit SleepTimer(int milliseconds, QObject *parent = nullptr);

    void start();
    void wake();

Q_SIGNALS:
    void woken();

private:
    QTimer m_timer;
    bool m_woken = false;
};
