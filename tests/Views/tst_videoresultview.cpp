#include "SampleFiles.h"
#include "Services/AppStore.h"
#include "StandInStore.h"
#include "Views/Results/ResultChips.h"
#include "Views/Results/ResultSheet.h"
#include "Views/Results/ResultToolbar.h"
#include "Views/Results/VideoResultView.h"
#include "Views/Theme/Animation.h"
#include "Views/Theme/QuietButton.h"

#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

// The player sheet against real clips: the stand-in service's video model makes them.
class VideoResultViewTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void missingFilesAreNotOfferedAndTheFirstPlays();
    void noPlayableResultShowsTheMessage();
    void switchingRestartsFromTheBeginning();
    void closingPausesAtOnce();
    void clipThePlayerCannotOpenShowsItsError();
    void clipsFinishingWhileOpenAppearAtOnce();

private:
    QString clip(const QString &name);
    ModelVariantPtr done(const QString &title, const QString &path, double elapsed = 41.6);
    VideoResultView *open(const QList<ModelVariantPtr> &variants);

    StandInStore m_standIn;
    QByteArray m_clip;
    std::unique_ptr<AppStore> m_store;
    QPointer<ResultSheet> m_sheet;
    ImageJobPtr m_job;
};

void VideoResultViewTest::initTestCase()
{
    Animation::setEnabled(false);
    QVERIFY2(m_standIn.isRunning(), qPrintable(m_standIn.errorString()));
    const auto created =
        m_standIn.service().call("POST", u"/v1/models/minimax/video-01/predictions"_s,
                                 R"({"input": {"prompt": "waves at night"}})",
                                 {{"Authorization", "Bearer r8_test"}, {"Prefer", "wait=30"}});
    QVERIFY(created && created->status == 201);
    const QJsonValue output = created->object().value(u"output"_s);
    const QUrl address(output.isArray() ? output.toArray().first().toString() : output.toString());
    QVERIFY(address.isValid());
    const auto download = m_standIn.service().call("GET", address.path());
    QVERIFY(download && download->status == 200);
    m_clip = download->body;
    QVERIFY(m_clip.size() > 1000);
}

void VideoResultViewTest::init()
{
    QVERIFY(m_standIn.reset());
    m_store = std::make_unique<AppStore>(m_standIn.surroundings());
    m_store->setMode(Mode::video);
}

void VideoResultViewTest::cleanup()
{
    delete m_sheet;
    m_job.reset();
    m_store.reset();
}

QString VideoResultViewTest::clip(const QString &name)
{
    const QString path = m_standIn.environment().path(name);
    SampleFiles::writeBytes(path, m_clip);
    return path;
}

ModelVariantPtr VideoResultViewTest::done(const QString &title, const QString &path, double elapsed)
{
    auto variant = std::make_shared<ModelVariant>(u"owner/"_s + title.toLower(), title);
    variant->setStatus(RunStatus::done());
    variant->setResultURL(QUrl::fromLocalFile(path));
    variant->setElapsed(elapsed);
    return variant;
}

VideoResultView *VideoResultViewTest::open(const QList<ModelVariantPtr> &variants)
{
    m_job = std::make_shared<ImageJob>(JobInput::prompt(u"waves at night"_s));
    m_job->setVariants(variants);
    m_sheet = new ResultSheet(*m_store, m_job);
    m_sheet->show();
    return m_sheet->videoView();
}

void VideoResultViewTest::missingFilesAreNotOfferedAndTheFirstPlays()
{
    const QString gone = clip(u"b.mp4"_s);
    auto first = done(u"Alpha"_s, clip(u"a.mp4"_s));
    auto deleted = done(u"Beta"_s, gone);
    auto third = done(u"Gamma"_s, clip(u"c.mp4"_s));
    QVERIFY(QFile::remove(gone));
    VideoResultView *view = open({first, deleted, third});
    QVERIFY(view);
    QCOMPARE(view->results(), (QList<ModelVariantPtr>{first, third}));
    QVERIFY(view->chips()->isVisible());
    // A clip has no divider: no choice of a left side.
    QVERIFY(!view->chips()->leftPicker()->isVisible());
    QCOMPARE(view->chips()->count(), 2);
    QCOMPARE(view->chips()->chip(1)->text(), u"Gamma"_s);
    QCOMPARE(view->selected(), first);
    QVERIFY(view->chips()->chip(0)->isChecked());
    QCOMPARE(view->player().source(), first->resultURL());
    QTRY_COMPARE(view->player().playbackState(), QMediaPlayer::PlayingState);
    QTRY_VERIFY(view->player().position() > 0);
    QCOMPARE(view->toolbar()->heading()->subtitleText(), u"Alpha · 42s"_s);
    QCOMPARE(view->message(), QString());
}

