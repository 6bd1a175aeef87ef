#pragma once

#include "Services/Coroutine.h"

#include <QTimer>
#include <QWidget>

class AppStore;
class TextButton;
class QCheckBox;
class QuietButton;
class TextLabel;
class TokenField;
class Updater;

// The Settings window: stores or removes the API token without a check, and holds the update
// options and the version.
class SettingsView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsView)
public:
    SettingsView(AppStore &store, Updater &updater, QWidget *parent = nullptr);

    // Stores the typed token as it is; shows "Saved" for two seconds, or why the keyring refused.
    void save();
    bool isShowingSaved() const { return m_saved; }
    // Hides "Saved" again; a second save restarts its two seconds.
    QTimer &savedTimer() { return m_savedTimer; }
    // The status line as it reads.
    QString statusText() const;

    static constexpr int viewWidth = 430;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QCoro::Task<void> writeToken(QString token);
    void refresh();

    AppStore &m_store;
    Updater &m_updater;
    TokenField *m_field;
    QuietButton *m_save;
    QWidget *m_statusSymbol;
    TextLabel *m_status;
    QWidget *m_savedSymbol;
    TextLabel *m_savedText;
    QuietButton *m_remove;
    QCheckBox *m_autoCheck;
    QuietButton *m_checkNow;
    QTimer m_savedTimer;
    bool m_saved = false;
    bool m_saving = false;
};
