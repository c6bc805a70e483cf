#include "save/message_questions.h"

#include <QDir>
#include <QMessageBox>

using namespace Qt::StringLiterals;

namespace kestrune {

MessageBoxQuestions::MessageBoxQuestions(QWidget *window)
    : window_(window)
{
}

bool MessageBoxQuestions::confirm_replace(const QString &path)
{
    const QString text = QDir::toNativeSeparators(path) % u" 已存在。\n要替换它吗？"_s;
    return QMessageBox::question(window_, u"确认另存为"_s, text,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
           == QMessageBox::Yes;
}

void MessageBoxQuestions::report_save_failure(const QString &path, const QString &reason)
{
    const QString text = u"无法保存 "_s % QDir::toNativeSeparators(path) % u"：\n"_s % reason;
    QMessageBox::warning(window_, u"保存失败"_s, text);
}

void MessageBoxQuestions::report_missing_folder(const QString &folder, const QString &dialog_title)
{
    QMessageBox::warning(window_, dialog_title,
                         QDir::toNativeSeparators(folder) % u"\n路径不存在。\n请检查路径是否正确。"_s);
}

} // namespace kestrune
