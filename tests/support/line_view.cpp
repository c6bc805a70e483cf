// SPDX-License-Identifier: MIT
// termios2 cannot share a translation unit with <termios.h>, so this file
// reads and spoils line settings for the tests on its own.

#include "pty_pair.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace kestrune::test {

LineView view_line(int fd)
{
    termios2 t{};
    LineView view;
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return view;
    view.iflag = t.c_iflag;
    view.oflag = t.c_oflag;
    view.cflag = t.c_cflag;
    view.lflag = t.c_lflag;
    view.ispeed = t.c_ispeed;
    view.ospeed = t.c_ospeed;
    view.valid = true;
    return view;
}

QString describe(const LineView &line)
{
    if (!line.valid)
        return QStringLiteral("(not a terminal)");
    return QStringLiteral("iflag %1 oflag %2 cflag %3 lflag %4 ispeed %5 ospeed %6")
        .arg(line.iflag, 0, 8)
        .arg(line.oflag, 0, 8)
        .arg(line.cflag, 0, 8)
        .arg(line.lflag, 0, 8)
        .arg(line.ispeed)
        .arg(line.ospeed);
}

bool spoil_line(int fd)
{
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_iflag |= INPCK | IXON | IXOFF | IXANY | ICRNL | ISTRIP | IGNBRK | IGNPAR;
    t.c_iflag &= ~tcflag_t(PARMRK);
    t.c_oflag |= OPOST | ONLCR;
    t.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    t.c_cflag &= ~tcflag_t(CBAUD | CIBAUD | CSIZE);
    t.c_cflag |= CS7 | PARENB | PARODD | CSTOPB | CRTSCTS | BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = t.c_ospeed = 50;
    return ::ioctl(fd, TCSETS2, &t) == 0;
}

} // namespace kestrune::test
