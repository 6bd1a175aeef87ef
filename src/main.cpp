#include "MoonforgeApp.h"
#include "Services/LaunchArguments.h"
#include "Views/Accessibility/AccessibleFactory.h"
#include "Views/Desktop/SingleInstance.h"
#include "Views/Theme/AppMark.h"

#include <QApplication>
#include <QDir>
#include <QStyle>
#include <QStyleFactory>

#include <cstdio>

namespace
{
// Prints what the launch asked for (help, the version) or what was wrong with it.
int printed(const LaunchArguments &launch)
{
    const bool failed = launch.action == LaunchArguments::Action::fail;
    const QByteArray text = launch.text.toLocal8Bit();
    if (failed)
        std::fprintf(stderr, "moonforge: %s\nTry 'moonforge --help'.\n", text.constData());
    else
        std::fputs(text.constData(), stdout);
    return failed ? 2 : 0;
}

// Whether this process goes on as the application; `status` is the exit status otherwise.
bool becomeTheInstance(SingleInstance &instance, const QDBusConnection &bus,
                       const QList<QUrl> &files, int &status)
{
    // A few rounds: the running instance may leave between our look and our call.
    for (int round = 0; round < 3; ++round) {
        if (!bus.isConnected() || instance.claim())
            return true;
        switch (SingleInstance::handOver(bus, files)) {
        case SingleInstance::HandOver::delivered:
            status = 0;
            return false;
        case SingleInstance::HandOver::noInstance:
            break;
        case SingleInstance::HandOver::closing:
            // It is finishing its work; its store must be done before ours starts.
            SingleInstance::waitUntilFree(bus, 30'000);
            break;
        case SingleInstance::HandOver::failed:
            round = 3;
            break;
        }
    }
    std::fputs("moonforge: the running Moonforge did not answer\n", stderr);
    status = 1;
    return false;
}
} // namespace

int main(int argc, char **argv)
{
    QApplication::setOrganizationName(QStringLiteral("Moonforge"));
    QApplication::setApplicationName(QStringLiteral("Moonforge"));
    QApplication::setApplicationDisplayName(QStringLiteral("Moonforge"));
    QApplication::setDesktopFileName(QStringLiteral("org.moonforge.Moonforge"));
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw.append(QString::fromLocal8Bit(argv[i]));
    // Help and the version need no display.
    if (LaunchArguments::onlyPrints(raw)) {
        const QCoreApplication app(argc, argv);
        return printed(LaunchArguments::parse(QCoreApplication::arguments(), QDir::currentPath()));
    }

    QApplication app(argc, argv);
    const LaunchArguments launch =
        LaunchArguments::parse(QCoreApplication::arguments(), QDir::currentPath());
    if (launch.action != LaunchArguments::Action::start)
        return printed(launch);
    for (const QString &skipped : launch.skipped)
        std::fprintf(stderr, "moonforge: only local files can be added: %s\n", qPrintable(skipped));

    // A store of its own (MOONFORGE_SETTINGS_FILE: the offline demo, benchmarks) is not the
    // user's one instance and neither takes nor hands over.
    SingleInstance instance(QDBusConnection::sessionBus());
    if (qEnvironmentVariableIsEmpty("MOONFORGE_SETTINGS_FILE")) {
        int status = 0;
        if (!becomeTheInstance(instance, QDBusConnection::sessionBus(), launch.files, status))
            return status;
    }

    // The bare fallback style ignores the palette's shades; every desktop style we meet draws them.
    if (QApplication::style()->name().compare(u"windows", Qt::CaseInsensitive) == 0)
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setWindowIcon(AppMark::applicationIcon());
    AccessibleFactory::install();
    // The window closes first; the process waits for the store's orderly end before it exits.
    QApplication::setQuitOnLastWindowClosed(false);

    MoonforgeApp moonforge(instance);
    moonforge.start(launch.files);
    return QApplication::exec();
}
