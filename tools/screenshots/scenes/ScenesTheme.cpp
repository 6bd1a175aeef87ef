#include "Scene.h"
#include "Views/Theme/AmbientBackdrop.h"
#include "Views/Theme/AppMark.h"
#include "Views/Theme/Card.h"
#include "Views/Theme/GlowButton.h"
#include "Views/Theme/ProgressRing.h"
#include "Views/Theme/QuietButton.h"
#include "Views/Theme/SectionLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

// The shared components side by side, to check the look of every painter at once.
MOONFORGE_SCENE("components", 520, 300)
{
    Q_UNUSED(setup);
    auto *backdrop = new AmbientBackdrop;
    auto *column = new QVBoxLayout(backdrop);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(14);
    auto *top = new QHBoxLayout;
    top->addWidget(new AppMark(46));
    top->addWidget(new ProgressRing(16));
    top->addWidget(new ProgressRing(10));
    top->addStretch();
    column->addLayout(top);
    column->addWidget(new SectionLabel(QStringLiteral("Models")));
    auto *card = new Card(12);
    card->content()->addWidget(new QLabel(QStringLiteral("A card holds related controls.")));
    column->addWidget(card);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(new QuietButton(QStringLiteral("Add")));
    buttons->addWidget(new QuietButton(QStringLiteral("Compare"), true));
    auto *disabled = new GlowButton(QStringLiteral("Upscale"));
    disabled->setEnabled(false);
    buttons->addWidget(disabled);
    auto *stop = new GlowButton(QStringLiteral("Stop"));
    stop->setDestructive(true);
    buttons->addWidget(stop);
    column->addLayout(buttons);
    auto *run = new GlowButton(QStringLiteral("Upscale 6 Images"));
    run->setSymbol(QStringLiteral("wand.and.stars"));
    column->addWidget(run);
    column->addStretch();
    return backdrop;
}
