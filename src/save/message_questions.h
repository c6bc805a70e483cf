// SPDX-License-Identifier: MIT
#pragma once

#include "save/dialog_and_questions.h"

#include <QPointer>
#include <QWidget>

namespace kestrune {

// The save's questions and messages as message boxes, modal over the window.
class MessageBoxQuestions : public SaveQuestions
{
public:
    explicit MessageBoxQuestions(QWidget *window);

    bool confirm_replace(const QString &path) override;
    void report_save_failure(const QString &path, const QString &reason) override;
    void report_missing_folder(const QString &folder, const QString &dialog_title) override;

private:
    QPointer<QWidget> window_;
};

} // namespace kestrune
