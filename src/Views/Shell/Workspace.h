#pragma once

#include <QWidget>

class AppStore;
class CentreContent;
class DropOverlay;
class Header;
class InspectorView;
class StatusBar;
class StoreWatcher;

// A mode's working screen: the centre pane (header, content, status bar), a divider and the
// inspector column. The whole of it takes dropped files.
class Workspace final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Workspace)
public:
    Workspace(AppStore &store, StoreWatcher &watcher, QWidget *parent = nullptr);

    Header *header() const { return m_header; }
    StatusBar *statusBar() const { return m_statusBar; }
    InspectorView *inspector() const { return m_inspector; }
    DropOverlay *dropOverlay() const { return m_overlay; }
    // A file drag hovers over the workspace.
    bool isTargeted() const { return m_targeted; }

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void setTargeted(bool targeted);
    void refreshOverlay();

    AppStore &m_store;
    Header *m_header;
    CentreContent *m_centre;
    StatusBar *m_statusBar;
    InspectorView *m_inspector;
    DropOverlay *m_overlay;
    bool m_targeted = false;
};
