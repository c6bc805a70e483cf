#include "pty_line.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace kestrune::testing {

PtyLine::PtyLine()
{
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    // Raw, so that CR and LF cross unchanged.
    termios raw{};
    ::tcgetattr(slave_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave_, TCSANOW, &raw);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyLine::~PtyLine()
{
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
}

bool PtyLine::send(quint8 byte)
{
    return ::write(slave_, &byte, 1) == 1;
}

QByteArray PtyLine::arrived(qsizetype at_least, int quiet_ms)
{
    QByteArray bytes;
    const QDeadlineTimer cap(5000);
    for (;;) {
        const bool enough = bytes.size() >= at_least;
        if (!enough && cap.hasExpired())
            break;
        pollfd fd{master_, POLLIN, 0};
        const int wait = enough ? quiet_ms : int(qMin<qint64>(cap.remainingTime(), 100));
        const int ready = ::poll(&fd, 1, wait);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            if (enough)
                break;
            continue;
        }
        char chunk[4096];
        const ssize_t n = ::read(master_, chunk, sizeof chunk);
        if (n > 0)
            bytes.append(chunk, n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
    }
    return bytes;
}

} // namespace kestrune::testing
