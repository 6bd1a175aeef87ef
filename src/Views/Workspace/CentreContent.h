#pragma once

#include <QWidget>

class AppStore;

// What fills the centre pane between the header and the status bar, by mode: the drop zone or
// the job list in upscale, the prompt composer above the job list in image and video.
class CentreContent final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CentreContent)
public:
    explicit CentreContent(AppStore &store, QWidget *parent = nullptr);

    // A file drag hovers over the workspace; the drop zone shows it while the list is empty.
    void setDragTargeted(bool targeted);

private:
    AppStore &m_store;
    bool m_dragTargeted = false;
};
