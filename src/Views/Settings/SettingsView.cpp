#include "Views/Settings/SettingsView.h"

#include "Services/AppStore.h"
#include "Services/AppVersion.h"
#include "Services/Coroutine.h"
#include "Services/Updater.h"
#include "Views/Settings/TokenField.h"
#include "Views/Theme/Icons.h"
#include "Views/Theme/QuietButton.h"
#include "Views/Theme/SectionLabel.h"
#include "Views/Theme/TextButton.h"
#include "Views/Theme/TextLabel.h"
#include "Views/Theme/Theme.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>

namespace
{
constexpr int savedMilliseconds = 2000;

// A status symbol whose tint follows the palette.
class StatusSymbol final : public QWidget
{
public:
    using Tint = QColor (*)(const QPalette &);
    StatusSymbol(Tint tint, QWidget *parent) : QWidget(parent), m_tint(tint)
    {
        setFixedSize(12, 12);
    }
    void setSymbol(const QString &symbol, Tint tint)
    {
        m_symbol = symbol;
        m_tint = tint;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        Icons::paint(painter, rect(), m_symbol, m_tint(palette()));
    }

private:
    QString m_symbol;
    Tint m_tint;
};

// A hairline across the window between sections.
class Divider final : public QWidget
{
public:
    explicit Divider(QWidget *parent) : QWidget(parent) { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Theme::separator(palette()));
    }
};
} // namespace

SettingsView::SettingsView(AppStore &store, Updater &updater, QWidget *parent)
    : QWidget(parent), m_store(store), m_updater(updater), m_field(new TokenField(this)),
      m_save(new QuietButton(QStringLiteral("Save"), true, this)),
      m_statusSymbol(new StatusSymbol(&Theme::secondary, this)),
      m_status(new TextLabel({}, 11.5, QFont::Normal, TextLabel::Tone::secondary, this)),
      m_savedSymbol(new StatusSymbol(&Theme::green, this)),
      m_savedText(new TextLabel(QStringLiteral("Saved"), 11.5, QFont::Normal,
                                TextLabel::Tone::secondary, this)),
      m_remove(new QuietButton(QStringLiteral("Remove"), false, this)),
      m_autoCheck(new QCheckBox(QStringLiteral("Check for updates automatically"), this)),
      m_checkNow(new QuietButton(QStringLiteral("Check Now"), false, this))
{
    setObjectName(QStringLiteral("settings"));
    setWindowTitle(QStringLiteral("Settings"));
    setFixedWidth(viewWidth);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(10);

    column->addWidget(new SectionLabel(QStringLiteral("Replicate API Token"), nullptr, this));
    const QUrl tokenPage =
        m_store.environment().webBase.resolved(QUrl(QStringLiteral("/account/api-tokens")));
    auto *caption = new TextLabel(QStringLiteral("Stored in your login keyring. Create one at ") +
                                      tokenPage.host() + tokenPage.path() + u'.',
                                  11.5, QFont::Normal, TextLabel::Tone::secondary, this);
    caption->setWordWrap(true);
    column->addWidget(caption);

    auto *entry = new QHBoxLayout;
    entry->setSpacing(8);
    m_field->setObjectName(QStringLiteral("settingsToken"));
    entry->addWidget(m_field, 1);
    m_save->setObjectName(QStringLiteral("settingsSave"));
    entry->addWidget(m_save);
    column->addLayout(entry);

    auto *status = new QHBoxLayout;
    status->setSpacing(5);
    status->addWidget(m_statusSymbol);
    m_status->setObjectName(QStringLiteral("settingsStatus"));
    status->addWidget(m_status);
    status->addSpacing(6);
    m_savedSymbol->setObjectName(QStringLiteral("settingsSavedSymbol"));
    static_cast<StatusSymbol *>(m_savedSymbol)
        ->setSymbol(QStringLiteral("checkmark.circle.fill"), &Theme::green);
    status->addWidget(m_savedSymbol);
    m_savedText->setObjectName(QStringLiteral("settingsSaved"));
    status->addWidget(m_savedText);
    status->addStretch(1);
    auto *getToken =
        new TextButton(QStringLiteral("Get a token"), TextButton::Look::link, 11.5, this);
    getToken->setObjectName(QStringLiteral("settingsGetToken"));
    getToken->setToolTip(tokenPage.toDisplayString());
    status->addWidget(getToken);
    m_remove->setObjectName(QStringLiteral("settingsRemove"));
    status->addWidget(m_remove);
    column->addLayout(status);

    column->addSpacing(4);
    column->addWidget(new Divider(this));
    column->addSpacing(4);
    column->addWidget(new SectionLabel(QStringLiteral("Updates"), nullptr, this));
    m_autoCheck->setObjectName(QStringLiteral("settingsAutoCheck"));
    m_autoCheck->setFont(Theme::font(13));
    auto *updates = new QHBoxLayout;
    updates->addWidget(m_autoCheck, 1);
    m_checkNow->setObjectName(QStringLiteral("settingsCheckNow"));
    updates->addWidget(m_checkNow);
    column->addLayout(updates);
    auto *version = new TextLabel(QStringLiteral("Version ") + AppVersion::current(), 11.5,
                                  QFont::Normal, TextLabel::Tone::secondary, this);
    version->setObjectName(QStringLiteral("settingsVersion"));
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(version);

    column->addSpacing(4);
    column->addWidget(new Divider(this));
    column->addSpacing(4);
    auto *footer = new TextLabel(
        QStringLiteral("Images are uploaded to Replicate to be processed, and charged to your "
                       "Replicate account at that model's rate."),
        11, QFont::Normal, TextLabel::Tone::tertiary, this);
    footer->setWordWrap(true);
    column->addWidget(footer);

    m_savedTimer.setSingleShot(true);
    m_savedTimer.setInterval(savedMilliseconds);
    connect(&m_savedTimer, &QTimer::timeout, this, [this] {
        m_saved = false;
        refresh();
    });
    connect(m_field->lineEdit(), &QLineEdit::textChanged, this, &SettingsView::refresh);
    connect(m_field->lineEdit(), &QLineEdit::returnPressed, this, &SettingsView::save);
    connect(m_save, &QAbstractButton::clicked, this, &SettingsView::save);
    connect(getToken, &QAbstractButton::clicked, this,
            [tokenPage] { QDesktopServices::openUrl(tokenPage); });
    connect(m_remove, &QAbstractButton::clicked, this, [this] {
        m_saved = false;
        m_savedTimer.stop();
        writeToken({});
    });
    connect(m_autoCheck, &QCheckBox::toggled, &m_updater,
            &Updater::setAutomaticallyChecksForUpdates);
    connect(m_checkNow, &QAbstractButton::clicked, &m_updater, &Updater::checkForUpdates);
    connect(&m_updater, &Updater::canCheckForUpdatesChanged, this, &SettingsView::refresh);
    connect(&m_store, &AppStore::tokenChanged, this, &SettingsView::refresh);
    m_autoCheck->setChecked(m_updater.automaticallyChecksForUpdates());
    refresh();
}

