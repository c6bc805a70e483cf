// SPDX-License-Identifier: MIT
#pragma once

#include "save/dialog_and_questions.h"

#include <QObject>
#include <QString>

class QFileDialog;
class QWidget;

namespace kestrune {

// 通用对话框1: the window's one save dialog, shared by both save commands. Its only
// memory is the last confirmed full path, offered again next time and kept across
// a cancel. Qt chooses the dialog: the platform's own where its theme offers one,
// Qt's widget dialog otherwise.
class FileSaveDialog : public QObject, public SaveDialog
{
    Q_OBJECT
public:
    // The window is the parent, and the dialog is modal over it. A name in a folder
    // that does not exist is reported through `questions`.
    FileSaveDialog(QWidget *window, SaveQuestions &questions);

    // Runs a nested event loop on the window thread: received bytes and timer
    // ticks go on being handled while the dialog is shown.
    std::optional<QString> ask_save_path() override;

private:
    bool folder_exists_or_say_so(const QFileDialog &dialog, const QString &path);

    QWidget *window_;
    SaveQuestions &questions_;
    QString last_path_;
};

} // namespace kestrune
