#pragma once

#include "Models/ImageJob.h"

#include <QString>
#include <QUrl>

#include <optional>

// The texts the result viewers show, in one place so the compare view and the player agree.
namespace ResultText
{
// A file job's file name; a prompt's text on one line, cut to 60 characters and "…".
QString title(const ImageJob &job);
// "12s": whole seconds, rounded.
QString seconds(double elapsed);
QString dimensionsOrDash(const std::optional<QString> &dimensions);

QString noResult();
// The result file is gone: its name in quotes, then the advice on a second line.
QString resultMissing(const QUrl &result);
QString originalMissing(const QUrl &original);
QString originalUndecodable();
QString resultUndecodable(const QUrl &result);
QString noPlayableResult();
} // namespace ResultText
