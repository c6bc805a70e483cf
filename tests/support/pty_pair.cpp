// SPDX-License-Identifier: MIT
#include "pty_pair.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace kestrune::test {

PtyPair::PtyPair()
{
    char name[128] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    termios raw{};
    ::tcgetattr(slave_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave_, TCSANOW, &raw);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    // Programs the test starts must not hold the line's ends: a copy of the
    // master would keep the line up after close_master().
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    slave_path_ = QFile::decodeName(name);
}

PtyPair::~PtyPair()
{
    close_master();
    if (slave_ >= 0)
        ::close(slave_);
}

bool PtyPair::write(QByteArrayView bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd fd{master_, POLLOUT, 0};
        if (::poll(&fd, 1, 30000) <= 0)
            return false;
    }
    return true;
}

QByteArray PtyPair::read(qsizetype count, int patience_ms)
{
    QByteArray got;
    char buffer[4096];
    while (got.size() < count) {
        pollfd fd{master_, POLLIN, 0};
        if (::poll(&fd, 1, patience_ms) <= 0)
            break;
        const ssize_t n = ::read(master_, buffer, size_t(qMin<qsizetype>(count - got.size(), sizeof buffer)));
        if (n <= 0)
            break;
        got.append(buffer, n);
    }
    return got;
}

QByteArray PtyPair::arrived(qsizetype at_least, int quiet_ms)
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

void PtyPair::drain()
{
    char buffer[4096];
    while (::read(master_, buffer, sizeof buffer) > 0) {
    }
}

int PtyPair::slave_unread() const
{
    int unread = 0;
    ::ioctl(slave_, FIONREAD, &unread);
    return unread;
}

void PtyPair::close_master()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

PortLinks::PortLinks()
{
    had_value_ = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    saved_ = qgetenv("XDG_CONFIG_HOME");
    QDir(dir_.path()).mkpath(u"kestrune/ports"_s);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path()));
}

PortLinks::~PortLinks()
{
    if (had_value_)
        qputenv("XDG_CONFIG_HOME", saved_);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

bool PortLinks::bind(int n, const QString &device)
{
    unbind(n);
    return QFile::link(device, dir_.path() + "/kestrune/ports/COM"_L1 + QString::number(n));
}

void PortLinks::unbind(int n)
{
    QFile::remove(dir_.path() + "/kestrune/ports/COM"_L1 + QString::number(n));
}

QString PortLinks::missing_device() const
{
    return dir_.path() + "/no-such-tty"_L1;
}

int thread_count()
{
    return int(QDir(u"/proc/self/task"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

} // namespace kestrune::test
