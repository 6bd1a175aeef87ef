#include "Views/Workspace/PromptComposer.h"

#include "Services/AppStore.h"
#include "Views/Theme/QuietButton.h"
#include "Views/Theme/TextLabel.h"
#include "Views/Workspace/PromptField.h"
#include "Views/Workspace/ReferenceRow.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

PromptComposer::PromptComposer(AppStore &store, QWidget *parent)
    : QWidget(parent), m_store(store), m_field(new PromptField(this)),
      m_references(new ReferenceRow(store, this)),
      m_queue(new QuietButton(u"Add to Queue"_s, true, this))
{
    setObjectName(u"promptComposer"_s);
    m_queue->setObjectName(u"addToQueueButton"_s);
    m_queue->setToolTip(u"Add to Queue (Ctrl+Return)"_s);
    auto *hint =
        new TextLabel(u"Ctrl+↩ to queue"_s, 11, QFont::Normal, TextLabel::Tone::secondary, this);
    hint->setObjectName(u"queueHint"_s);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(m_field);
    column->addWidget(m_references);
    auto *actions = new QHBoxLayout;
    actions->setContentsMargins(0, 0, 0, 0);
    actions->addWidget(hint);
    actions->addStretch();
    actions->addWidget(m_queue);
    column->addLayout(actions);

    connect(m_field, &QPlainTextEdit::textChanged, this, [this] {
        if (m_field->toPlainText() != m_store.draftPrompt())
            m_store.setDraftPrompt(m_field->toPlainText());
        updateControls();
    });
    connect(m_field, &PromptField::submitted, this, &PromptComposer::queuePrompt);
    connect(m_queue, &QPushButton::clicked, this, &PromptComposer::queuePrompt);
    connect(&store, &AppStore::draftChanged, this, &PromptComposer::showDraft);
    connect(&store, &AppStore::modeChanged, this, &PromptComposer::updateControls);
    connect(&store, &AppStore::stateChanged, this, &PromptComposer::updateControls);
    connect(&store, &AppStore::schemaStatesChanged, this, &PromptComposer::updateControls);
    showDraft();
}

void PromptComposer::queuePrompt()
{
    if (m_store.draftPrompt().trimmed().isEmpty())
        return;
    m_store.addPromptJob(m_store.draftPrompt(), m_store.draftReferences());
    m_store.setDraftPrompt(QString());
    m_store.setDraftReferences({});
}

void PromptComposer::showDraft()
{
    const QString draft = m_store.draftPrompt();
    if (m_field->toPlainText() != draft) {
        m_field->setPlainText(draft);
        m_field->moveCursor(QTextCursor::End);
    }
    updateControls();
}

void PromptComposer::updateControls()
{
    const bool video = m_store.mode() == Mode::video;
    m_field->setPlaceholderText(u"Describe the "_s + (video ? u"video"_s : u"image"_s) +
                                u" you want…"_s);
    m_queue->setEnabled(!m_store.draftPrompt().trimmed().isEmpty());
    m_references->setVisible(ReferenceRow::needs(m_store).acceptsImage);
}
