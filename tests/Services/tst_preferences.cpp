#include "Models/ModelCatalog.h"
#include "Models/ModelSchema.h"
#include "Models/PreferencesRecord.h"
#include "Services/AppStore.h"
#include "Services/SettingsWriter.h"
#include "StoredDocument.h"
#include "TestEnvironment.h"

#include <QJsonDocument>
#include <QTest>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace
{

const QString key = "MoonforgePreferences.v3";

// The record tests/fixtures/persistence/preferences.json holds.
PreferencesRecord fixtureRecord()
{
    ModeState upscale;
    upscale.mode = Mode::upscale;
    upscale.selectedSlugs = {"tarnwick/crystal-upscaler", "ana/sharp"};
    upscale.focusedSlug = "ana/sharp";
    upscale.customModels = {CatalogModel{"ana", "sharp", "Sharp", "Mine.", true}};
    upscale.overrides["ana/sharp"] = {{"scale", ParamValue::string("4x")},
                                      {"steps", ParamValue::integer(20)}};
    upscale.overrides["tarnwick/crystal-upscaler"] = {{"creativity", ParamValue::number(0.35)},
                                                      {"face", ParamValue::boolean(true)}};
    upscale.filenameSuffix = "-{scale}x";
    ModeState video;
    video.mode = Mode::video;
    video.selectedSlugs = {"google/veo-3"};
    video.focusedSlug = "google/veo-3";
    video.outputFolder = "/home/ana/Movies/Moonforge";
    return {{upscale, video}, true};
}

} // namespace

