#pragma once

#include <QStringList>

#include <cstdio>

// The tool's sub-commands. Each prints one JSON object per line on `out`, writes failures as one
// line each on `err`, and answers the process exit code (0 on success, 1 otherwise).
namespace ImageCommands
{
int inspect(const QStringList &files, FILE *out, FILE *err);
int thumbnail(int maxPixel, const QString &input, const QString &output, FILE *out, FILE *err);
int prepare(const QString &input, const QString &output, FILE *out, FILE *err);
// Dispatches the arguments after the program name.
int run(const QStringList &args, FILE *out, FILE *err);
} // namespace ImageCommands
