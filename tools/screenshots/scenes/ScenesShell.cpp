#include "Models/ModelCatalog.h"
#include "Scene.h"
#include "Services/AppStore.h"
#include "Services/Updater.h"
#include "Views/Settings/SettingsView.h"
#include "Views/Shell/MainWindow.h"

#include <QLineEdit>
#include <QTest>

using namespace Qt::StringLiterals;

// The screens the application opens on: the launcher, the welcome screen after a rejected token,
// each mode's empty workspace, a run its spending limit stopped, and the Settings window.
namespace
{
// Windows made here outlive their scene; the updater lives as long as the program.
Updater &updater(SceneSetup &setup)
{
    static Updater shared(setup.environment().environment().settingsPath);
    return shared;
}

QWidget *workspace(SceneSetup &setup, Mode mode)
{
    AppStore &store = setup.store();
    store.setMode(mode);
    return new MainWindow(store, updater(setup));
}
} // namespace

MOONFORGE_SCENE("launcher", 1060, 700)
{
    return new MainWindow(setup.store(), updater(setup));
}

MOONFORGE_SCENE("welcome", 1060, 700)
{
    AppStore &store = setup.store(false);
    auto *window = new MainWindow(store, updater(setup));
    auto *field = window->findChild<QLineEdit *>(u"tokenEdit"_s);
    field->setText(u"r8_invalid_example"_s);
    Q_EMIT field->returnPressed();
    setup.waitFor([&store] { return store.tokens().check().kind() == TokenCheck::Kind::invalid; });
    return window;
}

MOONFORGE_SCENE("workspace-upscale", 1060, 700)
{
    return workspace(setup, Mode::upscale);
}

MOONFORGE_SCENE("workspace-image", 1060, 700)
{
    return workspace(setup, Mode::image);
}

MOONFORGE_SCENE("workspace-video", 1060, 700)
{
    return workspace(setup, Mode::video);
}

// Three prompts at $0.04 an image under a $0.10 limit: two are made, the third waits.
MOONFORGE_SCENE("workspace-spend-limit", 1060, 700)
{
    AppStore &store = setup.store();
    store.setMode(Mode::image);
    store.selectOnly(*ModelCatalog::find(ModelCatalog::builtIn(Mode::image), u"google/imagen-4"_s));
    store.setSpendLimit(0.10);
    for (const QString &prompt :
         {u"A lighthouse at dusk"_s, u"A fox in fresh snow"_s, u"A harbour in the rain"_s})
        store.addPromptJob(prompt, {});
    auto *window = new MainWindow(store, updater(setup));
    setup.waitFor([&store] { return store.schemaState().kind() == SchemaState::Kind::ready; });
    store.startRun();
    setup.waitFor([&store] { return !store.isRunning(); }, 20000);
    return window;
}

MOONFORGE_SCENE("settings", 430, 330)
{
    auto *settings = new SettingsView(setup.store(), updater(setup));
    return settings;
}
