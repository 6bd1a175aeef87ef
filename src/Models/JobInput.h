#pragma once

#include <QJsonObject>

#include <QList>
#include <QString>
#include <QUrl>

// What a job feeds each model: an image file, or a prompt with optional reference images.
struct ModelSchema;

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

    // The files to upload for `schema`, in order; throws SchemaParseError when they cannot fit.
    QList<QUrl> uploadSources(const ModelSchema &schema) const;
    // `base` with the uploaded images and, for a prompt job, the prompt (which always wins).
    QJsonObject predictionInput(const QJsonObject &base, const ModelSchema &schema,
                                const QList<QUrl> &uploadedImageURLs) const;

    friend bool operator==(const JobInput &, const JobInput &) = default;

private:
    JobInput(Kind kind, QUrl url, QString text, QList<QUrl> references);

    Kind m_kind = Kind::file;
    QUrl m_url;
    QString m_text;
    QList<QUrl> m_references;
};
