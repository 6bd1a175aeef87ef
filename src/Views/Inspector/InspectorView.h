#pragma once

#include <QWidget>

class AppStore;

// The 320 px column at the right of the workspace: models, settings, output and the run controls.
class InspectorView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InspectorView)
public:
    explicit InspectorView(AppStore &store, QWidget *parent = nullptr);

    static constexpr int columnWidth = 320;

Q_SIGNALS:
    // The user asked for the Settings window ("Add Replicate API token", "Open Settings").
    void settingsRequested();

private:
    AppStore &m_store;
};
