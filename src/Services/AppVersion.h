#pragma once

#include <QString>

// The version line the About box and Settings show: "1.0 (42)".
namespace AppVersion
{

// `shortVersion` and `build` as "shortVersion (build)"; a missing value reads "?".
QString text(const QString &shortVersion, const QString &build);
// This build's version text.
QString current();

} // namespace AppVersion
