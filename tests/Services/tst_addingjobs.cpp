#include "FakeDesktop.h"
#include "Services/AppStore.h"
#include "Services/FileIntake.h"
#include "Services/ImageFile.h"
#include "Services/JobTracker.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#ifdef Q_OS_LINUX
#include <sys/fsuid.h>
#include <unistd.h>
#endif

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

// Root reads every folder whatever its permissions; the calling thread gives up its file-system
// identity (and with it that power) while this lives, so a locked folder is locked for it.
class WithoutRootAccess
{
public:
    WithoutRootAccess()
    {
#ifdef Q_OS_LINUX
        // The group too: the test's folders belong to root's group.
        if (::geteuid() == 0) {
            m_previousGroup = ::setfsgid(65534);
            m_previous = ::setfsuid(65534);
        }
#endif
    }
    ~WithoutRootAccess()
    {
#ifdef Q_OS_LINUX
        if (m_previous >= 0) {
            ::setfsuid(uid_t(m_previous));
            ::setfsgid(gid_t(m_previousGroup));
        }
#endif
    }
    Q_DISABLE_COPY_MOVE(WithoutRootAccess)

private:
    int m_previous = -1;
    int m_previousGroup = -1;
};

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
    // "tree/b2/y.png < tree": a found file and the folder it was found below, both relative.
    QString described(const QUrl &file, const QUrl &treeRoot) const
    {
        const QDir base(m_dir.path());
        const QString name = base.relativeFilePath(file.toLocalFile());
        return treeRoot.isEmpty() ? name
                                  : name + u" < "_s + base.relativeFilePath(treeRoot.toLocalFile());
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

        // An archive: subfolders at several depths, a hidden folder and file, a folder that can be
        // locked, a link back up the tree, a link to a folder of the tree, and two links to each
        // other.
        for (const char *folder : {"tree/b2/inner", "tree/b10", "tree/.hidden", "tree/locked"})
            QVERIFY(QDir(m_dir.path()).mkpath(QString::fromLatin1(folder)));
        for (const char *name :
             {"tree/top.png", "tree/.h.png", "tree/b2/y.png", "tree/b2/inner/z.png",
              "tree/b10/x.png", "tree/.hidden/h.png", "tree/locked/l.png"})
            image(QString::fromLatin1(name));
        QVERIFY(QFile::link(u"../.."_s, path("tree/b2/inner/up")));
        QVERIFY(QFile::link(u"b10"_s, path("tree/alias")));
        QVERIFY(QFile::link(u"pong"_s, path("tree/ping")));
        QVERIFY(QFile::link(u"ping"_s, path("tree/pong")));
        // The locked folder's test reads the tree without root's powers.
        QVERIFY(QFile::setPermissions(m_dir.path(), QFile::permissions(m_dir.path()) |
                                                        QFile::ReadOther | QFile::ExeOther));
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

    void listTree_data()
    {
        QTest::addColumn<QStringList>("dropped");
        QTest::addColumn<bool>("subfolders");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<QStringList>("expected");
        const QStringList walked = {"tree/top.png < tree", "tree/b2/y.png < tree",
                                    "tree/b2/inner/z.png < tree", "tree/b10/x.png < tree"};
        QTest::newRow("off: direct children only, no tree root")
            << QStringList{"tree"} << false << false << QStringList{"tree/top.png"};
        // The folder's own files, then folder by folder in path order, each sorted by name.
        // Hidden entries, the link up the tree, the link to b10 and the two links to each other
        // bring nothing more.
        QTest::newRow("on: folder by folder, hidden and linked folders once")
            << QStringList{"tree"} << true << false
            << walked + QStringList{"tree/locked/l.png < tree"};
        QTest::newRow("on: a folder that cannot be read brings nothing")
            << QStringList{"tree"} << true << true << walked;
        QTest::newRow("on: loose files sort with the folder's own files")
            << QStringList{"tree/b10", "loose.png"} << true << false
            << QStringList{"loose.png", "tree/b10/x.png < tree/b10"};
        QTest::newRow("on: a file of the tree named alone has no root")
            << QStringList{"tree/b2/y.png"} << true << false << QStringList{"tree/b2/y.png"};
    }
    void listTree()
    {
        QFETCH(QStringList, dropped);
        QFETCH(bool, subfolders);
        QFETCH(bool, locked);
        const QString lockedFolder = path("tree/locked");
        const QFile::Permissions open = QFile::permissions(lockedFolder);
        if (locked)
            QVERIFY(QFile::setPermissions(lockedFolder, {}));
        QList<FoundFile> found;
        {
            const WithoutRootAccess unprivileged;
            if (locked && !QDir(lockedFolder).entryList(QDir::Files).isEmpty())
                QSKIP("This process reads folders whatever their permissions.");
            found = FileIntake::list(urls(dropped), subfolders);
        }
        QVERIFY(QFile::setPermissions(lockedFolder, open));
        QStringList described;
        for (const FoundFile &file : std::as_const(found))
            described.append(this->described(file.url, file.treeRoot));
        QTEST(described, "expected");
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

    void addFilesFollowsTheSubfolderChoice()
    {
        m_store->setIncludeSubfolders(true);
        QVERIFY(added(*m_store, {url("tree/b2")}));
        QStringList described;
        for (const ImageJobPtr &job : m_store->jobs())
            described.append(this->described(job->input().url(), job->treeRoot()));
        QCOMPARE(described,
                 (QStringList{"tree/b2/y.png < tree/b2", "tree/b2/inner/z.png < tree/b2"}));
        // The link up the tree in b2/inner leads out of the dropped folder: nothing comes of it.
        // The choice is read at each drop.
        m_store->setIncludeSubfolders(false);
        QVERIFY(added(*m_store, {url("tree")}));
        QCOMPARE(m_store->jobs().size(), 3);
        const ImageJobPtr last = m_store->jobs().last();
        QCOMPARE(this->described(last->input().url(), last->treeRoot()), u"tree/top.png"_s);
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

    void resultsBesideOriginalsAreNotNewPhotos()
    {
        // A run's result saved in the dropped folder, as beside originals puts it.
        QVERIFY(added(*m_store, {url("drop/img2.png")}));
        m_store->jobs().first()->variants().first()->setResultURL(url("drop/img10.png"));
        QVERIFY(added(*m_store, {url("drop")}));
        QCOMPARE(namesOf(m_store->jobs()), (QStringList{"img2.png", "Img1.jpg"}));
        // Named on its own, a result is taken: it may be meant to run again.
        QVERIFY(added(*m_store, {url("drop/img10.png")}));
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
        for (const ImageJobPtr &job : jobs)
            QVERIFY(m_store->jobTracker().isFollowing(job.get()));

        // Emptying the list while a drop is still arriving keeps it empty.
        m_store->removeAll();
        m_store->addFiles({url("drop")});
        m_store->removeAll();
        QVERIFY(QTest::qWaitFor([this] { return !m_store->isAddingFiles(); }));
        QCoreApplication::processEvents();
        QVERIFY(m_store->jobs().isEmpty());
        QVERIFY(!m_store->jobTracker().isFollowing(jobs.first().get()));
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
