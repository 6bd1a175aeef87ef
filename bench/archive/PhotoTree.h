#pragma once

#include <QString>

// A tree of small photos standing in for a photo archive: `photosPerFolder` to a folder, the
// folders `levels` (0 to 3) below the root, eight to a parent. Every name is unique across the
// tree ("p000042.jpg"), so results can be told apart by stem wherever they land.
namespace PhotoTree
{
struct Made {
    int photos = 0;
    int folders = 0;
};
// False when a folder or file could not be written.
bool make(const QString &root, int photos, int photosPerFolder, int levels, Made *made);

// Result files per photo, counted by name anywhere below `root`: every file other than a photo
// whose name starts with a photo's stem and a character that is not a digit.
struct Results {
    int total = 0;
    int fewest = 0;
    int most = 0;
    int photosWithout = 0;
};
Results countResults(const QString &root, int photos);
} // namespace PhotoTree
