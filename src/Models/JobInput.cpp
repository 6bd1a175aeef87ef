#include "Models/JobInput.h"

JobInput::JobInput(Kind kind, QUrl url, QString text, QList<QUrl> references)
    : m_kind(kind), m_url(std::move(url)), m_text(std::move(text)),
      m_references(std::move(references))
{
}

JobInput JobInput::file(const QUrl &url)
{
    return JobInput(Kind::file, url, {}, {});
}

JobInput JobInput::prompt(const QString &text, const QList<QUrl> &references)
{
    return JobInput(Kind::prompt, {}, text, references);
}
