#pragma once

#include <QUrl>

// Where results go: one chosen folder, or next to each source file.
class OutputDestination
{
public:
    static OutputDestination folder(const QUrl &url) { return OutputDestination(url); }
    static OutputDestination besideOriginal() { return OutputDestination(QUrl()); }

    bool isBesideOriginal() const { return m_folder.isEmpty(); }
    // The chosen folder; empty when results go beside the original.
    QUrl folderUrl() const { return m_folder; }

    friend bool operator==(const OutputDestination &, const OutputDestination &) = default;

private:
    explicit OutputDestination(QUrl folder) : m_folder(std::move(folder)) {}
    QUrl m_folder;
};
