#pragma once

#include <QHashFunctions>
#include <QList>
#include <QStandardPaths>
#include <QString>

#include <optional>

// The three working modes. The key ("upscale", "image", "video") is the stored form everywhere.
enum class Mode { upscale, image, video };

inline size_t qHash(Mode mode, size_t seed = 0)
{
    return ::qHash(static_cast<int>(mode), seed);
}

namespace Modes
{

// Every mode, in declared order.
const QList<Mode> &all();

QString key(Mode mode);
std::optional<Mode> fromKey(const QString &key);

QString title(Mode mode);
QString blurb(Mode mode);
QString symbol(Mode mode);

// First folder the platform gives for `location`, or the temp folder, with "Moonforge" appended.
// Creates nothing on disk.
QString userFolder(QStandardPaths::StandardLocation location);

} // namespace Modes