class TstPreferences : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fixtureIsWrittenByteForByte()
    {
        const QByteArray golden = StoredDocument::fixture("preferences.json");
        const std::optional<QByteArray> written = fixtureRecord().encode();
        QVERIFY(written);
        QCOMPARE(QJsonDocument::fromJson(*written), QJsonDocument::fromJson(golden));
        QCOMPARE(*written, golden);
        QCOMPARE(PreferencesRecord::decode(golden), fixtureRecord());
    }

    void requiredKeys_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QJsonValue>("replacement");
        QTest::addColumn<bool>("readable");
        const QJsonValue none(QJsonValue::Undefined);
        QTest::newRow("modes") << "modes" << none << false;
        QTest::newRow("revealWhenDone") << "revealWhenDone" << none << false;
        for (const char *field : {"mode", "selectedSlugs", "focusedSlug", "customModels",
                                  "overrides", "filenameSuffix"})
            QTest::newRow(field) << QString("modes/0/") + field << none << false;
        QTest::newRow("catalog blurb") << "modes/0/customModels/0/blurb" << none << false;
        QTest::newRow("catalog isCustom") << "modes/0/customModels/0/isCustom" << none << false;
        QTest::newRow("outputFolder optional") << "modes/1/outputFolder" << none << true;
        QTest::newRow("unknown mode") << "modes/1/mode" << QJsonValue("audio") << false;
        QTest::newRow("slug not text") << "modes/0/selectedSlugs/0" << QJsonValue(3) << false;
        QTest::newRow("reveal not bool") << "revealWhenDone" << QJsonValue("yes") << false;
        QTest::newRow("bad param value")
            << "modes/0/overrides"
            << QJsonValue(QJsonObject{{"ana/sharp", QJsonObject{{"steps", 20}}}}) << false;
    }

    void requiredKeys()
    {
        QFETCH(QString, path);
        QFETCH(QJsonValue, replacement);
        QFETCH(bool, readable);
        const QByteArray bytes =
            StoredDocument::edited(StoredDocument::fixture("preferences.json"), path, replacement);
        QCOMPARE(StoredDocument::reads(bytes, &PreferencesRecord::decode), readable);
    }

    void loadRepairsWithoutWriting()
    {
        TestEnvironment env;
        // One-mode document: a known and an unknown slug, the unknown one focused.
        const QByteArray bytes =
            R"({"modes":[{"mode":"upscale","selectedSlugs":["gone\/model","google\/upscaler"],)"
            R"("focusedSlug":"gone\/model","customModels":[],"overrides":{},)"
            R"("filenameSuffix":"-x"}],"revealWhenDone":true})";
        StoredDocument::store(env, key, bytes);
        AppStore appStore(env.environment());
        QCOMPARE(appStore.state(Mode::upscale).selectedSlugs, QStringList{"google/upscaler"});
        QCOMPARE(appStore.state(Mode::upscale).focusedSlug, "google/upscaler");
        QCOMPARE(appStore.state(Mode::upscale).filenameSuffix, "-x");
        QCOMPARE(appStore.state(Mode::image), ModeState::defaultFor(Mode::image));
        QCOMPARE(appStore.state(Mode::video), ModeState::defaultFor(Mode::video));
        QVERIFY(appStore.revealWhenDone());
        // The reveal switch was assigned while loading, yet nothing was written back.
        appStore.settingsWriter().flush();
        QCOMPARE(StoredDocument::stored(env, key), bytes);
    }

    // Writes happen off the GUI thread; quick changes must still land in the order made.
    void lastOfManyQuickChangesIsStored()
    {
        TestEnvironment env;
        {
            AppStore appStore(env.environment());
            appStore.setMode(Mode::upscale);
            for (int i = 0; i < 40; ++i)
                appStore.setFilenameSuffix(u"-v%1"_s.arg(i));
            appStore.settingsWriter().flush();
            const PreferencesRecord stored =
                PreferencesRecord::decode(StoredDocument::stored(env, key));
            const auto upscale =
                std::find_if(stored.modes.cbegin(), stored.modes.cend(),
                             [](const ModeState &m) { return m.mode == Mode::upscale; });
            QVERIFY(upscale != stored.modes.cend());
            QCOMPARE(upscale->filenameSuffix, u"-v39"_s);
            appStore.setFilenameSuffix(u"-final"_s);
        }
        // The store's end waits for its last write.
        AppStore reopened(env.environment());
        QCOMPARE(reopened.state(Mode::upscale).filenameSuffix, u"-final"_s);
    }

    void unreadableDocumentIsKeptAside()
    {
        TestEnvironment env;
        const QByteArray bad = StoredDocument::edited(StoredDocument::fixture("preferences.json"),
                                                      "modes/1/filenameSuffix");
        StoredDocument::store(env, key, bad);
        AppStore appStore(env.environment());
        for (Mode mode : Modes::all())
            QCOMPARE(appStore.state(mode), ModeState::defaultFor(mode));
        QVERIFY(!appStore.revealWhenDone());
        appStore.settingsWriter().flush();
        QCOMPARE(StoredDocument::stored(env, key), bad); // nothing written until something changes
        appStore.setRevealWhenDone(false);               // the same value still writes
        appStore.settingsWriter().flush();
        QCOMPARE(StoredDocument::stored(env, key + ".unreadable"), bad);
        QCOMPARE(PreferencesRecord::decode(StoredDocument::stored(env, key)).modes.size(), 3);
    }

    // An infinite number once made the whole document unwritable, losing every later change.
    void unwritableOverrideIsLeftOut()
    {
        TestEnvironment env;
        SchemaParam strength;
        strength.key = "strength";
        SchemaParam steps;
        steps.key = "steps";
        {
            AppStore appStore(env.environment());
            appStore.setValue(ParamValue::integer(7), steps);
            appStore.setValue(ParamValue::number(std::numeric_limits<double>::infinity()),
                              strength);
            appStore.setFilenameSuffix("-after");
        }
        AppStore reopened(env.environment());
        QCOMPARE(reopened.state().filenameSuffix, "-after");
        QCOMPARE(reopened.value(steps), ParamValue::integer(7));
        QVERIFY(!reopened.isOverridden(strength));
    }

    void changesSurviveRestart()
    {
        TestEnvironment env;
        SchemaParam steps;
        steps.key = "steps";
        {
            AppStore appStore(env.environment());
            appStore.toggle(ModelCatalog::builtIn(Mode::upscale).at(2));
            appStore.setValue(ParamValue::integer(7), steps);
            appStore.setOutputDestination(OutputDestination::folder(QUrl::fromLocalFile("/o")));
            appStore.setFilenameSuffix("-{model}");
            appStore.setRevealWhenDone(true);
        }
        AppStore appStore(env.environment());
        QCOMPARE(appStore.state().selectedSlugs.size(), 2);
        QCOMPARE(appStore.value(steps), ParamValue::integer(7));
        QCOMPARE(appStore.state().outputFolder, QString("/o"));
        QCOMPARE(appStore.state().filenameSuffix, "-{model}");
        QVERIFY(appStore.revealWhenDone());
    }
};

QTEST_GUILESS_MAIN(TstPreferences)
#include "tst_preferences.moc"
