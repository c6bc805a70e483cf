// SPDX-License-Identifier: MIT
#include "save/save_command.h"

#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

// Passes the box's writes on to the file and keeps the system's error code of
// the first one that fails, which the file itself does not keep.
class WriteWatch : public QIODevice
{
public:
    explicit WriteWatch(QIODevice &file)
        : file_(file)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    int error_code() const { return error_code_; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        errno = 0;
        const qint64 written = file_.write(data, size);
        if (written < 0 && error_code_ == 0)
            error_code_ = errno;
        return written;
    }

private:
    QIODevice &file_;
    int error_code_ = 0;
};

} // namespace

QString save_failure_reason(int error_code, const QString &file_text)
{
    switch (error_code) {
    case 0:
        return file_text;
    case EACCES:
    case EPERM:
        return u"没有写入权限。"_s;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return u"磁盘空间不足。"_s;
    case EROFS:
        return u"文件系统是只读的。"_s;
    case ENAMETOOLONG:
        return u"文件名太长。"_s;
    case ENOENT:
    case ENOTDIR:
        return u"文件夹不存在。"_s;
    case EISDIR:
        return u"已有同名的文件夹。"_s;
    default:
        return QString::fromLocal8Bit(std::strerror(error_code));
    }
}

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
    // A folder of that name is not asked about: it is reported.
    const QFileInfo target(path);
    if (path != *chosen && target.exists() && !target.isDir() && !questions_.confirm_replace(path))
        return;

    if (target.isDir()) {
        questions_.report_save_failure(path, save_failure_reason(EISDIR, {}));
        return;
    }

    // Written aside and renamed over the old file on commit: a failure leaves it
    // untouched. The error code is taken right after the step that failed.
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        questions_.report_save_failure(path, save_failure_reason(errno, file.errorString()));
        return;
    }
    WriteWatch watch(file);
    content(watch);
    int error_code = watch.error_code();
    errno = 0;
    if (error_code == 0 && !file.flush())
        error_code = errno;
    if (error_code != 0 || file.error() != QFileDevice::NoError)
        file.cancelWriting(); // nothing written short replaces the old file
    errno = 0;
    if (!file.commit())
        questions_.report_save_failure(path, save_failure_reason(error_code != 0 ? error_code : errno,
                                                                 file.errorString()));
}

} // namespace kestrune
