#include "AppStoreProbe.h"
#include "Models/ModelCatalog.h"
#include "SchemaRecords.h"
#include "Services/AppStore.h"
#include "TestEnvironment.h"

#include <QImage>

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace
{

CatalogModel model(const QString &slug, bool custom = true)
{
    return *CatalogModel::fromSlug(slug, std::nullopt, QString(), custom);
}

ImageJobPtr addFileJob(AppStore &store, const QString &name)
{
    auto job = std::make_shared<ImageJob>(JobInput::file(QUrl::fromLocalFile(u"/in/"_s + name)));
    QList<ModelVariantPtr> variants;
    for (const QString &slug : store.state().selectedSlugs)
        variants.append(std::make_shared<ModelVariant>(slug, store.title(slug)));
    job->setVariants(variants);
    store.setJobs(store.jobs() << job);
    return job;
}

QStringList slugsOf(const ImageJobPtr &job)
{
    QStringList slugs;
    for (const auto &variant : job->variants())
        slugs.append(variant->modelSlug());
    return slugs;
}

} // namespace

class TestAppStore : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<AppStore> m_store;

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_store = std::make_unique<AppStore>(m_env->environment());
    }
    void cleanup()
    {
        m_store.reset();
        m_env.reset();
    }

    void startsWithDefaults()
    {
        AppStore &store = *m_store;
        QVERIFY(!store.mode());
        QVERIFY(store.jobs().isEmpty());
        for (Mode mode : Modes::all())
            QCOMPARE(store.state(mode), ModeState::defaultFor(mode));
        QVERIFY(!store.revealWhenDone());
        QVERIFY(store.outputDestination().isBesideOriginal());
    }

    void noModeMeansUpscale()
    {
        AppStore &store = *m_store;
        addFileJob(store, u"a.jpg"_s);
        QCOMPARE(store.jobs(Mode::upscale).size(), 1);
        store.setMode(Mode::image);
        QVERIFY(store.jobs().isEmpty());
        QCOMPARE(store.state().mode, Mode::image);
        store.setMode(std::nullopt);
        QCOMPARE(store.jobs().size(), 1);
        QCOMPARE(store.state().mode, Mode::upscale);
    }

    void outputDestinationWritesState()
    {
        AppStore &store = *m_store;
        store.setMode(Mode::image);
        QVERIFY(!store.outputDestination().isBesideOriginal());
        store.setOutputDestination(
            OutputDestination::folder(QUrl::fromLocalFile(m_env->path("out"))));
        QCOMPARE(*store.state().outputFolder, m_env->path("out"));
        QCOMPARE(store.outputDestination().folderUrl(), QUrl::fromLocalFile(m_env->path("out")));
        store.setOutputDestination(OutputDestination::besideOriginal());
        QVERIFY(!store.state().outputFolder);
        QVERIFY(store.state(Mode::video).outputFolder.has_value());
    }

    void mergedModelsOrder()
    {
        AppStore &store = *m_store;
        const CatalogModel custom = model(u"me/mine"_s);
        store.toggle(custom);
        QList<CatalogModel> expected{custom};
        expected += ModelCatalog::upscale();
        QCOMPARE(store.models(), expected);

        QCOMPARE(store.title(u"google/upscaler"_s), u"Google Upscaler"_s);
        QCOMPARE(store.title(u"me/mine"_s), u"Mine"_s);
        QCOMPARE(store.title(u"no/such"_s), u"no/such"_s);
        // Toggling it again deselects it, but it stays remembered.
        store.toggle(custom);
        QCOMPARE(store.state().customModels, QList<CatalogModel>{custom});
    }

    void toggleAndSelectOnly()
    {
        AppStore &store = *m_store;
        const QString first = ModelCatalog::upscale().first().slug();
        store.toggle(ModelCatalog::upscale().first());
        QCOMPARE(store.state().selectedSlugs, QStringList{first});

        const CatalogModel second = ModelCatalog::upscale().at(1);
        store.toggle(second);
        QCOMPARE(store.state().selectedSlugs, (QStringList{first, second.slug()}));
        QCOMPARE(store.focusedModel(), second);
        QVERIFY(store.state().customModels.isEmpty());

        store.toggle(second);
        QCOMPARE(store.state().focusedSlug, first);

        const CatalogModel searched = model(u"someone/searched"_s);
        store.selectOnly(searched);
        QCOMPARE(store.state().selectedSlugs, QStringList{searched.slug()});
        QCOMPARE(store.state().customModels, QList<CatalogModel>{searched});
        QCOMPARE(store.selectedModels(), QList<CatalogModel>{searched});

        store.removeCustom(searched);
        store.removeCustom(ModelCatalog::upscale().first()); // built-in: refused
        QCOMPARE(store.state().selectedSlugs, QStringList{first});
        QCOMPARE(store.state().focusedSlug, first);
        QVERIFY(store.state().customModels.isEmpty());
    }

    void syncKeepsVariantsOfReselectedModels()
    {
        AppStore &store = *m_store;
        const CatalogModel a = ModelCatalog::upscale().at(0);
        const CatalogModel b = ModelCatalog::upscale().at(1);
        store.toggle(b);
        const ImageJobPtr job = addFileJob(store, u"photo.jpg"_s);
        QCOMPARE(slugsOf(job), (QStringList{a.slug(), b.slug()}));
        const ModelVariantPtr variantA = job->variants().at(0);
        const ModelVariantPtr variantB = job->variants().at(1);
        variantA->setStatus(RunStatus::done());
        variantB->setStatus(RunStatus::done());

        store.toggle(a);
        QCOMPARE(job->variants(), (QList<ModelVariantPtr>{variantB, variantA}));
        store.toggle(a);
        QCOMPARE(job->variants(), (QList<ModelVariantPtr>{variantB, variantA}));
        QCOMPARE(job->variants().at(1)->status(), RunStatus::done());
    }

    void syncDropsUnfinishedVariantsOfDeselectedModels()
    {
        AppStore &store = *m_store;
        const CatalogModel b = ModelCatalog::upscale().at(1);
        const CatalogModel c = ModelCatalog::upscale().at(2);
        store.toggle(b);
        store.toggle(c);
        const ImageJobPtr job = addFileJob(store, u"p.jpg"_s);
        job->variants().at(1)->setStatus(RunStatus::failed(u"x"_s));
        store.toggle(b);
        store.toggle(c);
        QCOMPARE(slugsOf(job), QStringList{ModelCatalog::upscale().first().slug()});
        store.toggle(b);
        QCOMPARE(job->variants().at(1)->status(), RunStatus::waiting());
        QCOMPARE(job->variants().at(1)->modelTitle(), b.title);
    }

    void progressCountsKeptResults()
    {
        AppStore &store = *m_store;
        const CatalogModel a = ModelCatalog::upscale().at(0);
        const CatalogModel b = ModelCatalog::upscale().at(1);
        const CatalogModel c = ModelCatalog::upscale().at(2);
        store.toggle(c);
        const ImageJobPtr job = addFileJob(store, u"p.jpg"_s);
        job->variants().at(1)->setStatus(RunStatus::done());
        store.toggle(b);
        store.toggle(c); // c's done variant is kept, now deselected
        for (const auto &variant : job->variants())
            variant->setStatus(RunStatus::done());
        QCOMPARE(job->variants().size(), 3);
        QCOMPARE(store.totalVariants(), 2);
        QCOMPARE(store.overallProgress(), 1.5);
        QCOMPARE(store.pendingPairs().size(), 0);
        QCOMPARE(job->variants().first()->modelSlug(), a.slug());
    }

    void pendingPairsInOrder()
    {
        AppStore &store = *m_store;
        const CatalogModel b = ModelCatalog::upscale().at(1);
        store.toggle(b);
        const ImageJobPtr first = addFileJob(store, u"1.jpg"_s);
        const ImageJobPtr second = addFileJob(store, u"2.jpg"_s);
        first->variants().at(0)->setStatus(RunStatus::done());
        first->variants().at(1)->setStatus(RunStatus::cancelled());
        second->variants().at(0)->setStatus(RunStatus::running());
        second->variants().at(1)->setStatus(RunStatus::failed(u"x"_s));
        const auto pairs = store.pendingPairs();
        QCOMPARE(pairs.size(), 2);
        QCOMPARE(pairs.at(0).variant, first->variants().at(1));
        QCOMPARE(pairs.at(1).job, second);
        QCOMPARE(pairs.at(1).variant, second->variants().at(1));
        QCOMPARE(store.overallProgress(), 3.0 / 4.0);
    }

    void finishedJobs()
    {
        AppStore &store = *m_store;
        store.toggle(ModelCatalog::upscale().at(1));
        const ImageJobPtr empty = std::make_shared<ImageJob>(JobInput::prompt(u"p"_s));
        store.setJobs({empty});
        const ImageJobPtr half = addFileJob(store, u"h.jpg"_s);
        const ImageJobPtr whole = addFileJob(store, u"w.jpg"_s);
        half->variants().at(0)->setStatus(RunStatus::done());
        whole->variants().at(0)->setStatus(RunStatus::done());
        whole->variants().at(1)->setStatus(RunStatus::failed(u"x"_s));
        QCOMPARE(store.finishedJobCount(), 1);
        store.clearFinished();
        QCOMPARE(store.jobs(), (QList<ImageJobPtr>{empty, half}));
    }

    void removeCancelsWork()
    {
        AppStore &store = *m_store;
        const ImageJobPtr job = addFileJob(store, u"a.jpg"_s);
        const ImageJobPtr other = addFileJob(store, u"b.jpg"_s);
        const TaskHandle work;
        job->variants().at(0)->setWork(work);
        store.remove(job);
        QVERIFY(work.isCancelled());
        QCOMPARE(store.jobs(), QList<ImageJobPtr>{other});
        store.removeAll();
        QVERIFY(store.jobs().isEmpty());
    }

    void showsPlayer_data()
    {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<OutputKind>("schemaSays");
        QTest::addColumn<QString>("result");
        QTest::addColumn<bool>("player");
        QTest::newRow("image model") << Mode::upscale << OutputKind::image << "" << false;
        QTest::newRow("video mode, any model") << Mode::video << OutputKind::image << "" << true;
        QTest::newRow("video model in image mode")
            << Mode::image << OutputKind::video << "" << true;
        QTest::newRow("unknown, video result")
            << Mode::image << OutputKind::unknown << "clip.mp4" << true;
        QTest::newRow("unknown, image result")
            << Mode::image << OutputKind::unknown << "still.png" << false;
        QTest::newRow("schema before result")
            << Mode::image << OutputKind::image << "clip.mp4" << false;
    }
    // The kind a model makes, from its schema or else from a result it made, decides the player
    // in any mode.
    void showsPlayer()
    {
        QFETCH(Mode, mode);
        QFETCH(OutputKind, schemaSays);
        QFETCH(QString, result);
        QFETCH(bool, player);
        AppStore &store = *m_store;
        store.setMode(mode);
        const QString slug = u"test/maker"_s;
        store.selectOnly(*CatalogModel::fromSlug(slug, {}, u"Custom model"_s, true));
        QTRY_COMPARE(store.schemaState().kind(), SchemaState::Kind::failed);
        ModelSchema schema;
        schema.imageKey = u"image"_s;
        schema.promptKey = u"prompt"_s;
        schema.outputKind = schemaSays;
        AppStoreProbe::setSchemaState(store, slug, SchemaState::ready(schema));
        const ImageJobPtr job = addFileJob(store, u"a.jpg"_s);
        if (!result.isEmpty()) {
            const QString path = m_env->path(result);
            if (result.endsWith(QLatin1String(".png"))) {
                QVERIFY(QImage(4, 4, QImage::Format_RGB32).save(path));
            } else {
                // An MP4 file type box is all a media type needs.
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(QByteArray("\0\0\0\x18"
                                      "ftypisom\0\0\0\0isomiso2",
                                      24));
            }
            const ModelVariantPtr variant = job->variants().first();
            variant->setResultURL(QUrl::fromLocalFile(path));
            variant->setStatus(RunStatus::done());
        }
        QCOMPARE(store.showsPlayer(job), player);
    }

    void refusedVariantsMarked_data()
    {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<QByteArray>("properties");
        QTest::addColumn<QByteArray>("required");
        QTest::addColumn<QString>("message");
        const QByteArray uri = R"({"type":"string","format":"uri"})";
        QTest::newRow("inpainting, file job")
            << Mode::upscale << QByteArray(R"({"image":)" + uri + R"(,"mask":)" + uri + "}")
            << QByteArray(R"(["image","mask"])")
            << "This model needs a second image (mask), which Moonforge can't send yet.";
        QTest::newRow("face swap, prompt job")
            << Mode::image
            << QByteArray(R"({"prompt":{"type":"string"},"face":)" + uri + R"(,"target":)" + uri +
                          "}")
            << QByteArray(R"(["face","target"])")
            << "This model needs a second image (target), which Moonforge can't send yet.";
        QTest::newRow("text without a clear prompt")
            << Mode::image << QByteArray(R"({"style":{"type":"string"}})") << QByteArray("[]")
            << "This model takes text (style), but none of it is clearly the prompt, so "
               "Moonforge can't send one.";
        QTest::newRow("fits") << Mode::upscale << QByteArray(R"({"image":)" + uri + "}")
                              << QByteArray(R"(["image"])") << "";
    }
    // A job that the model cannot take says so once the schema is read, before any run.
    void refusedVariantsMarked()
    {
        QFETCH(Mode, mode);
        QFETCH(QByteArray, properties);
        QFETCH(QByteArray, required);
        QFETCH(QString, message);
        AppStore &store = *m_store;
        store.setMode(mode);
        const QString slug = u"test/two-files"_s;
        store.selectOnly(*CatalogModel::fromSlug(slug, {}, u"Custom model"_s, true));
        QTRY_COMPARE(store.schemaState().kind(), SchemaState::Kind::failed);
        const auto addJob = [&store, mode, slug] {
            auto job = std::make_shared<ImageJob>(
                mode == Mode::upscale ? JobInput::file(QUrl::fromLocalFile(u"/in/a.jpg"_s))
                                      : JobInput::prompt(u"a harbour"_s));
            job->setVariants({std::make_shared<ModelVariant>(slug, store.title(slug))});
            store.setJobs(store.jobs() << job);
            return job->variants().first();
        };
        const ModelVariantPtr before = addJob();
        QCOMPARE(before->status(), RunStatus::waiting());

        const ModelSchema schema = SchemaRecords::schema(properties, required);
        AppStoreProbe::setSchemaState(store, slug, SchemaState::ready(schema));
        const RunStatus expected =
            message.isEmpty() ? RunStatus::waiting() : RunStatus::failed(message);
        QCOMPARE(before->status(), expected);
        QCOMPARE(addJob()->status(), expected);
    }

    void setterSignalsOnlyOnChange()
    {
        AppStore &store = *m_store;
        QSignalSpy mode(&store, &AppStore::modeChanged);
        QSignalSpy draft(&store, &AppStore::draftChanged);
        store.setMode(Mode::image);
        store.setMode(Mode::image);
        QCOMPARE(mode.count(), 1);
        store.setDraftPrompt(u"a"_s);
        store.setDraftPrompt(u"a"_s);
        QCOMPARE(draft.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestAppStore)
#include "tst_appstore.moc"
