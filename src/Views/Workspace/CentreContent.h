#pragma once

#include <QWidget>

class AppStore;
class DropZoneView;
class JobListView;
class PromptComposer;

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

    DropZoneView *dropZone() const { return m_dropZone; }
    PromptComposer *composer() const { return m_composer; }
    JobListView *jobList() const { return m_list; }

private:
    void arrange();

    AppStore &m_store;
    bool m_dragTargeted = false;
    QWidget *m_composerBox;
    PromptComposer *m_composer;
    DropZoneView *m_dropZone;
    JobListView *m_list;
    QWidget *m_empty;
};
