#include "Scene.h"
#include "Services/AppStore.h"
#include "Services/Updater.h"
#include "Views/Settings/SettingsView.h"
#include "Views/Shell/MainWindow.h"

#include <QLineEdit>
#include <QTest>

using namespace Qt::StringLiterals;

// The screens the application opens on: the launcher, the welcome screen after a rejected token,
// each mode's empty workspace, and the Settings window.
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

MOONFORGE_SCENE("settings", 430, 330)
{
    auto *settings = new SettingsView(setup.store(), updater(setup));
    return settings;
}
