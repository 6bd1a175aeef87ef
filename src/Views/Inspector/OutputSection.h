#pragma once

#include <QWidget>

class AppStore;
class PlainButton;
class QLabel;
class QLineEdit;
class QuietButton;
class SegmentedControl;
class ToggleSwitch;

// Where results go and how they are named: beside the originals or in a chosen folder, whether
// added folders bring their subfolders, the file-name suffix, and a preview of the name a result
// will get.
class OutputSection final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OutputSection)
public:
    explicit OutputSection(AppStore &store, QWidget *parent = nullptr);

    // The preview under the suffix field, e.g. "photo-4x.png".
    QString preview() const;

private:
    void refresh();
    // Asks the desktop for a folder; a cancelled panel changes nothing.
    void chooseFolder();

    AppStore &m_store;
    SegmentedControl *m_destination;
    PlainButton *m_folder;
    QuietButton *m_choose;
    ToggleSwitch *m_subfolders;
    QLineEdit *m_suffix;
    QLabel *m_preview;
};
