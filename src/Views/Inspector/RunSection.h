#pragma once

#include <QTimer>
#include <QWidget>

class AppStore;
class GlowButton;
class PlainButton;
class QCheckBox;
class QLabel;

// The bottom of the inspector: the token prompt, the estimate of what is queued, the spending
// limit, the run (or Stop) button and "Reveal in File Manager when done". It follows every job's
// variants through the store's job tracker, so the run title counts what is pending at any moment.
class RunSection final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RunSection)
public:
    explicit RunSection(AppStore &store, QWidget *parent = nullptr);

Q_SIGNALS:
    void settingsRequested();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void refresh();

    AppStore &m_store;
    PlainButton *m_token;
    QWidget *m_estimateRow;
    QLabel *m_estimate;
    GlowButton *m_run;
    QCheckBox *m_reveal;
    // Many variants change at once during a run: one refresh per pass of the event loop.
    QTimer m_refresh;
    QTimer m_sizesRead;
};
