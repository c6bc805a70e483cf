#include "pty_pair.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace kestrune::test {

PtyPair::PtyPair()
{
    char name[128] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    // Programs the test starts must not hold the line's ends: a copy of the
    // master would keep the line up after close_master().
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    m_slave_path = QFile::decodeName(name);
}

PtyPair::~PtyPair()
{
    close_master();
    if (m_slave >= 0)
        ::close(m_slave);
}

bool PtyPair::write(QByteArrayView bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd fd{m_master, POLLOUT, 0};
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
        pollfd fd{m_master, POLLIN, 0};
        if (::poll(&fd, 1, patience_ms) <= 0)
            break;
        const ssize_t n = ::read(m_master, buffer, size_t(qMin<qsizetype>(count - got.size(), sizeof buffer)));
        if (n <= 0)
            break;
        got.append(buffer, n);
    }
    return got;
}

void PtyPair::drain()
{
    char buffer[4096];
    while (::read(m_master, buffer, sizeof buffer) > 0) {
    }
}

int PtyPair::slave_unread() const
{
    int unread = 0;
    ::ioctl(m_slave, FIONREAD, &unread);
    return unread;
}

void PtyPair::close_master()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

PortLinks::PortLinks()
{
    m_had_value = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    m_saved = qgetenv("XDG_CONFIG_HOME");
    QDir(m_dir.path()).mkpath(u"kestrune/ports"_s);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path()));
}

PortLinks::~PortLinks()
{
    if (m_had_value)
        qputenv("XDG_CONFIG_HOME", m_saved);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

bool PortLinks::bind(int n, const QString &device)
{
    unbind(n);
    return QFile::link(device, m_dir.path() + "/kestrune/ports/COM"_L1 + QString::number(n));
}

void PortLinks::unbind(int n)
{
    QFile::remove(m_dir.path() + "/kestrune/ports/COM"_L1 + QString::number(n));
}

QString PortLinks::missing_device() const
{
    return m_dir.path() + "/no-such-tty"_L1;
}

int thread_count()
{
    return int(QDir(u"/proc/self/task"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

} // namespace kestrune::test
