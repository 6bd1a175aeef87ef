#pragma once

#include <QList>
#include <QString>

// Latencies and errors of one benchmark phase, and the stand-in service's CPU time during it.
struct PhaseStats {
    QString name;
    QList<double> latenciesMs;
    int errors = 0;
    QString firstError;
    double wallMs = 0;
    double serverCpuMs = 0;

    int count() const { return int(latenciesMs.size()); }
    // Nearest-rank percentile, p in [0, 100]; 0 when nothing was measured.
    double percentile(double p) const;
    double mean() const;
    double requestsPerSecond() const;
    double serverCpuPerRequestMs() const;

    static QString header();
    // One table row; `offsetMs` is subtracted from the latencies (a deliberate hold, say).
    QString row(double offsetMs = 0) const;
};
