#pragma once

#include <QString>
#include <QStringList>

// The filters every open panel offers: one "Images" filter over the request's MIME types and,
// when asked, "All files" after it.
namespace ChooserFilters
{
inline QString imagesName()
{
    return QStringLiteral("Images");
}
inline QString allFilesName()
{
    return QStringLiteral("All files");
}
// Qt's name filters: "Images (*.jpg *.png …)" built from the types' glob patterns.
QStringList nameFilters(const QStringList &mimeTypes, bool offerAllFiles);
} // namespace ChooserFilters
