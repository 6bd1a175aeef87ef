#include "Views/Launcher/LauncherView.h"

#include "Services/AppStore.h"
#include "Views/Launcher/ModeTile.h"
#include "Views/Theme/AppMark.h"
#include "Views/Theme/TextLabel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

LauncherView::LauncherView(AppStore &store, QWidget *parent) : QWidget(parent), m_store(store)
{
    setObjectName(QStringLiteral("launcher"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(28, 0, 28, 0);
    column->setSpacing(30);
    column->addStretch(1);

    auto *group = new QVBoxLayout;
    group->setSpacing(8);
    auto *mark = new AppMark(46, this);
    group->addWidget(mark, 0, Qt::AlignHCenter);
    group->addSpacing(4);
    auto *name = new TextLabel(QStringLiteral("Moonforge"), 22, QFont::DemiBold,
                               TextLabel::Tone::primary, this);
    name->setObjectName(QStringLiteral("launcherName"));
    group->addWidget(name, 0, Qt::AlignHCenter);
    auto *line = new TextLabel(QStringLiteral("Pick a mode to get started."), 12.5, QFont::Normal,
                               TextLabel::Tone::secondary, this);
    line->setObjectName(QStringLiteral("launcherLine"));
    group->addWidget(line, 0, Qt::AlignHCenter);
    column->addLayout(group);

    // The tiles' faces are 20 apart; each tile keeps a little room for its hover scale.
    auto *row = new QHBoxLayout;
    row->setSpacing(20 - 2 * ModeTile::hoverMargin);
    row->addStretch(1);
    for (const Mode mode : Modes::all()) {
        auto *tile = new ModeTile(mode, this);
        connect(tile, &QAbstractButton::clicked, this, [this, mode] { m_store.setMode(mode); });
        row->addWidget(tile);
        m_tiles.append(tile);
    }
    row->addStretch(1);
    column->addLayout(row);
    column->addStretch(1);
}
