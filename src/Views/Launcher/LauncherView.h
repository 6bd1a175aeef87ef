#pragma once

#include <QWidget>

class AppStore;
class ModeTile;

// The screen while no mode is chosen: the mark, the name, one line, and a tile per mode.
class LauncherView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LauncherView)
public:
    explicit LauncherView(AppStore &store, QWidget *parent = nullptr);

    QList<ModeTile *> tiles() const { return m_tiles; }

private:
    AppStore &m_store;
    QList<ModeTile *> m_tiles;
};
