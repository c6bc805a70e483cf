// SPDX-License-Identifier: MIT
#include "save/file_save_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace kestrune {

FileSaveDialog::FileSaveDialog(QWidget *window, SaveQuestions &questions)
    : QObject(window), window_(window), questions_(questions)
{
}

std::optional<QString> FileSaveDialog::ask_save_path()
{
    // Made afresh for each show, so that nothing but last_path_ carries over.
    QPointer<QFileDialog> dialog = new QFileDialog(window_);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(u"文本文档(*.txt)"_s);
    if (last_path_.isEmpty())
        dialog->setDirectory(QDir::currentPath()); // not the folder Qt itself last visited
    else
        dialog->selectFile(last_path_);

    std::optional<QString> chosen;
    while (dialog && dialog->exec() == QDialog::Accepted && dialog) {
        const QString path = dialog->selectedFiles().value(0);
        if (folder_exists_or_say_so(*dialog, path)) {
            chosen = path;
            last_path_ = path;
            break;
        }
    }
    delete dialog;
    return chosen;
}

// Qt's widget dialog accepts a name in a folder that does not exist; such a name is
// refused here and the dialog shown again, as it stood.
bool FileSaveDialog::folder_exists_or_say_so(const QFileDialog &dialog, const QString &path)
{
    const QFileInfo file(path);
    if (file.absoluteDir().exists())
        return true;
    questions_.report_missing_folder(file.absolutePath(), dialog.windowTitle());
    return false;
}

} // namespace kestrune
