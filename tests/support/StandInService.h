#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// The stand-in service binary, started on a free loopback port for one test and stopped with it.
// Control calls block (with their own event loop) so tests stay linear.
class StandInService
{
public:
    struct Options {
        double predictSeconds = 0.2;
        double timeScale = 1;
        // Held creates answer with their files inline (--data-outputs).
        bool dataOutputs = false;
    };

    StandInService();
    explicit StandInService(Options options);
    ~StandInService();
    StandInService(const StandInService &) = delete;
    StandInService &operator=(const StandInService &) = delete;

    // False (with the reason in errorString()) when the binary could not be started.
    bool isRunning() const;
    QString errorString() const { return m_error; }

    // "http://127.0.0.1:PORT"
    QUrl baseUrl() const { return m_base; }
    // baseUrl() + "/v1": what the client treats as the service's API base.
    QUrl apiBase() const;
    // baseUrl(): where the model pages live.
    QUrl webBase() const { return m_base; }

    // Adds fault rules (see tools/replicate-sim/README.md); false when the service refused them.
    bool addFault(const QJsonObject &rule);
    bool addFaults(const QJsonArray &rules);
    // Clears the faults and the request log.
    bool reset();
    // Every prediction the service holds: id, model and status.
    QJsonArray predictions();
    // Every request received since the last reset, oldest first.
    QJsonArray requests();
    // Only the requests whose path starts with `pathPrefix`.
    QJsonArray requests(const QString &pathPrefix);

    // One blocking request to the service; nothing when it gave no HTTP answer.
    struct Reply {
        int status = 0;
        QByteArray body;
        QJsonObject object() const;
    };
    std::optional<Reply> call(const QByteArray &method, const QString &path,
                              const QByteArray &body = {},
                              const QList<QPair<QByteArray, QByteArray>> &headers = {});

    static QString binaryPath();

private:
    QProcess m_process;
    QUrl m_base;
    QString m_error;
};
