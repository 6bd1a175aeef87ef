#pragma once

#include <QPlainTextEdit>

// The composer's prompt: plain multi-line text on a rounded field that grows from 3 to 8
// lines. Return submits, Shift+Return starts a new line, and Ctrl+Return submits here rather
// than reaching the window's Run command, unless the field is blank.
class PromptField final : public QPlainTextEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PromptField)
public:
    explicit PromptField(QWidget *parent = nullptr);

    static constexpr int minimumLines = 3;
    static constexpr int maximumLines = 8;
    static constexpr int innerPadding = 10;
    // How many lines the field shows now.
    int shownLines() const;

Q_SIGNALS:
    void submitted();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void fitHeight();
    int m_lines = minimumLines;
};
