// SPDX-License-Identifier: MIT
#include "save/message_questions.h"

#include <QDir>
#include <QMessageBox>

using namespace Qt::StringLiterals;

namespace kestrune {

namespace {

// A path as the messages show it: native separators, and a zero-width space every
// 32 characters of a long run without a separator or space, so that a message box
// wraps even a very long name instead of growing past the screen.
QString breakable_path(const QString &path)
{
    constexpr qsizetype longest_run = 32;
    const QString native = QDir::toNativeSeparators(path);
    QString shown;
    shown.reserve(native.size() + native.size() / longest_run);
    qsizetype run = 0;
    for (const QChar c : native) {
        if (c == QDir::separator() || c.isSpace()) {
            run = 0;
        } else if (++run > longest_run) {
            shown += QChar(0x200B);
            run = 1;
        }
        shown += c;
    }
    return shown;
}

} // namespace

MessageBoxQuestions::MessageBoxQuestions(QWidget *window)
    : window_(window)
{
}

bool MessageBoxQuestions::confirm_replace(const QString &path)
{
    const QString text = breakable_path(path) % u" 已存在。\n要替换它吗？"_s;
    return QMessageBox::question(window_, u"确认另存为"_s, text,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
           == QMessageBox::Yes;
}

void MessageBoxQuestions::report_save_failure(const QString &path, const QString &reason)
{
    const QString text = u"无法保存 "_s % breakable_path(path) % u"：\n"_s % reason;
    QMessageBox::warning(window_, u"保存失败"_s, text);
}

void MessageBoxQuestions::report_missing_folder(const QString &folder, const QString &dialog_title)
{
    QMessageBox::warning(window_, dialog_title,
                         breakable_path(folder) % u"\n路径不存在。\n请检查路径是否正确。"_s);
}

} // namespace kestrune
