#include "save/save_command.h"

#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kestrune {

namespace {

bool is_trailing_blank(QChar c)
{
    return c == u' ' || c == QChar(0x3000);
}

qsizetype file_name_start(QStringView path)
{
    qsizetype slash = path.lastIndexOf(u'/');
#ifdef Q_OS_WIN
    slash = std::max(slash, path.lastIndexOf(u'\\'));
#endif
    return slash + 1;
}

} // namespace

QString save_file_name(const QString &chosen)
{
    QStringView name(chosen);
    while (!name.isEmpty() && is_trailing_blank(name.back()))
        name.chop(1);
    // Only ASCII letters fold under CaseInsensitive for ".txt": no other character folds to t or x.
    if (name.sliced(file_name_start(name)).contains(u".txt", Qt::CaseInsensitive))
        return name.toString();
    return name + u".txt"_s;
}

SaveCommand::SaveCommand(SaveDialog &dialog, SaveQuestions &questions)
    : dialog_(dialog), questions_(questions)
{
}

void SaveCommand::save_box_to_file(const BoxContent &content)
{
    const std::optional<QString> chosen = dialog_.ask_save_path();
    if (!chosen)
        return;
    const QString path = save_file_name(*chosen);
    // The dialog asked before replacing the name it returned, not the one written here.
    // A folder of that name is not asked about: the open below fails and says so.
    const QFileInfo target(path);
    if (path != *chosen && target.exists() && !target.isDir() && !questions_.confirm_replace(path))
        return;

    // Written aside and renamed over the old file on commit: a failure leaves it untouched.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        questions_.report_save_failure(path, file.errorString());
        return;
    }
    content(file);
    if (!file.commit())
        questions_.report_save_failure(path, file.errorString());
}

} // namespace kestrune
