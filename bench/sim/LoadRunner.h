#pragma once

#include "PhaseStats.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>

#include <functional>
#include <optional>

class SimProcess;

struct BenchCall {
    QByteArray method;
    QUrl url;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    // Carried through to the check, e.g. the prediction a poll is about.
    QString tag;
};

struct BenchResult {
    int status = 0;
    QByteArray body;
    double ms = 0;
    QString transportError;
};

// Keeps up to N requests in flight against the stand-in service and times each one.
class LoadRunner : public QObject
{
    Q_OBJECT
public:
    // Next call to make, or nothing when there is no work right now (a later check may add some).
    using Next = std::function<std::optional<BenchCall>()>;
    // Whether a result is correct; a false answer counts as an error.
    using Check = std::function<bool(const BenchCall &, const BenchResult &, QString *problem)>;

    explicit LoadRunner(const SimProcess &sim, QObject *parent = nullptr);

    // Runs until `next` gives nothing and no request is in flight.
    PhaseStats run(const QString &name, int concurrency, const Next &next, const Check &check);

Q_SIGNALS:
    // A request finished; queued, so that refilling never recurses inside a reply's handler.
    void slotFreed();

private:
    bool startOne(const Next &next, const Check &check, PhaseStats &stats);

    const SimProcess &m_sim;
    QNetworkAccessManager m_network;
    int m_inFlight = 0;
};
