#include "Models/ModelCatalog.h"
#include "Models/ModeState.h"

#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;

class TestCatalog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void slugRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("slug");
        const auto row = [](const char *name, const char *text, const char *slug) {
            QTest::newRow(name) << QString(text) << QString(slug);
        };
        row("plain", "owner/name", "owner/name");
        row("blanks and newline", "  owner/name\n", "owner/name");
        row("doubled and trailing slashes", "owner//name/", "owner/name");
        row("model page address", "https://replicate.com/black-forest-labs/flux-dev",
            "black-forest-labs/flux-dev");
        row("extra segments", "owner/name/versions/abc", "owner/name");
        row("page address with extra segments", "https://replicate.com/google/veo-3/api",
            "google/veo-3");
        row("no slash", "ownername", "");
        row("only the name", "/name", "");
        row("blank", "   \n", "");
        row("prefix is case-sensitive", "HTTPS://replicate.com/a/b", "HTTPS:/replicate.com");
    }
    void slugRule()
    {
        QFETCH(QString, text);
        QFETCH(QString, slug);
        const auto model = CatalogModel::fromSlug(text, std::nullopt, QString(), true);
        QCOMPARE(model.has_value(), !slug.isEmpty());
        if (model)
            QCOMPARE(model->slug(), slug);
    }

    void titleDerivation_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        const auto row = [](const char *name, const char *title) {
            QTest::newRow(name) << QString(name) << QString(title);
        };
        row("flux-1.1-pro", "Flux 1.1 Pro");
        row("sdxl-lightning", "Sdxl Lightning"); // lower-cases the rest
        row("my-cool_model", "My Cool_model");   // an underscore is no word boundary
        row("REAL-ESRGAN", "Real Esrgan");
    }
    void titleDerivation()
    {
        QFETCH(QString, name);
        const auto model = CatalogModel::fromSlug(u"o/"_s + name, std::nullopt, {}, false);
        QVERIFY(model);
        QTEST(model->title, "title");
        const auto titled = CatalogModel::fromSlug(u"o/"_s + name, u"Given"_s, {}, false);
        QCOMPARE(titled->title, u"Given"_s);
    }

    void listingEntries_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("slug");
        QTest::addColumn<QString>("blurb");
        const auto row = [](const char *name, const char *json, const char *slug,
                            const char *blurb) {
            QTest::newRow(name) << QByteArray(json) << QString(slug) << QString(blurb);
        };
        row("described", R"({"owner":"a","name":"b-c","description":"  Fast.\n"})", "a/b-c",
            "Fast.");
        row("no description", R"({"owner":"a","name":"b"})", "a/b", "a/b");
        row("blank description", R"({"owner":"a","name":"b","description":" \n"})", "a/b", "a/b");
        row("description not text", R"({"owner":"a","name":"b","description":7})", "a/b", "a/b");
        row("owner missing", R"({"name":"b"})", "", "");
        row("name not text", R"({"owner":"a","name":3})", "", "");
    }
    void listingEntries()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, slug);
        const auto model = CatalogModel::fromListing(QJsonDocument::fromJson(json).object(), true);
        QCOMPARE(model.has_value(), !slug.isEmpty());
        if (!model)
            return;
        QCOMPARE(model->slug(), slug);
        QTEST(model->blurb, "blurb");
        QCOMPARE(model->title, CatalogModel::titleFromName(model->name));
        QVERIFY(model->isCustom);
    }

    void builtInLists()
    {
        for (Mode mode : Modes::all()) {
            const auto &models = ModelCatalog::builtIn(mode);
            QCOMPARE(models.size(), 10);
            QCOMPARE(ModelCatalog::dedup(models).size(), 10);
            for (const CatalogModel &model : models)
                QVERIFY(!model.isCustom);
        }
        QCOMPARE(ModelCatalog::upscale().first().slug(), u"topazlabs/image-upscale"_s);
        QCOMPARE(ModelCatalog::image().first().title, u"Flux 1.1 Pro"_s);
        QCOMPARE(ModelCatalog::video().last().slug(), u"pixverse/pixverse-v4.5"_s);
    }

    void dedupKeepsFirst()
    {
        const CatalogModel a{"o", "a", "First", "", false};
        const CatalogModel b{"o", "b", "B", "", false};
        const CatalogModel a2{"o", "a", "Second", "", true};
        const CatalogModel upper{"O", "a", "Upper", "", true};
        const auto unique = ModelCatalog::dedup({a, b, a2, upper});
        QCOMPARE(unique, (QList<CatalogModel>{a, b, upper}));
    }

    void storedFormNeedsEveryKey()
    {
        const CatalogModel model{"o", "n", "T", "B", true};
        const QJsonObject stored = model.toStored();
        QCOMPARE(stored.keys(), (QStringList{"blurb", "isCustom", "name", "owner", "title"}));
        QCOMPARE(CatalogModel::fromStored(stored), model);
        for (const QString &key : stored.keys()) {
            QJsonObject missing = stored;
            missing.remove(key);
            QVERIFY_THROWS_EXCEPTION(CatalogDecodeError, CatalogModel::fromStored(missing));
        }
    }

    void defaultStates()
    {
        const ModeState upscale = ModeState::defaultFor(Mode::upscale);
        QCOMPARE(upscale.selectedSlugs, QStringList{"topazlabs/image-upscale"});
        QCOMPARE(upscale.focusedSlug, u"topazlabs/image-upscale"_s);
        QCOMPARE(upscale.filenameSuffix, u"-upscaled"_s);
        QVERIFY(!upscale.outputFolder);
        const ModeState image = ModeState::defaultFor(Mode::image);
        QVERIFY(image.filenameSuffix.isEmpty());
        QCOMPARE(*image.outputFolder, Modes::userFolder(QStandardPaths::PicturesLocation));
        QCOMPARE(*ModeState::defaultFor(Mode::video).outputFolder,
                 Modes::userFolder(QStandardPaths::MoviesLocation));
    }

    void toggleRules()
    {
        ModeState state = ModeState::defaultFor(Mode::image);
        const QString first = state.selectedSlugs.first();
        state.toggle(first);
        QCOMPARE(state.selectedSlugs, QStringList{first});
        state.toggle(u"a/b"_s);
        QCOMPARE(state.selectedSlugs, (QStringList{first, "a/b"}));
        QCOMPARE(state.focusedSlug, u"a/b"_s);
        state.toggle(u"a/b"_s);
        QCOMPARE(state.selectedSlugs, QStringList{first});
        QCOMPARE(state.focusedSlug, first);
        state.toggle(u"c/d"_s);
        state.focusedSlug = first;
        state.toggle(u"c/d"_s);
        QCOMPARE(state.focusedSlug, first);
    }

    void pruneUnknownSelection()
    {
        ModeState state = ModeState::defaultFor(Mode::video);
        state.customModels = {CatalogModel{"me", "mine", "Mine", "", true}};
        state.selectedSlugs = {"x/unknown", "me/mine", "google/veo-3-fast"};
        state.focusedSlug = u"x/unknown"_s;
        state.pruneUnknownSelection();
        QCOMPARE(state.selectedSlugs, (QStringList{"me/mine", "google/veo-3-fast"}));
        QCOMPARE(state.focusedSlug, u"me/mine"_s);

        state.selectedSlugs = {"x/one", "y/two"};
        state.pruneUnknownSelection();
        QCOMPARE(state.selectedSlugs, QStringList{"google/veo-3"});
        QCOMPARE(state.focusedSlug, u"google/veo-3"_s);
    }

    void removeCustomKeepsSelectionNonEmpty()
    {
        ModeState state = ModeState::defaultFor(Mode::upscale);
        const CatalogModel custom{"me", "mine", "Mine", "", true};
        state.customModels = {custom, custom};
        state.selectedSlugs = {"me/mine"};
        state.focusedSlug = u"me/mine"_s;
        state.removeCustom(custom);
        QVERIFY(state.customModels.isEmpty());
        QCOMPARE(state.selectedSlugs, QStringList{"topazlabs/image-upscale"});
        QCOMPARE(state.focusedSlug, u"topazlabs/image-upscale"_s);
    }
};

QTEST_GUILESS_MAIN(TestCatalog)
#include "tst_catalog.moc"
