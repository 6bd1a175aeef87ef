#pragma once

#include <QWidget>

class AppStore;
class ModelPicker;
class OutputSection;
class QLabel;
class RunSection;
class SettingsSection;

// The 320 px column at the right of the workspace: models, settings, output and the run controls.
class InspectorView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InspectorView)
public:
    explicit InspectorView(AppStore &store, QWidget *parent = nullptr);

    static constexpr int columnWidth = 320;

    ModelPicker *picker() const { return m_picker; }

Q_SIGNALS:
    // The user asked for the Settings window ("Add Replicate API token", "Open Settings").
    void settingsRequested();

private:
    QWidget *buildModelsSection();
    void refreshModels();

    AppStore &m_store;
    QLabel *m_count = nullptr;
    QLabel *m_hint = nullptr;
    ModelPicker *m_picker = nullptr;
    SettingsSection *m_settings = nullptr;
    OutputSection *m_output = nullptr;
    RunSection *m_run = nullptr;
};
