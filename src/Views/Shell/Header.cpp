#include "Views/Shell/Header.h"

#include "Services/AppStore.h"
#include "Views/Shell/ModeButton.h"
#include "Views/Shell/MoreButton.h"
#include "Views/Shell/StoreWatcher.h"
#include "Views/Theme/Icons.h"
#include "Views/Theme/QuietButton.h"
#include "Views/Theme/Theme.h"

#include <QHBoxLayout>
#include <QMenu>

Header::Header(AppStore &store, StoreWatcher &watcher, QWidget *parent)
    : QWidget(parent), m_store(store), m_modeButton(new ModeButton(this)),
      m_add(new QuietButton(QStringLiteral("Add"), false, this)), m_more(new MoreButton(this))
{
    setObjectName(QStringLiteral("header"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(16, 4, 16, 12);
    row->setSpacing(10);
    row->addWidget(m_modeButton, 0, Qt::AlignVCenter);
    row->addStretch(1);
    m_add->setObjectName(QStringLiteral("addButton"));
    m_add->setToolTip(QStringLiteral("Add images or folders"));
    row->addWidget(m_add, 0, Qt::AlignVCenter);
    row->addWidget(m_more, 0, Qt::AlignVCenter);

    auto *menu = new QMenu(m_more);
    menu->setObjectName(QStringLiteral("moreActionsMenu"));
    m_clearFinished = menu->addAction(QStringLiteral("Clear Finished"));
    m_clearFinished->setObjectName(QStringLiteral("clearFinished"));
    m_removeAll = menu->addAction(QStringLiteral("Remove All"));
    m_removeAll->setObjectName(QStringLiteral("removeAll"));
    // The destructive item is marked the way menus can: a red symbol.
    m_removeAll->setIcon(Icons::icon(QStringLiteral("trash"), Theme::red(palette())));
    m_more->setMenu(menu);

    connect(m_modeButton, &QAbstractButton::clicked, this, [this] { m_store.setMode({}); });
    connect(m_add, &QAbstractButton::clicked, this, [this] { m_store.presentOpenPanel(); });
    connect(m_clearFinished, &QAction::triggered, this, [this] { m_store.clearFinished(); });
    connect(m_removeAll, &QAction::triggered, this, [this] { m_store.removeAll(); });
    connect(&watcher, &StoreWatcher::changed, this, &Header::refresh);
    refresh();
}

QString Header::subtitle(const AppStore &store)
{
    const std::optional<Mode> mode = store.mode();
    if (!mode)
        return QStringLiteral("Make images bigger and sharper.");
    if (*mode == Mode::image)
        return QStringLiteral("Generate images from a prompt.");
    if (*mode == Mode::video)
        return QStringLiteral("Generate video from a prompt.");
    const qsizetype models = store.state().selectedSlugs.size();
    const qsizetype jobs = store.jobs().size();
    if (jobs > 0) {
        const QString images = QString::number(jobs) +
                               (jobs == 1 ? QStringLiteral(" image") : QStringLiteral(" images"));
        if (models == 1)
            return images;
        return images + u" × " + QString::number(models) + u" models = " +
               QString::number(store.totalVariants()) + u" upscales";
    }
    if (models == 1) {
        const QList<CatalogModel> selected = store.selectedModels();
        return selected.isEmpty() ? QStringLiteral("No model") : selected.first().title;
    }
    return QString::number(models) + u" models selected";
}

void Header::refresh()
{
    const std::optional<Mode> mode = m_store.mode();
    m_modeButton->setTexts(mode ? Modes::title(*mode) : QString(), subtitle(m_store));
    const bool hasJobs = !m_store.jobs().isEmpty();
    m_add->setVisible(hasJobs && mode == Mode::upscale);
    m_more->setVisible(hasJobs);
    m_clearFinished->setEnabled(m_store.finishedJobCount() > 0);
}
