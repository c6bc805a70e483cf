#include "history/history.h"

#include <QDir>

namespace kestrune {

QStringList history_folders()
{
    QStringList folders;
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (QDir::isAbsolutePath(cache))
        folders.append(cache + u"/kestrune");
    const QString home = qEnvironmentVariable("HOME");
    if (QDir::isAbsolutePath(home))
        folders.append(home + u"/.cache/kestrune");
    folders.append(QDir::tempPath());
    return folders;
}

} // namespace kestrune
