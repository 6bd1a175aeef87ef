#include "Scene.h"

#include "SampleFiles.h"
#include "Services/AppStore.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QThread>

SceneSetup::SceneSetup(StandInService &service) : m_service(service), m_environment(1.0)
{
    AppEnvironment &environment = m_environment.mutableEnvironment();
    environment.apiBase = service.apiBase();
    environment.webBase = service.webBase();
}

SceneSetup::~SceneSetup() = default;

AppStore &SceneSetup::store(bool withToken)
{
    if (!m_store) {
        AppEnvironment environment = m_environment.environment();
        environment.environmentToken = withToken ? QStringLiteral("r8_screenshots") : QString();
        m_store = std::make_unique<AppStore>(environment);
        waitFor([this] { return m_store->tokens().known(); });
    }
    return *m_store;
}

QString SceneSetup::photo(const QString &name, int width, int height)
{
    const QString path = m_environment.path(QStringLiteral("photos/") + name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    SampleFiles::writeImage(SampleFiles::pattern(width, height), path,
                            name.endsWith(QStringLiteral(".png")) ? "PNG" : "JPEG");
    return path;
}

bool SceneSetup::waitFor(const std::function<bool()> &done, int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

namespace
{
QList<Scene> &registry()
{
    static QList<Scene> list;
    return list;
}
} // namespace

bool registerScene(Scene scene)
{
    registry().append(std::move(scene));
    return true;
}

const QList<Scene> &scenes()
{
    return registry();
}
