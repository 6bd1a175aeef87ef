#include "Models/Mode.h"

#include <QDir>

namespace Modes
{

const QList<Mode> &all()
{
    static const QList<Mode> modes{Mode::upscale, Mode::image, Mode::video};
    return modes;
}

QString key(Mode mode)
{
    switch (mode) {
    case Mode::upscale:
        return QStringLiteral("upscale");
    case Mode::image:
        return QStringLiteral("image");
    case Mode::video:
        return QStringLiteral("video");
    }
    Q_UNREACHABLE();
    return QString();
}

std::optional<Mode> fromKey(const QString &key)
{
    for (Mode mode : all()) {
        if (Modes::key(mode) == key)
            return mode;
    }
    return std::nullopt;
}

QString title(Mode mode)
{
    switch (mode) {
    case Mode::upscale:
        return QStringLiteral("Upscale");
    case Mode::image:
        return QStringLiteral("Image");
    case Mode::video:
        return QStringLiteral("Video");
    }
    Q_UNREACHABLE();
    return QString();
}

QString blurb(Mode mode)
{
    switch (mode) {
    case Mode::upscale:
        return QStringLiteral("Make images bigger and sharper.");
    case Mode::image:
        return QStringLiteral("Generate images from a prompt.");
    case Mode::video:
        return QStringLiteral("Generate video from a prompt.");
    }
    Q_UNREACHABLE();
    return QString();
}

QString symbol(Mode mode)
{
    switch (mode) {
    case Mode::upscale:
        return QStringLiteral("arrow.up.left.and.arrow.down.right");
    case Mode::image:
        return QStringLiteral("photo");
    case Mode::video:
        return QStringLiteral("video");
    }
    Q_UNREACHABLE();
    return QString();
}

QString userFolder(QStandardPaths::StandardLocation location)
{
    QString base = QStandardPaths::writableLocation(location);
    if (base.isEmpty())
        base = QDir::tempPath();
    return QDir(base).filePath(QStringLiteral("Moonforge"));
}

} // namespace Modes
