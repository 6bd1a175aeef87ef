#pragma once

#include <QLibrary>
#include <QString>

// Helpers for libraries opened on first use instead of linked: the program then starts without
// loading them (and everything they pull in) when it never meets the files they read.
namespace RuntimeLibrary
{

// Opens lib<name>.so.<version>; kept loaded for the life of the process, as QLibrary does not
// unload on destruction.
inline bool open(QLibrary &library, const QString &name, int version)
{
    library.setFileNameAndVersion(name, version);
    return library.load();
}

template <typename F> void resolve(QLibrary &library, const char *name, F &target)
{
    target = reinterpret_cast<F>(library.resolve(name));
}

} // namespace RuntimeLibrary
