#pragma once

#include "Models/Mode.h"

#include <QWidget>

class AppStore;
class StoreWatcher;

// The strip under the centre pane: the run's progress and count while a run goes, else the
// summary of what finished (or "Ready"); on the right, a warning while no API token is stored.
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
    static QString tokenWarningText();

    // The words after a run: done count, failures, and the hint when several models ran.
    static QString completionSummary(int done, int failed, int selectedModels, Mode mode);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    // Tells screen readers which parts changed since the last refresh.
    void announce(const QString &text, bool running, qreal progress, bool noToken);

    AppStore &m_store;
    QString m_text;
    bool m_running = false;
    bool m_showsCheckmark = false;
    bool m_noToken = false;
    qreal m_progress = 0;
};
