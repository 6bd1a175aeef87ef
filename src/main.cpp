#include "MoonforgeApp.h"
#include "Views/Accessibility/AccessibleFactory.h"
#include "Views/Theme/AppMark.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

int main(int argc, char **argv)
{
    QApplication::setOrganizationName(QStringLiteral("Moonforge"));
    QApplication::setApplicationName(QStringLiteral("Moonforge"));
    QApplication::setApplicationDisplayName(QStringLiteral("Moonforge"));
    QApplication::setDesktopFileName(QStringLiteral("org.moonforge.Moonforge"));
    QApplication app(argc, argv);
    // The bare fallback style ignores the palette's shades; every desktop style we meet draws them.
    if (QApplication::style()->name().compare(u"windows", Qt::CaseInsensitive) == 0)
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setWindowIcon(AppMark::applicationIcon());
    AccessibleFactory::install();
    // The window closes first; the process waits for the store's orderly end before it exits.
    QApplication::setQuitOnLastWindowClosed(false);

    MoonforgeApp moonforge;
    moonforge.start();
    return QApplication::exec();
}
