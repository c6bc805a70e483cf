// SPDX-License-Identifier: MIT
// Writes the icon as PNG files for the hicolor theme at build time:
// kestrune_icon_png <folder> <size>... makes <folder>/<size>.png for each size.

#include "app/window_icon.h"

#include <QDir>
#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fputs("usage: kestrune_icon_png <folder> <size>...\n", stderr);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString file = folder.filePath(QString::number(size) + u".png");
        if (size <= 0 || !kestrune::window_icon_image(size).save(file)) {
            std::fprintf(stderr, "kestrune_icon_png: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
