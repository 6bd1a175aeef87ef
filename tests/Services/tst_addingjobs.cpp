#include "FakeDesktop.h"
#include "Services/AppStore.h"
#include "Services/FileIntake.h"
#include "Services/ImageFile.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QThreadPool>

using namespace Qt::StringLiterals;

namespace
{

QUrl urlOf(const QUrl &url)
{
    return url;
}
QUrl urlOf(const ImageJobPtr &job)
{
    return job->input().url();
}

template <typename List> QStringList namesOf(const List &items)
{
    QStringList names;
    for (const auto &item : items)
        names.append(urlOf(item).fileName());
    return names;
}

// Adds files as a drop does and waits until their rows are all there.
bool added(AppStore &store, const QList<QUrl> &urls)
{
    store.addFiles(urls);
    return QTest::qWaitFor([&store] { return !store.isAddingFiles(); });
}

ModelSchema schemaTaking(bool list)
{
    ModelSchema schema;
    schema.imageKey = u"image"_s;
    schema.imageIsArray = list;
    return schema;
}

} // namespace

class TstAddingJobs : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<AppStore> m_store;

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QUrl url(const QString &name) const { return QUrl::fromLocalFile(path(name)); }

    void image(const QString &name, QSize size = QSize(64, 48))
    {
        QImage picture(size, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        QVERIFY2(picture.save(path(name)), qPrintable(name));
    }
    QList<QUrl> urls(const QStringList &names) const
    {
        QList<QUrl> all;
        for (const QString &name : names)
            all.append(url(name));
        return all;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkpath(u"drop/inner"_s));
        for (const char *name : {"drop/img10.png", "drop/img2.png", "drop/Img1.jpg",
                                 "drop/.hidden.png", "drop/inner/deep.png", "loose.png"})
            image(QString::fromLatin1(name));
        image("wide.jpg", QSize(600, 400));
        QFile notes(path("drop/notes.txt"));
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("not a picture\n") > 0);
    }
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_store = std::make_unique<AppStore>(m_env->environment());
    }
    void cleanup() { m_store.reset(); }

    // --- expand ---

    void expand_data()
    {
        QTest::addColumn<QStringList>("dropped");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("folder: direct children, hidden and non-images left out, natural order")
            << QStringList{"drop"} << QStringList{"Img1.jpg", "img2.png", "img10.png"};
        QTest::newRow("files and a folder are sorted together")
            << QStringList{"loose.png", "drop"}
            << QStringList{"Img1.jpg", "img2.png", "img10.png", "loose.png"};
        QTest::newRow("a file beside its folder appears twice")
            << QStringList{"drop", "drop/img2.png"}
            << QStringList{"Img1.jpg", "img2.png", "img2.png", "img10.png"};
        QTest::newRow("missing paths and non-image files are skipped")
            << QStringList{"gone.png", "drop/notes.txt", "loose.png"} << QStringList{"loose.png"};
        QTest::newRow("a hidden file named directly is an image like any other")
            << QStringList{"drop/.hidden.png"} << QStringList{".hidden.png"};
    }
    void expand()
    {
        QFETCH(QStringList, dropped);
        QFETCH(QStringList, expected);
        QCOMPARE(namesOf(FileIntake::expand(urls(dropped))), expected);
    }

    void expandSortIsStable()
    {
        QVERIFY(QDir(m_dir.path()).mkpath("other"));
        image("other/IMG2.png");
        // Equal names under the comparison keep the order they were dropped in.
        const QList<QUrl> dropped = {url("other/IMG2.png"), url("drop/img2.png")};
        QCOMPARE(FileIntake::expand(dropped), dropped);
        const QList<QUrl> reversed = {dropped.at(1), dropped.at(0)};
        QCOMPARE(FileIntake::expand(reversed), reversed);
    }

    // --- addFiles ---

    void addFilesMakesUpscaleJobsWithVariants()
    {
        QSignalSpy changed(m_store.get(), &AppStore::jobsChanged);
        QVERIFY(added(*m_store, {url("drop")}));
        QCOMPARE(changed.count(), 1);
        const QList<ImageJobPtr> jobs = m_store->jobs(Mode::upscale);
        QCOMPARE(namesOf(jobs), (QStringList{"Img1.jpg", "img2.png", "img10.png"}));
        const QStringList slugs = m_store->state().selectedSlugs;
        QVERIFY(!slugs.isEmpty());
        for (const ImageJobPtr &job : jobs) {
            QVERIFY(job->input().isFile());
            QCOMPARE(job->variants().size(), slugs.size());
            for (int i = 0; i < slugs.size(); ++i) {
                QCOMPARE(job->variants().at(i)->modelSlug(), slugs.at(i));
                QCOMPARE(job->variants().at(i)->modelTitle(), m_store->title(slugs.at(i)));
                QCOMPARE(job->variants().at(i)->status(), RunStatus::waiting());
            }
        }
    }

    void addFilesSkipsDuplicates()
    {
        QVERIFY(added(*m_store, {url("drop/img2.png")}));
        QSignalSpy changed(m_store.get(), &AppStore::jobsChanged);
        QVERIFY(added(*m_store, {url("drop/img2.png")}));
        QCOMPARE(changed.count(), 0);
        // Already listed, and twice within the drop itself: each file still gets one row.
        QVERIFY(added(*m_store, {url("drop"), url("drop/img10.png")}));
        QCOMPARE(namesOf(m_store->jobs()), (QStringList{"img2.png", "Img1.jpg", "img10.png"}));
    }

    void addFilesOnlyInUpscale()
    {
        m_store->setMode(Mode::image);
        m_store->addFiles({url("loose.png")});
        QVERIFY(!m_store->isAddingFiles());
        QVERIFY(m_store->jobs(Mode::upscale).isEmpty());
        QVERIFY(m_store->jobs(Mode::image).isEmpty());
        m_store->setMode(Mode::upscale);
        QVERIFY(added(*m_store, {url("loose.png")}));
        QCOMPARE(m_store->jobs().size(), 1);
    }

    void sizesAndPreviewArriveOnTheGuiThread()
    {
        ImageJobPtr job;
        QList<QThread *> threads;
        connect(m_store.get(), &AppStore::jobsChanged, this, [&] {
            job = m_store->jobs().first();
            // The row comes first; what the file holds is filled in later.
            QVERIFY(!job->pixelSize() && job->thumbnail().isNull());
            for (auto signal : {&ImageJob::pixelSizeChanged, &ImageJob::byteSizeChanged,
                                &ImageJob::thumbnailChanged})
                connect(job.get(), signal, this,
                        [&threads] { threads.append(QThread::currentThread()); });
        });
        QVERIFY(added(*m_store, {url("wide.jpg"), url("drop/notes.txt")}));
        QCOMPARE(m_store->jobs().size(), 1);
        QTRY_VERIFY(!job->thumbnail().isNull());
        QCOMPARE(job->pixelSize().value_or(QSizeF()), QSizeF(600, 400));
        QCOMPARE(job->byteSize(), QFileInfo(path("wide.jpg")).size());
        QCOMPARE(job->thumbnail().size(), QSize(256, 171));
        QCOMPARE(threads.size(), 3);
        for (QThread *thread : std::as_const(threads))
            QCOMPARE(thread, QThread::currentThread());
    }

    void storeGoingAwayDropsPendingWork()
    {
        TestEnvironment env;
        std::weak_ptr<ImageJob> weak;
        {
            AppStore store(env.environment());
            QVERIFY(added(store, {url("drop"), url("wide.jpg")}));
            weak = store.jobs().first();
            // And a drop still being listed.
            store.addFiles({url("loose.png")});
        }
        // Nothing queued may reach a store or job that is gone.
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QVERIFY(weak.expired());
    }

    void dropsArriveInOrderInSlices()
    {
        const QString many = path("many");
        QDir().mkpath(many);
        QImage pixel(1, 1, QImage::Format_RGB32);
        pixel.fill(Qt::red);
        QVERIFY(pixel.save(many + u"/p0.png"_s));
        for (int i = 1; i < 300; ++i)
            QVERIFY(QFile::copy(many + u"/p0.png"_s, many + u"/p%1.png"_s.arg(i)));
        QSignalSpy changed(m_store.get(), &AppStore::jobsChanged);
        m_store->addFiles({QUrl::fromLocalFile(many)});
        QVERIFY(m_store->isAddingFiles());
        QVERIFY(added(*m_store, {url("loose.png")}));
        const QList<ImageJobPtr> jobs = m_store->jobs();
        QCOMPARE(jobs.size(), 301);
        QCOMPARE(jobs.at(10)->input().url().fileName(), u"p10.png"_s);
        QCOMPARE(jobs.last()->input().url().fileName(), u"loose.png"_s);
        // Rows come a slice at a time, so the window is never held still by a large folder.
        QVERIFY(changed.count() > 1);

        // Emptying the list while a drop is still arriving keeps it empty.
        m_store->removeAll();
        m_store->addFiles({url("drop")});
        m_store->removeAll();
        QVERIFY(QTest::qWaitFor([this] { return !m_store->isAddingFiles(); }));
        QCoreApplication::processEvents();
        QVERIFY(m_store->jobs().isEmpty());
    }

    // The worker can finish a listing before its answer reaches the GUI thread. A cancel or a
    // second drop in that gap must be handled as if the listing were still running.
    void dropsWhileAListingAnswerIsOnItsWay()
    {
        m_store->addFiles({url("drop")});
        QThreadPool::globalInstance()->waitForDone();
        m_store->removeAll();
        QTRY_VERIFY(!m_store->isAddingFiles());
        QCoreApplication::processEvents();
        QVERIFY(m_store->jobs().isEmpty());

        m_store->addFiles({url("drop")});
        QThreadPool::globalInstance()->waitForDone();
        m_store->addFiles({url("loose.png")});
        QTRY_VERIFY(!m_store->isAddingFiles());
        QCOMPARE(m_store->jobs().size(), 4);
        QCOMPARE(m_store->jobs().last()->input().url().fileName(), u"loose.png"_s);
    }

    // --- open panels ---

    void openPanels_data()
    {
        QTest::addColumn<bool>("references");
        QTest::addColumn<QStringList>("chosen");
        QTest::addColumn<int>("jobs");
        QTest::newRow("add: folder and file") << false << QStringList{"drop", "loose.png"} << 4;
        QTest::newRow("add: dismissed") << false << QStringList{} << 0;
        // Choosing references never adds jobs.
        QTest::newRow("references") << true << QStringList{"loose.png", "wide.jpg"} << 0;
        QTest::newRow("references: dismissed") << true << QStringList{} << 0;
    }
    void openPanels()
    {
        QFETCH(bool, references);
        QFETCH(QStringList, chosen);
        QFETCH(int, jobs);
        TestEnvironment env;
        const auto desktop = std::make_shared<FakeDesktop>();
        desktop->fileAnswers = {urls(chosen)};
        env.mutableEnvironment().desktop = desktop;
        AppStore store(env.environment());
        if (references)
            QCOMPARE(store.chooseReferenceImages(), urls(chosen));
        else
            store.presentOpenPanel();
        QCOMPARE(desktop->openRequests.size(), 1);
        const Desktop::OpenRequest request = desktop->openRequests.first();
        QCOMPARE(request.title, references ? u"Choose reference images"_s
                                           : u"Choose images or a folder of images"_s);
        QCOMPARE(request.acceptLabel, references ? u"Use"_s : u"Add"_s);
        // References must be pictures: no way round the filter.
        QCOMPARE(request.offerAllFiles, !references);
        QCOMPARE(request.allowFolders, !references);
        QVERIFY(request.allowMultiple);
        QCOMPARE(request.mimeTypes, ImageFile::acceptedTypes());
        QTRY_VERIFY(!store.isAddingFiles());
        QCOMPARE(store.jobs().size(), jobs);
    }

    void withoutDesktopPanelsDoNothing()
    {
        m_store->presentOpenPanel();
        QVERIFY(m_store->jobs().isEmpty());
        QVERIFY(m_store->chooseReferenceImages().isEmpty());
    }

    // --- prompts ---

    void addPromptJob_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        const auto row = [](const char *name, const char *typed, const char *stored) {
            QTest::newRow(name) << QString(typed) << QString(stored);
        };
        row("plain", "a red fox", "a red fox");
        row("blanks and line breaks around", " \t a red fox\n\n", "a red fox");
        row("inner breaks kept", "line one\nline two\n", "line one\nline two");
        row("only white space", " \n\t ", "");
        row("empty", "", "");
    }
    void addPromptJob()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        m_store->setMode(Mode::image);
        const QList<QUrl> references = {url("loose.png")};
        m_store->addPromptJob(typed, references);
        if (stored.isEmpty()) {
            QVERIFY(m_store->jobs().isEmpty());
            return;
        }
        QCOMPARE(m_store->jobs().size(), 1);
        const ImageJobPtr job = m_store->jobs().first();
        QCOMPARE(job->input(), JobInput::prompt(stored, references));
        QCOMPARE(job->variants().size(), m_store->state().selectedSlugs.size());
        QCOMPARE(job->variants().first()->modelSlug(), m_store->state().selectedSlugs.first());
        QVERIFY(m_store->jobs(Mode::upscale).isEmpty());
    }

    // --- reuse ---

    void reusedReferences_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("listSlugs"); // selected slugs whose schema takes a list
        QTest::addColumn<QStringList>("oneSlugs");  // selected slugs whose schema takes one
        QTest::addColumn<int>("kept");              // how many are kept, counted from the end
        const auto row = [](const char *name, int count, QStringList list, QStringList one,
                            int kept) { QTest::newRow(name) << count << list << one << kept; };
        row("one-image model, none", 0, {}, {"a/one"}, 0);
        row("one-image model, one", 1, {}, {"a/one"}, 1);
        row("one-image model, three keeps the last", 3, {}, {"a/one"}, 1);
        row("list model keeps all", 3, {"a/list"}, {}, 3);
        row("any list model among the selected keeps all", 3, {"a/list"}, {"a/one"}, 3);
        row("no schema loaded", 2, {}, {}, 1);
    }
    void reusedReferences()
    {
        QFETCH(int, count);
        QFETCH(QStringList, listSlugs);
        QFETCH(QStringList, oneSlugs);
        QFETCH(int, kept);
        QList<QUrl> references;
        for (int i = 0; i < count; ++i)
            references.append(url(u"ref%1.png"_s.arg(i)));
        QMap<QString, SchemaState> schemas;
        for (const QString &slug : listSlugs)
            schemas.insert(slug, SchemaState::ready(schemaTaking(true)));
        for (const QString &slug : oneSlugs)
            schemas.insert(slug, SchemaState::ready(schemaTaking(false)));
        // A list model that is loaded but not selected does not count.
        schemas.insert(u"z/unselected"_s, SchemaState::ready(schemaTaking(true)));
        const QStringList selected = listSlugs + oneSlugs + QStringList{"b/loading"};
        schemas.insert(u"b/loading"_s, SchemaState::loading());
        QCOMPARE(AppStore::reusedReferences(references, selected, schemas),
                 references.mid(count - kept));
    }

    void reuseCopiesPromptIntoDraft()
    {
        m_store->setMode(Mode::image);
        const QList<QUrl> references = {url("a.png"), url("b.png")};
        m_store->addPromptJob("a red fox", references);
        QSignalSpy draft(m_store.get(), &AppStore::draftChanged);
        m_store->reuse(m_store->jobs().first());
        QCOMPARE(m_store->draftPrompt(), u"a red fox"_s);
        // No schema is loaded here, so the draft keeps only the last reference.
        QCOMPARE(m_store->draftReferences(), QList<QUrl>{references.last()});
        QVERIFY(draft.count() >= 1);
    }

    void reuseIgnoresFileJobs()
    {
        m_store->setDraftPrompt("keep me");
        QVERIFY(added(*m_store, {url("loose.png")}));
        m_store->reuse(m_store->jobs().first());
        m_store->reuse(nullptr);
        QCOMPARE(m_store->draftPrompt(), u"keep me"_s);
        QVERIFY(m_store->draftReferences().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstAddingJobs)
#include "tst_addingjobs.moc"
