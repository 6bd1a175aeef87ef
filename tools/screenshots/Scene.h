#pragma once

#include "StandInService.h"
#include "TestEnvironment.h"

#include <QSize>
#include <QString>

#include <functional>
#include <memory>

class AppStore;
class QWidget;

// What one screen's picture is made from: a fresh store over temporary settings and caches,
// pointed at the stand-in service, with a token, and helpers to put content in place.
class SceneSetup final
{
public:
    explicit SceneSetup(StandInService &service);
    ~SceneSetup();
    SceneSetup(const SceneSetup &) = delete;
    SceneSetup &operator=(const SceneSetup &) = delete;

    StandInService &service() { return m_service; }
    TestEnvironment &environment() { return m_environment; }
    // The store, made on first use; `withToken` decides whether it has the demo token.
    AppStore &store(bool withToken = true);
    // A photo of `width` × `height` written into the scene's folder; returns its path.
    QString photo(const QString &name, int width = 1600, int height = 1067);
    // Lets the event loop run until `done` holds or `milliseconds` pass; returns `done()`.
    bool waitFor(const std::function<bool()> &done, int milliseconds = 5000);

private:
    StandInService &m_service;
    TestEnvironment m_environment;
    std::unique_ptr<AppStore> m_store;
};

// One picture: `build` returns the top-level widget to show at `size` and grab. Scenes register
// themselves from their own files with MOONFORGE_SCENE, so each screen's file adds its pictures.
struct Scene {
    QString name;
    QSize size;
    std::function<QWidget *(SceneSetup &)> build;
};

bool registerScene(Scene scene);
const QList<Scene> &scenes();

#define MOONFORGE_SCENE_JOIN2(a, b) a##b
#define MOONFORGE_SCENE_JOIN(a, b) MOONFORGE_SCENE_JOIN2(a, b)
// MOONFORGE_SCENE("launcher", 1060, 700) { return new MainWindow(setup.store()); }
#define MOONFORGE_SCENE(name, width, height)                                                       \
    static QWidget *MOONFORGE_SCENE_JOIN(buildScene, __LINE__)(SceneSetup & setup);                \
    [[maybe_unused]] static const bool MOONFORGE_SCENE_JOIN(sceneRegistered, __LINE__) =           \
        registerScene({QStringLiteral(name), QSize(width, height),                                 \
                       &MOONFORGE_SCENE_JOIN(buildScene, __LINE__)});                              \
    static QWidget *MOONFORGE_SCENE_JOIN(buildScene, __LINE__)(SceneSetup & setup)
