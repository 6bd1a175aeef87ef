#include "ImageCommands.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("moonforge-imagetool"));
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    return ImageCommands::run(args, stdout, stderr);
}
