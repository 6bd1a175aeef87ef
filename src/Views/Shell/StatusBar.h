#pragma once

#include "Models/Mode.h"
#include "Models/RunSpend.h"

#include <QWidget>

class AppStore;
class StoreWatcher;

// The strip under the centre pane: the run's progress and count while a run goes, else the
// summary of what finished (or "Ready"); on the right, what the mode's latest run spent and a
// warning while no API token is stored.
class StatusBar final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusBar)
public:
    StatusBar(AppStore &store, StoreWatcher &watcher, QWidget *parent = nullptr);

    // What the leading side reads: "3 of 6", "4 upscaled, 1 failed", "Ready" or nothing.
    QString leadingText() const { return m_text; }
    bool showsProgress() const { return m_running; }
    // The bar's fill, 0…1.
    qreal progress() const { return m_progress; }
    bool showsTokenWarning() const { return m_noToken; }
    // "Spent $1.24 of $5.00", "Stopped at the $5.00 limit, spent $4.96" or nothing.
    QString spendText() const { return m_spendText; }
    static QString tokenWarningText();

    // The words after a run: done count, failures, and the hint when several models ran.
    static QString completionSummary(int done, int failed, int selectedModels, Mode mode);
    // What a run spent, against its limit and why it stopped; empty when there is nothing to say
    // (no limit and nothing priced).
    static QString spendSummary(const RunSpend &spend);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    // Tells screen readers which parts changed since the last refresh.
    void announce(const QString &text, bool running, qreal progress, const QString &spendText,
                  bool noToken);

    AppStore &m_store;
    QString m_text;
    QString m_spendText;
    bool m_running = false;
    bool m_showsCheckmark = false;
    bool m_noToken = false;
    qreal m_progress = 0;
};
