// SPDX-License-Identifier: MIT
#include "history/history.h"

#include <QDir>

#include <algorithm>

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

QString History::mid(qint64 pos, qint64 count) const
{
    QString out;
    pos = std::clamp<qint64>(pos, 0, size());
    count = std::clamp<qint64>(count, 0, size() - pos);
    out.reserve(qsizetype(count));
    visit_segments(pos, pos + count, [&out](const Segment &s) {
        if (s.latin1)
            out.append(QLatin1StringView(s.latin1, s.size));
        else
            out.append(QStringView(s.utf16, s.size));
        return true;
    });
    return out;
}

} // namespace kestrune
