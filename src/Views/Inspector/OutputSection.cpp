#include "Views/Inspector/OutputSection.h"

#include "Services/AppStore.h"
#include "Views/Inspector/InspectorText.h"
#include "Views/Inspector/PlainButton.h"
#include "Views/Inspector/SegmentedControl.h"
#include "Views/Inspector/ToggleSwitch.h"
#include "Views/Theme/Card.h"
#include "Views/Theme/QuietButton.h"
#include "Views/Theme/SectionLabel.h"
#include "Views/Theme/TextLabel.h"
#include "Views/Theme/Theme.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

OutputSection::OutputSection(AppStore &store, QWidget *parent)
    : QWidget(parent), m_store(store),
      m_destination(new SegmentedControl(
          {QStringLiteral("Beside originals"), QStringLiteral("Custom folder")}, this)),
      m_folder(new PlainButton(QStringLiteral("folder.fill"), QString(), PlainButton::Tint::accent,
                               this)),
      m_choose(new QuietButton(QStringLiteral("Choose a folder…"), false, this)),
      m_subfolders(new ToggleSwitch(QStringLiteral("Include subfolders"), this)),
      m_suffix(new QLineEdit(this)),
      m_preview(new TextLabel(QString(), 11, QFont::Normal, TextLabel::Tone::secondary, this))
{
    setObjectName(QStringLiteral("outputSection"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(new SectionLabel(QStringLiteral("Output"), nullptr, this));
    auto *card = new Card(12, this);
    card->content()->setSpacing(8);
    column->addWidget(card);

    m_destination->setObjectName(QStringLiteral("outputDestination"));
    m_destination->setAccessibleName(QStringLiteral("Where results are saved"));
    connect(m_destination, &SegmentedControl::chosen, this, [this](int index) {
        if (index == 0)
            m_store.setOutputDestination(OutputDestination::besideOriginal());
        else
            chooseFolder();
        refresh();
    });
    card->content()->addWidget(m_destination);
    m_folder->setObjectName(QStringLiteral("outputFolder"));
    m_folder->setTextFont(Theme::font(11.5, QFont::Medium));
    m_folder->setSymbolSize(12);
    connect(m_folder, &QAbstractButton::clicked, this, &OutputSection::chooseFolder);
    card->content()->addWidget(m_folder);
    m_choose->setObjectName(QStringLiteral("chooseFolder"));
    connect(m_choose, &QAbstractButton::clicked, this, &OutputSection::chooseFolder);
    card->content()->addWidget(m_choose, 0, Qt::AlignLeft);
    // Next to where results go, as it also decides their layout in a chosen folder: the tree
    // below an added folder is kept there.
    m_subfolders->setObjectName(QStringLiteral("includeSubfolders"));
    m_subfolders->setToolTip(QStringLiteral(
        "Folders you add bring the images of all their subfolders. In a custom folder, results "
        "keep the same subfolders."));
    connect(m_subfolders, &QAbstractButton::clicked, this,
            [this](bool on) { m_store.setIncludeSubfolders(on); });
    card->content()->addWidget(m_subfolders);

    auto *caption = new QLabel(QStringLiteral("Filename suffix"), this);
    caption->setFont(Theme::font(11, QFont::Medium));
    card->content()->addSpacing(2);
    card->content()->addWidget(caption);
    m_suffix->setObjectName(QStringLiteral("filenameSuffix"));
    m_suffix->setAccessibleName(QStringLiteral("Filename suffix"));
    m_suffix->setFont(Theme::font(11.5));
    connect(m_suffix, &QLineEdit::textEdited, this,
            [this](const QString &text) { m_store.setFilenameSuffix(text); });
    card->content()->addWidget(m_suffix);
    m_preview->setObjectName(QStringLiteral("filenamePreview"));
    m_preview->setTextInteractionFlags(Qt::TextSelectableByMouse);
    card->content()->addWidget(m_preview);

    connect(&store, &AppStore::stateChanged, this, &OutputSection::refresh);
    connect(&store, &AppStore::modeChanged, this, &OutputSection::refresh);
    connect(&store, &AppStore::schemaStatesChanged, this, &OutputSection::refresh);
    connect(&store, &AppStore::catalogsChanged, this, &OutputSection::refresh);
    refresh();
}

QString OutputSection::preview() const
{
    return m_preview->text();
}

void OutputSection::refresh()
{
    const Mode mode = m_store.mode().value_or(Mode::upscale);
    const ModeState state = m_store.state();
    m_destination->setVisible(mode == Mode::upscale);
    m_destination->setCurrent(state.outputFolder ? 1 : 0);
    m_folder->setVisible(state.outputFolder.has_value());
    if (state.outputFolder) {
        const QString path = QDir::toNativeSeparators(*state.outputFolder);
        QString name = QFileInfo(*state.outputFolder).fileName();
        if (name.isEmpty())
            name = path;
        m_folder->setLabel(name);
        m_folder->setToolTip(path);
        m_folder->setAccessibleName(QStringLiteral("Output folder: ") + name);
    }
    m_choose->setVisible(!state.outputFolder && mode != Mode::upscale);
    m_subfolders->setVisible(mode == Mode::upscale);
    m_subfolders->setChecked(state.includeSubfolders);
    m_suffix->setPlaceholderText(InspectorText::suffixPlaceholder(mode));
    if (m_suffix->text() != state.filenameSuffix)
        m_suffix->setText(state.filenameSuffix);
    const int selected = static_cast<int>(state.selectedSlugs.size());
    const QString token = InspectorText::scaleToken(selected, m_store.scale(state.focusedSlug));
    m_preview->setText(InspectorText::filenamePreview(mode, m_store.outputKind(state.focusedSlug),
                                                      state.filenameSuffix, token,
                                                      m_store.focusedModel().name, selected));
}

void OutputSection::chooseFolder()
{
    const std::shared_ptr<Desktop> desktop = m_store.environment().desktop;
    if (!desktop)
        return;
    const QUrl url =
        desktop->chooseFolder(InspectorText::folderPrompt(m_store.mode().value_or(Mode::upscale)));
    if (url.isValid() && url.isLocalFile())
        m_store.setOutputDestination(OutputDestination::folder(url));
    refresh();
}
