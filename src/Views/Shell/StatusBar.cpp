#include "Views/Shell/StatusBar.h"

#include "Services/AppStore.h"
#include "Services/Pricing.h"
#include "Views/Accessibility/Announcements.h"
#include "Views/Shell/StoreWatcher.h"
#include "Views/Theme/Icons.h"
#include "Views/Theme/Theme.h"

#include <QAccessible>
#include <QPainter>

namespace
{
constexpr int barHeight = 30;
constexpr int sideMargin = 18;
constexpr qreal progressWidth = 120;
constexpr qreal progressThickness = 4;
constexpr qreal symbolSide = 12;
constexpr qreal gap = 6;
const QString noTokenText = QStringLiteral("No API token");

QFont statusFont()
{
    return Theme::font(11);
}
} // namespace

StatusBar::StatusBar(AppStore &store, StoreWatcher &watcher, QWidget *parent)
    : QWidget(parent), m_store(store)
{
    setObjectName(QStringLiteral("statusBar"));
    setAccessibleName(QStringLiteral("Status"));
    setFixedHeight(barHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(&watcher, &StoreWatcher::changed, this, &StatusBar::refresh);
    refresh();
}

QString StatusBar::tokenWarningText()
{
    return noTokenText;
}

QString StatusBar::completionSummary(int done, int failed, int selectedModels, Mode mode)
{
    QString text = QString::number(done) + (mode == Mode::upscale ? QStringLiteral(" upscaled")
                                                                  : QStringLiteral(" generated"));
    if (failed >= 1)
        text += u", " + QString::number(failed) + u" failed";
    if (selectedModels >= 2)
        text += mode == Mode::video ? QStringLiteral(" — click a row to play")
                                    : QStringLiteral(" — click a row to compare");
    return text;
}

QString StatusBar::spendSummary(const RunSpend &spend)
{
    if (!spend.limit && spend.charged <= 0 && spend.inFlight <= 0)
        return {};
    const QString spent = Pricing::format(spend.charged);
    QString text;
    if (spend.stoppedAtLimit && spend.limit)
        text = u"Stopped at the " + Pricing::format(*spend.limit) + u" limit, spent " + spent;
    else if (spend.unpricedDone > 0)
        text = u"Spent at least " + spent; // some results have no price to add
    else
        text = u"Spent " + spent;
    if (spend.limit && !spend.stoppedAtLimit)
        text += u" of " + Pricing::format(*spend.limit);
    if (spend.unpricedNotStarted > 0)
        text += u" · " + QString::number(spend.unpricedNotStarted) + u" not started, price unknown";
    return text;
}

void StatusBar::refresh()
{
    const QString text = m_text;
    const bool running = m_running;
    const qreal progress = m_progress;
    const bool noToken = m_noToken;
    const QString spendText = m_spendText;
    int done = 0, failed = 0;
    const QList<ImageJobPtr> jobs = m_store.jobs();
    for (const ImageJobPtr &job : jobs) {
        for (const ModelVariantPtr &variant : job->variants()) {
            const RunStatus::Kind kind = variant->status().kind();
            done += kind == RunStatus::Kind::done ? 1 : 0;
            failed += kind == RunStatus::Kind::failed ? 1 : 0;
        }
    }
    m_running = m_store.isRunning();
    m_showsCheckmark = false;
    if (m_running) {
        m_progress = std::clamp(m_store.overallProgress(), 0.0, 1.0);
        m_text =
            QString::number(done + failed) + u" of " + QString::number(m_store.totalVariants());
    } else if (done > 0) {
        m_showsCheckmark = true;
        m_text = completionSummary(done, failed, int(m_store.state().selectedSlugs.size()),
                                   m_store.mode().value_or(Mode::upscale));
    } else {
        m_text = jobs.isEmpty() ? QString() : QStringLiteral("Ready");
    }
    // A run of another mode spent nothing of this one's.
    const std::optional<RunSpend> spend = m_store.runSpend();
    m_spendText = spend && spend->mode == m_store.mode().value_or(Mode::upscale)
                      ? spendSummary(*spend)
                      : QString();
    m_noToken = m_store.tokens().known() && !m_store.tokens().hasToken();
    QStringList description{m_text};
    if (!m_spendText.isEmpty())
        description.append(m_spendText);
    if (m_noToken)
        description.append(noTokenText);
    description.removeAll(QString());
    setAccessibleDescription(description.join(u' '));
    update();
    if (Announcements::wanted())
        announce(text, running, progress, spendText, noToken);
}

// The parts' order: the text, the progress bar, the spend, the token warning.
void StatusBar::announce(const QString &text, bool running, qreal progress,
                         const QString &spendText, bool noToken)
{
    auto send = [this](QAccessibleEvent &&event, int part) {
        event.setChild(part);
        Announcements::send(event);
    };
    if (m_text != text)
        send(QAccessibleEvent(this, QAccessible::NameChanged), 0);
    if (m_running != running)
        send(QAccessibleEvent(this, m_running ? QAccessible::ObjectShow : QAccessible::ObjectHide),
             1);
    if (m_running && m_progress != progress)
        send(QAccessibleValueChangeEvent(this, m_progress * 100.0), 1);
    if (m_spendText != spendText) {
        if (m_spendText.isEmpty() != spendText.isEmpty())
            send(QAccessibleEvent(this, m_spendText.isEmpty() ? QAccessible::ObjectHide
                                                              : QAccessible::ObjectShow),
                 2);
        else
            send(QAccessibleEvent(this, QAccessible::NameChanged), 2);
    }
    if (m_noToken != noToken)
        send(QAccessibleEvent(this, m_noToken ? QAccessible::ObjectShow : QAccessible::ObjectHide),
             3);
}

QSize StatusBar::sizeHint() const
{
    return {400, barHeight};
}

void StatusBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &palette = this->palette();
    // The hairline along the top edge.
    painter.fillRect(QRectF(0, 0, width(), 1), Theme::withAlpha(Theme::separator(palette), 0.35));

    const QRectF line(sideMargin, 1, width() - 2 * sideMargin, height() - 1);
    const QFontMetricsF metrics(statusFont());
    painter.setFont(statusFont());
    qreal x = line.left();
    if (m_running) {
        const QRectF track(x, line.center().y() - progressThickness / 2, progressWidth,
                           progressThickness);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::primaryAt(palette, 0.1));
        painter.drawRoundedRect(track, progressThickness / 2, progressThickness / 2);
        if (m_progress > 0) {
            painter.setBrush(Theme::accent());
            painter.drawRoundedRect(
                QRectF(track.topLeft(),
                       QSizeF(std::max(progressThickness, progressWidth * m_progress),
                              progressThickness)),
                progressThickness / 2, progressThickness / 2);
        }
        x += progressWidth + gap + 2;
    } else if (m_showsCheckmark) {
        Icons::paint(painter, QRectF(x, line.center().y() - symbolSide / 2, symbolSide, symbolSide),
                     QStringLiteral("checkmark.circle.fill"), Theme::green(palette));
        x += symbolSide + gap;
    }
    qreal trailingWidth = 0;
    if (m_noToken)
        trailingWidth = symbolSide + gap + metrics.horizontalAdvance(noTokenText);
    if (!m_spendText.isEmpty()) {
        // The spend keeps at least half of what is left; the leading text gives way first.
        const qreal room = line.right() - trailingWidth - (m_noToken ? 12 : 0) - x;
        const qreal spendWidth = std::max(
            0.0, std::min(metrics.horizontalAdvance(m_spendText),
                          std::max(room / 2, room - 12 - metrics.horizontalAdvance(m_text))));
        const qreal right = line.right() - trailingWidth - (m_noToken ? 12 : 0);
        painter.setPen(Theme::secondary(palette));
        painter.drawText(QRectF(right - spendWidth, line.top(), spendWidth, line.height()),
                         Qt::AlignRight | Qt::AlignVCenter,
                         metrics.elidedText(m_spendText, Qt::ElideRight, spendWidth));
        trailingWidth += spendWidth + (m_noToken ? 12 : 0);
    }
    if (!m_text.isEmpty()) {
        const qreal available = line.right() - trailingWidth - 12 - x;
        painter.setPen(Theme::secondary(palette));
        painter.drawText(QRectF(x, line.top(), std::max(0.0, available), line.height()),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(m_text, Qt::ElideRight, available));
    }
    if (m_noToken) {
        const QColor orange = Theme::orange(palette);
        qreal right = line.right() - metrics.horizontalAdvance(noTokenText);
        painter.setPen(orange);
        painter.drawText(QRectF(right, line.top(), line.right() - right + 1, line.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, noTokenText);
        right -= gap + symbolSide;
        Icons::paint(painter,
                     QRectF(right, line.center().y() - symbolSide / 2, symbolSide, symbolSide),
                     QStringLiteral("key.slash"), orange);
    }
}

void StatusBar::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        update();
}
