#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// What one launch asks for: `moonforge [FILE|FOLDER|URI…]` queues files, --help and --version
// only print. Desktops pass file:// URIs (the entry's %U); a shell passes paths, relative ones
// meant from the working directory.
struct LaunchArguments {
    enum class Action { start, showHelp, showVersion, fail };

    Action action = Action::start;
    // Absolute local files and folders, in the order given.
    QList<QUrl> files;
    // Arguments that name nothing local (another scheme, another host); they are left out.
    QStringList skipped;
    // The help or version text to print, or what was wrong with the arguments.
    QString text;

    // `arguments` as the process received them, program name first. Needs an application object
    // for the help text.
    static LaunchArguments parse(const QStringList &arguments, const QString &workingDirectory);
    // Whether the launch only asks for help or the version, told before any window system is
    // needed; arguments after "--" are files, whatever they look like.
    static bool onlyPrints(const QStringList &arguments);
};
