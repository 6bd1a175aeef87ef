#pragma once

#include <QWidget>

class AppStore;
class ModeButton;
class MoreButton;
class QAction;
class QuietButton;
class StoreWatcher;

// The row above the centre pane: the mode button with its subtitle, and, once the mode has jobs,
// "Add" (upscale only) and the "More actions" menu.
class Header final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Header)
public:
    Header(AppStore &store, StoreWatcher &watcher, QWidget *parent = nullptr);

    // The line under the mode's title, from the mode, the selection and the jobs.
    static QString subtitle(const AppStore &store);

    QAction *clearFinishedAction() const { return m_clearFinished; }
    QAction *removeAllAction() const { return m_removeAll; }

private:
    void refresh();

    AppStore &m_store;
    ModeButton *m_modeButton;
    QuietButton *m_add;
    MoreButton *m_more;
    QAction *m_clearFinished;
    QAction *m_removeAll;
};