void VideoResultViewTest::noPlayableResultShowsTheMessage()
{
    const QString gone = clip(u"a.mp4"_s);
    auto variant = done(u"Alpha"_s, gone);
    QVERIFY(QFile::remove(gone));
    VideoResultView *view = open({variant});
    QCOMPARE(view->selected(), nullptr);
    QCOMPARE(view->message(), u"No result to play — the file may have been moved or deleted."_s);
    QVERIFY(view->chips()->isHidden());
    QCOMPARE(view->toolbar()->heading()->subtitleText(), u"—"_s);
    QVERIFY(!view->toolbar()->revealButton()->isEnabled());
    QCOMPARE(view->player().playbackState(), QMediaPlayer::StoppedState);
}

void VideoResultViewTest::switchingRestartsFromTheBeginning()
{
    auto first = done(u"Alpha"_s, clip(u"a.mp4"_s));
    auto second = done(u"Beta"_s, clip(u"b.mp4"_s));
    VideoResultView *view = open({first, second});
    QMediaPlayer &player = view->player();
    QTRY_VERIFY(player.position() >= 300);
    const qint64 reached = player.position();
    QTest::mouseClick(view->chips()->chip(1), Qt::LeftButton);
    QCOMPARE(view->selected(), second);
    QCOMPARE(player.source(), second->resultURL());
    QVERIFY(player.position() < reached);
    QTRY_COMPARE(player.playbackState(), QMediaPlayer::PlayingState);
    QVERIFY(view->chips()->chip(1)->isChecked());
    // The Left arrow goes back to the first chip, whatever has focus.
    QApplication::setActiveWindow(m_sheet);
    QVERIFY(QTest::qWaitForWindowActive(m_sheet));
    QTest::keyClick(view->chips()->chip(1), Qt::Key_Left);
    QCOMPARE(view->selected(), first);
    QCOMPARE(player.source(), first->resultURL());
}

void VideoResultViewTest::closingPausesAtOnce()
{
    VideoResultView *view = open({done(u"Alpha"_s, clip(u"a.mp4"_s))});
    QTRY_COMPARE(view->player().playbackState(), QMediaPlayer::PlayingState);
    QSignalSpy finished(m_sheet.data(), &QDialog::finished);
    QTest::mouseClick(view->toolbar()->doneButton(), Qt::LeftButton);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(view->player().playbackState(), QMediaPlayer::PausedState);
}

void VideoResultViewTest::clipThePlayerCannotOpenShowsItsError()
{
    const QString broken = m_standIn.environment().path(u"broken.mp4"_s);
    QVERIFY(SampleFiles::writeBytes(broken, QByteArray(4096, 'x')));
    VideoResultView *view = open({done(u"Alpha"_s, broken)});
    QTRY_VERIFY(view->message().startsWith(u"Couldn't play broken.mp4."_s));
}

void VideoResultViewTest::clipsFinishingWhileOpenAppearAtOnce()
{
    auto first = std::make_shared<ModelVariant>(u"owner/alpha"_s, u"Alpha"_s);
    auto second = std::make_shared<ModelVariant>(u"owner/beta"_s, u"Beta"_s);
    first->setStatus(RunStatus::running());
    second->setStatus(RunStatus::running());
    VideoResultView *view = open({first, second});
    QCOMPARE(view->selected(), nullptr);
    // The first clip to finish plays in the sheet already open; no chips for one clip.
    first->setResultURL(QUrl::fromLocalFile(clip(u"a.mp4"_s)));
    first->setStatus(RunStatus::done());
    QCOMPARE(view->selected(), first);
    QCOMPARE(view->message(), QString());
    QVERIFY(view->chips()->isHidden());
    QTRY_COMPARE(view->player().playbackState(), QMediaPlayer::PlayingState);
    // The next one joins as a chip while the first keeps playing.
    second->setResultURL(QUrl::fromLocalFile(clip(u"b.mp4"_s)));
    second->setStatus(RunStatus::done());
    QVERIFY(view->chips()->isVisible());
    QCOMPARE(view->chips()->count(), 2);
    QCOMPARE(view->chips()->chip(1)->text(), u"Beta"_s);
    QVERIFY(view->chips()->chip(0)->isChecked());
    QCOMPARE(view->selected(), first);
    QCOMPARE(view->player().source(), first->resultURL());
    // A model added to the job afterwards is followed as well.
    auto third = std::make_shared<ModelVariant>(u"owner/gamma"_s, u"Gamma"_s);
    m_job->setVariants({first, second, third});
    QCOMPARE(view->chips()->count(), 2);
    third->setResultURL(QUrl::fromLocalFile(clip(u"c.mp4"_s)));
    third->setStatus(RunStatus::done());
    QCOMPARE(view->chips()->count(), 3);
    QCOMPARE(view->selected(), first);
}

QTEST_MAIN(VideoResultViewTest)
#include "tst_videoresultview.moc"
