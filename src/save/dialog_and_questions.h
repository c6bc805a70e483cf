// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

namespace kestrune {

// The save dialog 通用对话框1, behind an interface a test can answer.
class SaveDialog
{
public:
    virtual ~SaveDialog() = default;
    // Shows the dialog modally over the window; the confirmed full path, or nullopt
    // on cancel. The last confirmed path is offered next time, also after a cancel.
    virtual std::optional<QString> ask_save_path() = 0;
};

// The questions and messages of a save, behind an interface a test can answer.
class SaveQuestions
{
public:
    virtual ~SaveQuestions() = default;
    // The usual question before replacing an existing file; true to replace.
    virtual bool confirm_replace(const QString &path) = 0;
    // One short message naming the file that could not be written and why.
    virtual void report_save_failure(const QString &path, const QString &reason) = 0;
    // The folder of a name confirmed in the save dialog does not exist; the message
    // carries the dialog's title, and the dialog is shown again after it.
    virtual void report_missing_folder(const QString &folder, const QString &dialog_title) = 0;
};

} // namespace kestrune
