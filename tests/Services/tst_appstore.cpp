#include "AppStoreProbe.h"
#include "Models/ModelCatalog.h"
#include "SchemaRecords.h"
#include "Services/AppStore.h"
#include "TestEnvironment.h"

#include <QFile>
#include <QGuiApplication>
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
        QVERIFY(!m_store->mode());
        QVERIFY(m_store->jobs().isEmpty());
        for (Mode mode : Modes::all())
            QCOMPARE(m_store->state(mode), ModeState::defaultFor(mode));
        QVERIFY(!m_store->revealWhenDone());
        QVERIFY(m_store->outputDestination().isBesideOriginal());
    }

    void noModeMeansUpscale()
    {
        addFileJob(*m_store, u"a.jpg"_s);
        QCOMPARE(m_store->jobs(Mode::upscale).size(), 1);
        m_store->setMode(Mode::image);
        QVERIFY(m_store->jobs().isEmpty());
        QCOMPARE(m_store->state().mode, Mode::image);
        m_store->setMode(std::nullopt);
        QCOMPARE(m_store->jobs().size(), 1);
        QCOMPARE(m_store->state().mode, Mode::upscale);
    }

    void outputDestinationWritesState()
    {
        m_store->setMode(Mode::image);
        QVERIFY(!m_store->outputDestination().isBesideOriginal());
        m_store->setOutputDestination(
            OutputDestination::folder(QUrl::fromLocalFile(m_env->path("out"))));
        QCOMPARE(*m_store->state().outputFolder, m_env->path("out"));
        QCOMPARE(m_store->outputDestination().folderUrl(), QUrl::fromLocalFile(m_env->path("out")));
        m_store->setOutputDestination(OutputDestination::besideOriginal());
        QVERIFY(!m_store->state().outputFolder);
        QVERIFY(m_store->state(Mode::video).outputFolder.has_value());
    }

    void mergedModelsOrder()
    {
        const CatalogModel custom = model(u"me/mine"_s);
        m_store->toggle(custom);
        QList<CatalogModel> expected{custom};
        expected += ModelCatalog::upscale();
        QCOMPARE(m_store->models(), expected);

        QCOMPARE(m_store->title(u"google/upscaler"_s), u"Google Upscaler"_s);
        QCOMPARE(m_store->title(u"me/mine"_s), u"Mine"_s);
        QCOMPARE(m_store->title(u"no/such"_s), u"no/such"_s);
        // Toggling it again deselects it, but it stays remembered.
        m_store->toggle(custom);
        QCOMPARE(m_store->state().customModels, QList<CatalogModel>{custom});
    }

    void toggleAndSelectOnly()
    {
        const QString first = ModelCatalog::upscale().first().slug();
        m_store->toggle(ModelCatalog::upscale().first());
        QCOMPARE(m_store->state().selectedSlugs, QStringList{first});

        const CatalogModel second = ModelCatalog::upscale().at(1);
        m_store->toggle(second);
        QCOMPARE(m_store->state().selectedSlugs, (QStringList{first, second.slug()}));
        QCOMPARE(m_store->focusedModel(), second);
        QVERIFY(m_store->state().customModels.isEmpty());

        m_store->toggle(second);
        QCOMPARE(m_store->state().focusedSlug, first);

        const CatalogModel searched = model(u"someone/searched"_s);
        m_store->selectOnly(searched);
        QCOMPARE(m_store->state().selectedSlugs, QStringList{searched.slug()});
        QCOMPARE(m_store->state().customModels, QList<CatalogModel>{searched});
        QCOMPARE(m_store->selectedModels(), QList<CatalogModel>{searched});

        m_store->removeCustom(searched);
        m_store->removeCustom(ModelCatalog::upscale().first()); // built-in: refused
        QCOMPARE(m_store->state().selectedSlugs, QStringList{first});
        QCOMPARE(m_store->state().focusedSlug, first);
        QVERIFY(m_store->state().customModels.isEmpty());
    }

    void syncKeepsVariantsOfReselectedModels()
    {
        const CatalogModel a = ModelCatalog::upscale().at(0);
        const CatalogModel b = ModelCatalog::upscale().at(1);
        m_store->toggle(b);
        const ImageJobPtr job = addFileJob(*m_store, u"photo.jpg"_s);
        QCOMPARE(slugsOf(job), (QStringList{a.slug(), b.slug()}));
        const ModelVariantPtr variantA = job->variants().at(0);
        const ModelVariantPtr variantB = job->variants().at(1);
        variantA->setStatus(RunStatus::done());
        variantB->setStatus(RunStatus::done());

        m_store->toggle(a);
        QCOMPARE(job->variants(), (QList<ModelVariantPtr>{variantB, variantA}));
        m_store->toggle(a);
        QCOMPARE(job->variants(), (QList<ModelVariantPtr>{variantB, variantA}));
        QCOMPARE(job->variants().at(1)->status(), RunStatus::done());
    }

    void syncDropsUnfinishedVariantsOfDeselectedModels()
    {
        const CatalogModel b = ModelCatalog::upscale().at(1);
        const CatalogModel c = ModelCatalog::upscale().at(2);
        m_store->toggle(b);
        m_store->toggle(c);
        const ImageJobPtr job = addFileJob(*m_store, u"p.jpg"_s);
        job->variants().at(1)->setStatus(RunStatus::failed(u"x"_s));
        m_store->toggle(b);
        m_store->toggle(c);
        QCOMPARE(slugsOf(job), QStringList{ModelCatalog::upscale().first().slug()});
        m_store->toggle(b);
        QCOMPARE(job->variants().at(1)->status(), RunStatus::waiting());
        QCOMPARE(job->variants().at(1)->modelTitle(), b.title);
    }

    void progressCountsKeptResults()
    {
        const CatalogModel a = ModelCatalog::upscale().at(0);
        const CatalogModel b = ModelCatalog::upscale().at(1);
        const CatalogModel c = ModelCatalog::upscale().at(2);
        m_store->toggle(c);
        const ImageJobPtr job = addFileJob(*m_store, u"p.jpg"_s);
        job->variants().at(1)->setStatus(RunStatus::done());
        m_store->toggle(b);
        m_store->toggle(c); // c's done variant is kept, now deselected
        for (const auto &variant : job->variants())
            variant->setStatus(RunStatus::done());
        QCOMPARE(job->variants().size(), 3);
        QCOMPARE(m_store->totalVariants(), 2);
        QCOMPARE(m_store->overallProgress(), 1.5);
        QCOMPARE(m_store->pendingPairs().size(), 0);
        QCOMPARE(job->variants().first()->modelSlug(), a.slug());
    }

    void pendingPairsInOrder()
    {
        const CatalogModel b = ModelCatalog::upscale().at(1);
        m_store->toggle(b);
        const ImageJobPtr first = addFileJob(*m_store, u"1.jpg"_s);
        const ImageJobPtr second = addFileJob(*m_store, u"2.jpg"_s);
        first->variants().at(0)->setStatus(RunStatus::done());
        first->variants().at(1)->setStatus(RunStatus::cancelled());
        second->variants().at(0)->setStatus(RunStatus::running());
        second->variants().at(1)->setStatus(RunStatus::failed(u"x"_s));
        const auto pairs = m_store->pendingPairs();
        QCOMPARE(pairs.size(), 2);
        QCOMPARE(pairs.at(0).variant, first->variants().at(1));
        QCOMPARE(pairs.at(1).job, second);
        QCOMPARE(pairs.at(1).variant, second->variants().at(1));
        QCOMPARE(m_store->overallProgress(), 3.0 / 4.0);
    }

    void finishedJobs()
    {
        m_store->toggle(ModelCatalog::upscale().at(1));
        const ImageJobPtr empty = std::make_shared<ImageJob>(JobInput::prompt(u"p"_s));
        m_store->setJobs({empty});
        const ImageJobPtr half = addFileJob(*m_store, u"h.jpg"_s);
        const ImageJobPtr whole = addFileJob(*m_store, u"w.jpg"_s);
        half->variants().at(0)->setStatus(RunStatus::done());
        whole->variants().at(0)->setStatus(RunStatus::done());
        whole->variants().at(1)->setStatus(RunStatus::failed(u"x"_s));
        QCOMPARE(m_store->finishedJobCount(), 1);
        m_store->clearFinished();
        QCOMPARE(m_store->jobs(), (QList<ImageJobPtr>{empty, half}));
    }

    void removeCancelsWork()
    {
        const ImageJobPtr job = addFileJob(*m_store, u"a.jpg"_s);
        const ImageJobPtr other = addFileJob(*m_store, u"b.jpg"_s);
        const TaskHandle work;
        job->variants().at(0)->setWork(work);
        m_store->remove(job);
        QVERIFY(work.isCancelled());
        QCOMPARE(m_store->jobs(), QList<ImageJobPtr>{other});
        m_store->removeAll();
        QVERIFY(m_store->jobs().isEmpty());
    }

    void resultsGoneWhileAwayAreNoticedOnReturn()
    {
        const QString path = m_env->path(QStringLiteral("r.png"));
        QVERIFY(QImage(4, 4, QImage::Format_RGB32).save(path));
        const ImageJobPtr job = addFileJob(*m_store, QStringLiteral("a.jpg"));
        const ModelVariantPtr variant = job->variants().at(0);
        variant->setResultURL(QUrl::fromLocalFile(path));
        QVERIFY(QFile::remove(path));
        QVERIFY(variant->resultExists());
        QSignalSpy changed(variant.get(), &ModelVariant::resultChanged);
        Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
        QVERIFY(variant->resultExists());
        Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive);
        QVERIFY(!variant->resultExists());
        QCOMPARE(changed.count(), 1);
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
        m_store->setMode(mode);
        const QString slug = u"test/maker"_s;
        m_store->selectOnly(*CatalogModel::fromSlug(slug, {}, u"Custom model"_s, true));
        QTRY_COMPARE(m_store->schemaState().kind(), SchemaState::Kind::failed);
        ModelSchema schema;
        schema.imageKey = u"image"_s;
        schema.promptKey = u"prompt"_s;
        schema.outputKind = schemaSays;
        AppStoreProbe::setSchemaState(*m_store, slug, SchemaState::ready(schema));
        const ImageJobPtr job = addFileJob(*m_store, u"a.jpg"_s);
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
        QCOMPARE(m_store->showsPlayer(job), player);
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
        m_store->setMode(mode);
        const QString slug = u"test/two-files"_s;
        m_store->selectOnly(*CatalogModel::fromSlug(slug, {}, u"Custom model"_s, true));
        QTRY_COMPARE(m_store->schemaState().kind(), SchemaState::Kind::failed);
        const auto addJob = [this, mode, slug] {
            auto job = std::make_shared<ImageJob>(
                mode == Mode::upscale ? JobInput::file(QUrl::fromLocalFile(u"/in/a.jpg"_s))
                                      : JobInput::prompt(u"a harbour"_s));
            job->setVariants({std::make_shared<ModelVariant>(slug, m_store->title(slug))});
            m_store->setJobs(m_store->jobs() << job);
            return job->variants().first();
        };
        const ModelVariantPtr before = addJob();
        QCOMPARE(before->status(), RunStatus::waiting());

        const ModelSchema schema = SchemaRecords::schema(properties, required);
        AppStoreProbe::setSchemaState(*m_store, slug, SchemaState::ready(schema));
        const RunStatus expected =
            message.isEmpty() ? RunStatus::waiting() : RunStatus::failed(message);
        QCOMPARE(before->status(), expected);
        QCOMPARE(addJob()->status(), expected);
    }

    void setterSignalsOnlyOnChange()
    {
        QSignalSpy mode(m_store.get(), &AppStore::modeChanged);
        QSignalSpy draft(m_store.get(), &AppStore::draftChanged);
        m_store->setMode(Mode::image);
        m_store->setMode(Mode::image);
        QCOMPARE(mode.count(), 1);
        m_store->setDraftPrompt(u"a"_s);
        m_store->setDraftPrompt(u"a"_s);
        QCOMPARE(draft.count(), 1);
    }
};

QTEST_MAIN(TestAppStore)
#include "tst_appstore.moc"
