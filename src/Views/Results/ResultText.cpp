#include "Views/Results/ResultText.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace ResultText
{

QString title(const ImageJob &job)
{
    if (job.input().isFile())
        return job.input().url().fileName();
    QString text = job.input().text();
    text.replace(u"\r\n"_s, u" "_s);
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    constexpr int limit = 60;
    if (text.size() <= limit)
        return text;
    // Never cut between the two halves of a character outside the basic plane.
    const int cut = text.at(limit - 1).isHighSurrogate() ? limit - 1 : limit;
    return text.left(cut) + u"…"_s;
}

QString seconds(double elapsed)
{
    return QString::number(std::llround(elapsed)) + u"s"_s;
}

QString dimensionsOrDash(const std::optional<QString> &dimensions)
{
    return dimensions.value_or(u"—"_s);
}

QString noResult()
{
    return u"No result to show yet."_s;
}

QString resultMissing(const QUrl &result)
{
    return u"“"_s + result.fileName() +
           u"” isn't there any more.\nIt may have been moved or deleted."_s;
}

QString originalMissing(const QUrl &original)
{
    return u"The original “"_s + original.fileName() + u"” isn't there any more."_s;
}

QString originalUndecodable()
{
    return u"Couldn't decode the original image."_s;
}

QString resultUndecodable(const QUrl &result)
{
    return u"Couldn't decode "_s + result.fileName() + u"."_s;
}

QString noPlayableResult()
{
    return u"No result to play — the file may have been moved or deleted."_s;
}

} // namespace ResultText
