// Renders every registered screen offscreen, in the light and the dark palette, into PNG files:
//   moonforge-screenshots OUTPUT_DIR [NAME…]
// The device pixel ratio comes from QT_SCALE_FACTOR (scripts/screenshots runs it at 1 and 2).
#include "Scene.h"
#include "Views/Theme/Animation.h"

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

#include <cstdio>
#include <memory>

namespace
{

QPalette darkPalette()
{
    QPalette palette;
    const QColor window(36, 36, 40), base(28, 28, 31), text(236, 236, 240);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(52, 52, 58));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::ToolTipBase, base);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, QColor(140, 140, 148));
    palette.setColor(QPalette::Highlight, QColor(117, 97, 255));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 126));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 126));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 126));
    return palette;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    Animation::setEnabled(false);
    const QStringList arguments = QApplication::arguments().mid(1);
    if (arguments.isEmpty()) {
        std::fputs("usage: moonforge-screenshots OUTPUT_DIR [NAME…]\n", stderr);
        return 2;
    }
    const QDir output(arguments.first());
    QDir().mkpath(output.path());
    const QStringList only = arguments.mid(1);
    const QString ratio = QString::number(app.devicePixelRatio());

    StandInService service;
    if (!service.isRunning()) {
        std::fprintf(stderr, "stand-in service: %s\n", qPrintable(service.errorString()));
        return 1;
    }
    const QPalette light = QApplication::style()->standardPalette();
    int failures = 0;
    for (const Scene &scene : scenes()) {
        if (!only.isEmpty() && !only.contains(scene.name))
            continue;
        for (const auto &[appearance, palette] :
             {std::pair{QStringLiteral("light"), light},
              std::pair{QStringLiteral("dark"), darkPalette()}}) {
            QApplication::setPalette(palette);
            service.reset();
            SceneSetup setup(service);
            std::unique_ptr<QWidget> widget(scene.build(setup));
            widget->resize(scene.size);
            widget->show();
            setup.waitFor([] { return false; }, 150);
            const QString file =
                output.filePath(scene.name + u'-' + appearance + u'@' + ratio + u"x.png");
            if (!widget->grab().save(file)) {
                std::fprintf(stderr, "could not write %s\n", qPrintable(file));
                ++failures;
            } else {
                std::printf("%s\n", qPrintable(file));
            }
        }
    }
    return failures == 0 ? 0 : 1;
}
