#include "Views/Settings/WelcomeView.h"

#include "Services/AppStore.h"
#include "Services/Coroutine.h"
#include "Views/Settings/TokenField.h"
#include "Views/Theme/AppMark.h"
#include "Views/Theme/GlowButton.h"
#include "Views/Theme/Icons.h"
#include "Views/Theme/TextButton.h"
#include "Views/Theme/TextLabel.h"
#include "Views/Theme/Theme.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>

namespace
{
// The small red symbol before the rejection message; repainted with the palette.
class MessageSymbol final : public QWidget
{
public:
    explicit MessageSymbol(QWidget *parent) : QWidget(parent) { setFixedSize(13, 13); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        Icons::paint(painter, rect(), QStringLiteral("exclamationmark.circle.fill"),
                     Theme::red(palette()));
    }
};
} // namespace

WelcomeView::WelcomeView(AppStore &store, QWidget *parent)
    : QWidget(parent), m_store(store), m_field(new TokenField(this)), m_message(new QWidget(this)),
      m_messageText(nullptr), m_continue(new GlowButton(QStringLiteral("Continue"), this))
{
    setObjectName(QStringLiteral("welcome"));
    setAccessibleName(QStringLiteral("Welcome to Moonforge"));
    // Covers the whole window: the pointer never reaches the screen below.
    setAttribute(Qt::WA_NoMousePropagation);
    setAutoFillBackground(false);

    auto *outer = new QVBoxLayout(this);
    outer->addStretch(1);
    auto *content = new QWidget(this);
    content->setFixedWidth(contentWidth);
    outer->addWidget(content, 0, Qt::AlignHCenter);
    outer->addStretch(1);

    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(new AppMark(70, content), 0, Qt::AlignHCenter);
    column->addSpacing(18);
    auto *title = new TextLabel(QStringLiteral("Welcome to Moonforge"), 22, QFont::DemiBold,
                                TextLabel::Tone::primary, content);
    title->setObjectName(QStringLiteral("welcomeTitle"));
    column->addWidget(title, 0, Qt::AlignHCenter);
    column->addSpacing(10);
    auto *body = new TextLabel(
        QStringLiteral("Upscale your images, or generate new images and video from a prompt.\n"
                       "Every model runs on Replicate, so it needs your API token."),
        13, QFont::Normal, TextLabel::Tone::secondary, content);
    body->setAlignment(Qt::AlignHCenter);
    body->setWordWrap(true);
    // Wrapped text inside a fixed width: reserve every line it needs.
    body->setMinimumHeight(body->heightForWidth(contentWidth));
    column->addWidget(body);
    column->addSpacing(22);

    m_field->setObjectName(QStringLiteral("welcomeToken"));
    column->addWidget(m_field);
    m_message->setObjectName(QStringLiteral("welcomeMessage"));
    auto *messageRow = new QHBoxLayout(m_message);
    messageRow->setContentsMargins(2, 6, 0, 0);
    messageRow->setSpacing(5);
    messageRow->addWidget(new MessageSymbol(m_message), 0, Qt::AlignTop);
    m_messageText = new TextLabel({}, 11, QFont::Normal, TextLabel::Tone::red, m_message);
    m_messageText->setObjectName(QStringLiteral("welcomeMessageText"));
    m_messageText->setWordWrap(true);
    messageRow->addWidget(m_messageText, 1);
    column->addWidget(m_message);
    column->addSpacing(14);

    m_continue->setObjectName(QStringLiteral("welcomeContinue"));
    m_continue->setDefault(true);
    column->addWidget(m_continue);
    column->addSpacing(10);

    auto *links = new QHBoxLayout;
    links->setSpacing(14);
    links->addStretch(1);
    auto *getToken =
        new TextButton(QStringLiteral("Get a free token"), TextButton::Look::link, 11.5, content);
    getToken->setObjectName(QStringLiteral("welcomeGetToken"));
    const QUrl tokenPage =
        m_store.environment().webBase.resolved(QUrl(QStringLiteral("/account/api-tokens")));
    getToken->setToolTip(tokenPage.toDisplayString());
    links->addWidget(getToken);
    auto *skip =
        new TextButton(QStringLiteral("Skip for now"), TextButton::Look::plain, 11.5, content);
    skip->setObjectName(QStringLiteral("welcomeSkip"));
    links->addWidget(skip);
    links->addStretch(1);
    column->addLayout(links);
    column->addSpacing(18);

    auto *footer = new TextLabel(
        QStringLiteral("Your token is stored in the system keyring and only sent to ") +
            m_store.environment().webBase.host() + u'.',
        11, QFont::Normal, TextLabel::Tone::tertiary, content);
    footer->setObjectName(QStringLiteral("welcomeFooter"));
    footer->setAlignment(Qt::AlignHCenter);
    footer->setWordWrap(true);
    footer->setMinimumHeight(footer->heightForWidth(contentWidth));
    column->addWidget(footer);

    connect(m_field->lineEdit(), &QLineEdit::textEdited, this, [this] {
        // Any edit after a rejection clears the red outline and the message.
        if (m_store.tokens().check().kind() == TokenCheck::Kind::invalid)
            m_store.setTokenCheck(TokenCheck::idle());
    });
    connect(m_field->lineEdit(), &QLineEdit::textChanged, this, &WelcomeView::refresh);
    connect(m_field->lineEdit(), &QLineEdit::returnPressed, this, &WelcomeView::submit);
    connect(m_continue, &QAbstractButton::clicked, this, &WelcomeView::submit);
    connect(getToken, &QAbstractButton::clicked, this,
            [tokenPage] { QDesktopServices::openUrl(tokenPage); });
    connect(skip, &QAbstractButton::clicked, this, [this] { m_store.setShowWelcome(false); });
    connect(&m_store, &AppStore::tokenCheckChanged, this, &WelcomeView::refresh);
    refresh();
}

bool WelcomeView::canSubmit() const
{
    return !m_field->text().trimmed().isEmpty() &&
           m_store.tokens().check().kind() != TokenCheck::Kind::checking;
}

void WelcomeView::submit()
{
    if (!canSubmit())
        return;
    check(m_field->text());
}

QCoro::Task<void> WelcomeView::check(QString token)
{
    const QPointer<WelcomeView> self(this);
    AppStore &store = m_store;
    auto submitting = store.submitToken(token);
    const bool accepted = co_await submitting;
    if (!self || !accepted)
        co_return;
    m_field->lineEdit()->clear();
    m_store.setShowWelcome(false);
}

void WelcomeView::refresh()
{
    const TokenCheck check = m_store.tokens().check();
    const bool checking = check.kind() == TokenCheck::Kind::checking;
    const bool rejected = check.kind() == TokenCheck::Kind::invalid;
    m_field->setRejected(rejected);
    m_messageText->setText(rejected ? check.message() : QString());
    m_message->setVisible(rejected);
    m_continue->setText(checking ? QStringLiteral("Checking…") : QStringLiteral("Continue"));
    m_continue->setAccessibleName(m_continue->text());
    m_continue->setBusy(checking);
    m_continue->setEnabled(canSubmit());
}

void WelcomeView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_field->setFocus(Qt::OtherFocusReason);
}

void WelcomeView::paintEvent(QPaintEvent *)
{
    // A veil of the window colour over the blurred screen below keeps the text readable.
    QPainter painter(this);
    painter.fillRect(rect(), Theme::withAlpha(palette().color(QPalette::Window), 0.45));
}
