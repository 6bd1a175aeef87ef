#include "Views/Desktop/FileAndFolderDialog.h"

#include "Views/Desktop/ChooserFilters.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

FileAndFolderDialog::FileAndFolderDialog(const Desktop::OpenRequest &request, QWidget *parent)
    : QFileDialog(parent, request.title), m_allowFolders(request.allowFolders)
{
    setObjectName(QStringLiteral("openPanel"));
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(request.allowMultiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    // The desktop's dialog (when Qt offers one) cannot take a folder without entering it.
    setOption(QFileDialog::DontUseNativeDialog, m_allowFolders);
    setNameFilters(ChooserFilters::nameFilters(request.mimeTypes, request.offerAllFiles));
    if (!request.acceptLabel.isEmpty())
        setLabelText(QFileDialog::Accept, request.acceptLabel);
    if (m_allowFolders) {
        // Qt renames the button "Open" while a folder is selected; here it adds that folder.
        // Queued, so the label is put back after Qt's own update.
        const auto keepLabel = [this, label = request.acceptLabel] {
            if (auto *box = findChild<QDialogButtonBox *>()) {
                if (QPushButton *button = box->button(QDialogButtonBox::Open))
                    button->setText(label);
            }
        };
        connect(this, &QFileDialog::currentChanged, this, keepLabel, Qt::QueuedConnection);
        connect(this, &QFileDialog::directoryEntered, this, keepLabel, Qt::QueuedConnection);
        if (auto *typed = findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            connect(typed, &QLineEdit::textChanged, this, keepLabel, Qt::QueuedConnection);
    }
}

QList<QUrl> FileAndFolderDialog::choose(const Desktop::OpenRequest &request, QWidget *parent)
{
    FileAndFolderDialog dialog(request, parent);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.chosen();
}

QList<QUrl> FileAndFolderDialog::chosen() const
{
    // The stock accept (files typed or chosen without folders) leaves its answer in the dialog.
    return m_chosen.isEmpty() ? selectedUrls() : m_chosen;
}

void FileAndFolderDialog::accept()
{
    if (!m_allowFolders) {
        QFileDialog::accept();
        return;
    }
    const QStringList selected = selectedFiles();
    const auto *typed = findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    const bool navigating = typed && typed->text().endsWith(u'/');
    const bool allExist = std::all_of(selected.cbegin(), selected.cend(),
                                      [](const QString &path) { return QFileInfo::exists(path); });
    // Typed paths, missing names and folders to enter are the stock dialog's business.
    if (selected.isEmpty() || navigating || !allExist) {
        QFileDialog::accept();
        return;
    }
    m_chosen.clear();
    for (const QString &path : selected)
        m_chosen.append(QUrl::fromLocalFile(path));
    QDialog::accept();
}
