#pragma once

#include "Services/Coroutine.h"

#include <QWidget>

class AppStore;
class GlowButton;
class TextButton;
class TextLabel;
class TokenField;

// The first-use screen over the main window: asks for the API token, checks it with the service
// and dismisses itself once the token is accepted, or when the user skips.
class WelcomeView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WelcomeView)
public:
    explicit WelcomeView(AppStore &store, QWidget *parent = nullptr);

    // Something to submit, and no check running.
    bool canSubmit() const;
    // Checks the typed token; does nothing unless canSubmit().
    void submit();

    static constexpr int contentWidth = 380;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QCoro::Task<void> check(QString token);
    void refresh();

    AppStore &m_store;
    TokenField *m_field;
    QWidget *m_message;
    TextLabel *m_messageText;
    GlowButton *m_continue;
};
