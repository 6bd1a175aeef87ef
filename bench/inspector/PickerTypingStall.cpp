// Types into the model picker's search field, one key every 80 ms like a quick typist, with
// COUNT custom models listed besides the built-in ones, and reports the GUI thread's longest
// stall and the time each keystroke took to handle. No service is asked (no token), so only the
// picker's own work is measured.
//   moonforge-bench-picker [COUNT=2000]
#include "Models/PreferencesRecord.h"
#include "Services/AppStore.h"
#include "StallMeter.h"
#include "Views/Inspector/ModelPicker.h"
#include "Views/Theme/Animation.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace
{
const QStringList words = {
    QStringLiteral("flux"),   QStringLiteral("upscale"), QStringLiteral("portrait"),
    QStringLiteral("anime"),  QStringLiteral("video"),   QStringLiteral("diffusion"),
    QStringLiteral("sharp"),  QStringLiteral("restore"), QStringLiteral("turbo"),
    QStringLiteral("vision"), QStringLiteral("lora"),    QStringLiteral("photo")};

QList<CatalogModel> manyModels(int count)
{
    QList<CatalogModel> models;
    for (int i = 0; i < count; ++i) {
        const QString name = words.at(i % words.size()) + QLatin1Char('-') +
                             words.at((i / 7) % words.size()) + QLatin1Char('-') +
                             QString::number(i);
        models.append({QStringLiteral("owner%1").arg(i % 97), name,
                       CatalogModel::titleFromName(name),
                       QStringLiteral("A %1 model that makes %2 pictures with care, number %3.")
                           .arg(words.at((i / 3) % words.size()), words.at((i / 11) % words.size()))
                           .arg(i),
                       true});
    }
    return models;
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    Animation::setEnabled(false);
    const QStringList args = QApplication::arguments();
    const int count = args.size() > 1 ? args.at(1).toInt() : 2000;

    QTemporaryDir scratch;
    AppEnvironment environment;
    environment.settingsPath = scratch.filePath(QStringLiteral("settings.ini"));
    environment.cacheFolder = scratch.filePath(QStringLiteral("cache"));
    environment.keychainPrefix = QStringLiteral("org.moonforge.bench.picker");
    environment.apiBase = QUrl(QStringLiteral("http://127.0.0.1:9/v1"));
    environment.webBase = QUrl(QStringLiteral("http://127.0.0.1:9"));
    {
        PreferencesRecord record;
        for (Mode mode : Modes::all()) {
            ModeState state = ModeState::defaultFor(mode);
            if (mode == Mode::upscale)
                state.customModels = manyModels(count);
            record.modes.append(state);
        }
        QSettings settings(environment.settingsPath, QSettings::IniFormat);
        settings.setValue(AppStore::preferencesKey, record.encode().value());
        settings.sync();
    }
    AppStore store(environment);
    store.setMode(Mode::upscale);
    ModelPicker picker(store);
    picker.resize(292, 600);
    picker.show();
    QElapsedTimer opening;
    opening.start();
    picker.setExpanded(true);
    QApplication::processEvents();
    const double openMs = double(opening.nsecsElapsed()) / 1e6;
    auto *field = picker.findChild<QLineEdit *>(QStringLiteral("modelSearch"));
    std::printf("models listed: %lld (open: %.1f ms)\n",
                static_cast<long long>(picker.results().size()), openMs);

    // Type, then erase, then type a query that matches almost nothing, then erase again.
    QList<int> keys;
    for (const QChar c : QStringLiteral("flux portrait"))
        keys.append(c.unicode());
    for (int i = 0; i < 13; ++i)
        keys.append(Qt::Key_Backspace);
    for (const QChar c : QStringLiteral("zzz"))
        keys.append(c.unicode());
    for (int i = 0; i < 3; ++i)
        keys.append(Qt::Key_Backspace);

    StallMeter meter(1);
    QList<double> keystrokeMs;
    int next = 0;
    QTimer typist;
    typist.setInterval(80);
    // The worst stall seen so far when each key is pressed, to tell which keys cost most.
    QList<double> worstBefore;
    QObject::connect(&typist, &QTimer::timeout, &app, [&] {
        worstBefore.append(meter.worstMs());
        if (next == keys.size()) {
            typist.stop();
            QTimer::singleShot(400, &app, &QCoreApplication::quit);
            return;
        }
        const int key = keys.at(next++);
        const bool erase = key == Qt::Key_Backspace;
        const QString text = erase ? QString() : QString(QChar(key));
        const int code = erase ? key : QChar(key).toUpper().unicode();
        QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
        QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier, text);
        QElapsedTimer handling;
        handling.start();
        QApplication::sendEvent(field, &press);
        QApplication::sendEvent(field, &release);
        keystrokeMs.append(double(handling.nsecsElapsed()) / 1e6);
    });
    meter.start();
    typist.start();
    app.exec();
    meter.stop();

    for (int i = 1; i < worstBefore.size(); ++i) {
        if (worstBefore.at(i) > worstBefore.at(i - 1) && worstBefore.at(i) > 16)
            std::printf("  stall of %.1f ms after key %d\n", worstBefore.at(i), i);
    }
    std::sort(keystrokeMs.begin(), keystrokeMs.end());
    const double median = keystrokeMs.isEmpty() ? 0 : keystrokeMs.at(keystrokeMs.size() / 2);
    const double worst = keystrokeMs.isEmpty() ? 0 : keystrokeMs.last();
    std::printf("keystrokes: %lld, handling median %.2f ms, worst %.2f ms\n",
                static_cast<long long>(keystrokeMs.size()), median, worst);
    std::printf("longest GUI-thread stall while typing: %.2f ms (budget 16 ms)\n", meter.worstMs());
    return meter.worstMs() <= 16.0 ? 0 : 1;
}
