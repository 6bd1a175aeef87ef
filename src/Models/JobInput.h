#pragma once

#include <QList>
#include <QString>
#include <QUrl>

// What a job feeds each model: an image file, or a prompt with optional reference images.
class JobInput
{
public:
    enum class Kind { file, prompt };

    static JobInput file(const QUrl &url);
    static JobInput prompt(const QString &text, const QList<QUrl> &references = {});

    Kind kind() const { return m_kind; }
    bool isFile() const { return m_kind == Kind::file; }
    bool isPrompt() const { return m_kind == Kind::prompt; }
    // The image file of a file job; empty for a prompt job.
    QUrl url() const { return m_url; }
    // The prompt text and reference images of a prompt job; empty for a file job.
    QString text() const { return m_text; }
    QList<QUrl> references() const { return m_references; }

    friend bool operator==(const JobInput &, const JobInput &) = default;

private:
    JobInput(Kind kind, QUrl url, QString text, QList<QUrl> references);

    Kind m_kind = Kind::file;
    QUrl m_url;
    QString m_text;
    QList<QUrl> m_references;
};
