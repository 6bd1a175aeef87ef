#pragma once

#include <QWidget>

class AppStore;
class PromptField;
class QuietButton;
class ReferenceRow;

// The image and video modes' composer: the prompt, the reference images when a selected model
// takes one, and "Add to Queue". The draft lives in the store, so it outlasts a mode switch.
class PromptComposer final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PromptComposer)
public:
    explicit PromptComposer(AppStore &store, QWidget *parent = nullptr);

    PromptField *field() const { return m_field; }
    ReferenceRow *referenceRow() const { return m_references; }
    QuietButton *queueButton() const { return m_queue; }

    // Adds the draft as a job and clears it; a blank prompt changes nothing.
    void queuePrompt();

private:
    void showDraft();
    void updateControls();

    AppStore &m_store;
    PromptField *m_field;
    ReferenceRow *m_references;
    QuietButton *m_queue;
};
