#pragma once

#include "Models/ImageJob.h"
#include "Services/Coroutine.h"
#include "Services/ImagePyramid.h"
#include "Services/JobTracker.h"
#include "Views/Results/ZoomState.h"

#include <QWidget>

#include <atomic>
#include <memory>
#include <optional>

class AppStore;
class CompareCanvas;
class ResultChips;
class ResultMessage;
class ResultToolbar;
class QShortcut;
class QStackedLayout;
class ZoomButtons;

// The compare view of one image job: the original ("Before") and a chosen result ("After") one
// over the other, split by a divider, with zoom, pan and a chip per finished result. The left
// side may show another result instead, so two models' outputs compare directly. Files are
// decoded off the GUI thread; a missing or undecodable file shows its message and "Try Again".
class CompareView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CompareView)
public:
    CompareView(AppStore &store, ImageJobPtr job, QWidget *parent = nullptr);
    ~CompareView() override;

    ModelVariantPtr selected() const { return m_selected; }
    // Shows the `index`-th finished result (a chip's choice) and loads it.
    void choose(int index);
    // What the left side shows: 0 the original (nothing for a prompt), 1 + i the i-th finished
    // result. The choice stays while the sheet is open, whichever chip is chosen.
    void chooseLeft(int index);
    // The result shown left of the divider; null for the original.
    ModelVariantPtr leftSide() const { return m_left; }
    // Starts loading the selected result again, the left picture included.
    void reload();
    // The message shown instead of the images; empty while loading or when they are shown.
    QString loadError() const;
    // The full result is shown (not only its quick preview).
    bool isLoaded() const { return m_load == Load::loaded; }

    CompareCanvas *canvas() const { return m_canvas; }
    ResultToolbar *toolbar() const { return m_toolbar; }
    ResultChips *chips() const { return m_chips; }

Q_SIGNALS:
    void doneRequested();
    // A load finished: the images are shown or loadError() says why not.
    void loadFinished();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Where loading the pictures stands; every load starts again at `decoding`.
    enum class Load {
        unopened,   // not shown yet: nothing was asked for
        decoding,   // the files decode; previews of the result wait for the left picture
        previewing, // the left picture (or its preview) is in: previews of the result show
        loaded,     // the full result is shown
        failed,     // the message says why not
    };

    void open();
    void load();
    QCoro::Task<> decode(int generation, QString leftPath, QString resultPath);
    void finishLoad(ImagePyramidPtr before, ImagePyramidPtr after);
    void showImages(ImagePyramidPtr before, ImagePyramidPtr after);
    void offerPreview(ImagePyramidPtr preview);
    void fail(const QString &message);
    void refreshChips();
    void refreshToolbar();
    void reveal();
    // Left and Right walk the chips, while there are chips.
    void stepChip(int step);
    ZoomMode openingZoom() const;
    // The file drawn left of the divider: the chosen result's or the original; empty for none.
    QUrl leftURL() const;
    bool hasOriginal() const;

    AppStore &m_store;
    ImageJobPtr m_job;
    JobTracker::Hold m_follow;
    ModelVariantPtr m_selected;
    ModelVariantPtr m_left;
    QList<ModelVariantPtr> m_chipVariants;
    Load m_load = Load::unopened;
    QString m_failure;
    std::optional<QSize> m_lastResultPixelSize;
    // The decoded left picture, kept across chip switches: every result compares with it.
    ImagePyramidPtr m_leftPicture;
    QString m_leftPath;
    // While decoding, the latest partial preview of the result and what shows left of it.
    ImagePyramidPtr m_pendingPreview;
    ImagePyramidPtr m_previewBefore;
    int m_generation = 0;
    // Decodes that have not started yet skip themselves once a newer load is asked for, so quick
    // chip switching never queues several full-size decodes.
    std::shared_ptr<std::atomic<int>> m_latest = std::make_shared<std::atomic<int>>(0);

    ResultToolbar *m_toolbar;
    ZoomButtons *m_zoomButtons;
    ResultChips *m_chips;
    QShortcut *m_previousChip;
    QShortcut *m_nextChip;
    QStackedLayout *m_stack;
    CompareCanvas *m_canvas;
    ResultMessage *m_message;
};