void SettingsView::save()
{
    const QString token = m_field->text();
    if (token.trimmed().isEmpty() || m_saving)
        return;
    writeToken(token);
}

QCoro::Task<void> SettingsView::writeToken(QString token)
{
    const QPointer<SettingsView> self(this);
    m_saving = true;
    refresh();
    AppStore &store = m_store;
    auto storing = store.setToken(token);
    const bool stored = co_await storing;
    if (!self)
        co_return;
    m_saving = false;
    if (stored && !token.trimmed().isEmpty()) {
        m_field->lineEdit()->clear();
        m_saved = true;
        m_savedTimer.start();
    }
    refresh();
}

QString SettingsView::statusText() const
{
    QString text = m_status->text();
    if (m_savedText->isVisibleTo(this))
        text += u"  " + m_savedText->text();
    return text;
}

void SettingsView::refresh()
{
    using Source = TokenVault::Source;
    const bool hasToken = m_store.tokens().hasToken();
    auto *symbol = static_cast<StatusSymbol *>(m_statusSymbol);
    const QString storeError = m_store.tokens().storeError();
    if (!storeError.isEmpty()) {
        // The keyring refused: say so rather than pretend the token was kept.
        symbol->setSymbol(QStringLiteral("exclamationmark.triangle.fill"), &Theme::red);
        m_status->setTone(TextLabel::Tone::red);
        m_status->setText(storeError);
    } else if (hasToken && m_store.tokens().source() == Source::environment) {
        symbol->setSymbol(QStringLiteral("key.fill"), &Theme::secondary);
        m_status->setTone(TextLabel::Tone::secondary);
        m_status->setText(QStringLiteral("Token from REPLICATE_API_TOKEN"));
    } else {
        symbol->setSymbol(hasToken ? QStringLiteral("key.fill")
                                   : QStringLiteral("exclamationmark.triangle.fill"),
                          &Theme::secondary);
        m_status->setTone(TextLabel::Tone::secondary);
        m_status->setText(hasToken ? QStringLiteral("Token stored")
                                   : QStringLiteral("No token yet"));
    }
    m_status->setWordWrap(!storeError.isEmpty());
    m_savedSymbol->setVisible(m_saved);
    m_savedText->setVisible(m_saved);
    // A token given in the environment is not ours to remove.
    m_remove->setVisible(hasToken && m_store.tokens().source() == Source::keyring);
    m_save->setEnabled(!m_field->text().trimmed().isEmpty() && !m_saving);
    m_checkNow->setEnabled(m_updater.canCheckForUpdates());
}

void SettingsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The toggle mirrors the updater each time the window comes up.
    m_autoCheck->setChecked(m_updater.automaticallyChecksForUpdates());
    refresh();
}
