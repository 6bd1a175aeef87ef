#pragma once

#include <QProcess>
#include <QStringList>
#include <QUrl>

// One stand-in service process for the benchmark, stopped with the object.
class SimProcess
{
public:
    SimProcess(const QString &binary, const QStringList &arguments);
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    bool isRunning() const { return m_base.isValid() && !m_base.isEmpty(); }
    QString errorString() const { return m_error; }
    QUrl baseUrl() const { return m_base; }
    QUrl url(const QString &pathAndQuery) const;
    // User plus system CPU time the process has used so far (clock-tick resolution, 10 ms here).
    double cpuMs() const;

private:
    QProcess m_process;
    QUrl m_base;
    QString m_error;
};
