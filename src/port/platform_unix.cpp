// Linux/Unix serial lines: naming through the user's port links or Qt's port
// list, exclusive open (TIOCEXCL, flock, UUCP lock file), termios2 settings.

#include "port/platform.h"
#include "port/port_naming.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStandardPaths>
#include <QSysInfo>

#include <asm/termbits.h> // termios2: any baud rate via BOTHER; not combinable with <termios.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace kestrune::platform {

namespace {

// Lock directories in the order QSerialPort picks its own, so that both agree.
constexpr QLatin1StringView lock_directories[] = {
    "/var/lock"_L1, "/etc/locks"_L1, "/var/spool/locks"_L1, "/var/spool/uucp"_L1,
    "/tmp"_L1, "/var/tmp"_L1, "/var/lock/lockdev"_L1, "/run/lock"_L1,
};

// "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_3" for /dev/pts/3: the UUCP name
// that lockdev, minicom and QSerialPort use.
QString lock_file_name(const QString &device)
{
    QString path = QFileInfo(device).canonicalFilePath();
    if (path.isEmpty())
        path = device;
    if (path.startsWith("/dev/"_L1))
        path.remove(0, 5);
    path.replace(u'/', u'_');
    return "LCK.."_L1 + path;
}

// The pid in a lock file: decimal, possibly space-padded (HDB), first in the file.
pid_t lock_holder(const QString &lock_path)
{
    QFile file(lock_path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray first_line = file.readLine(64).trimmed();
    bool ok = false;
    const long pid = first_line.toLong(&ok);
    return ok && pid > 0 ? pid_t(pid) : 0;
}

bool process_alive(pid_t pid)
{
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

// HDB layout (pid padded to ten) followed by the program and host names, which
// QSerialPort reads to decide that the lock is not stale.
QByteArray lock_contents()
{
    const QString program = QFileInfo(u"/proc/self/exe"_s).symLinkTarget();
    return QByteArray::number(qint64(::getpid())).rightJustified(10, ' ') + '\n'
           + QFile::encodeName(QFileInfo(program).fileName()) + '\n'
           + QSysInfo::machineHostName().toUtf8() + '\n';
}

// Takes the UUCP lock of a device. false when a live process holds it; true
// with an empty `taken` when there is nowhere to write a lock.
bool take_lock_file(const QString &device, QString &taken)
{
    const QString name = lock_file_name(device);
    for (int attempt = 0; attempt < 2; ++attempt) {
        for (QLatin1StringView dir : lock_directories) {
            const QString path = dir + u'/' + name;
            if (!QFileInfo::exists(path))
                continue;
            const pid_t holder = lock_holder(path);
            if (process_alive(holder))
                return false;
            if (holder == 0 && QFileInfo(path).lastModified().secsTo(QDateTime::currentDateTime()) < 10)
                return false; // being written by another program right now
            QFile::remove(path); // stale: its owner is gone
        }
        const QString path = lock_file_for(device);
        if (path.isEmpty())
            return true;
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST)
                continue; // another program was quicker: look at its lock
            return true;
        }
        const QByteArray contents = lock_contents();
        const bool written = ::write(fd, contents.constData(), size_t(contents.size())) == contents.size();
        ::close(fd);
        if (written)
            taken = path;
        else
            QFile::remove(path);
        return true;
    }
    return true; // a lock that keeps reappearing and cannot be removed: rely on flock
}

void release_lock_file(const QString &path)
{
    if (!path.isEmpty() && lock_holder(path) == ::getpid())
        QFile::remove(path);
}

OpenFailure failure_of_errno(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return OpenFailure::permission;
    case EBUSY:
    case EWOULDBLOCK:
        return OpenFailure::in_use;
    default:
        return OpenFailure::no_device;
    }
}

tcflag_t size_flag(int data_bits)
{
    switch (data_bits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    case 8: return CS8;
    default: return tcflag_t(-1);
    }
}

// A pseudo-terminal has no framing: its driver forces CS8 and clears PARENB.
bool is_pseudo_terminal(int fd)
{
    struct stat st{};
    if (::fstat(fd, &st) != 0)
        return false;
    const unsigned kind = ::major(st.st_rdev);
    return kind == 3 || (kind >= 136 && kind <= 143); // BSD and Unix98 pty slaves
}

// Raw 8-bit transfer with the chosen speed, parity, stop bits and flow control;
// input errors and breaks are marked (PARMRK) so that the byte concerned is kept
// and the error can be reported. false when the driver does not take them.
bool apply_settings(int fd, const LineSettings &s)
{
    const tcflag_t size = size_flag(s.data_bits);
    if (size == tcflag_t(-1) || s.baud_rate <= 0)
        return false;
    const bool software_flow = s.flow_control == FlowControl::xon_xoff || s.flow_control == FlowControl::both;
    const bool hardware_flow = s.flow_control == FlowControl::rts_cts || s.flow_control == FlowControl::both;

    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | IGNPAR | INPCK | ISTRIP | INLCR | IGNCR | ICRNL
                           | IUCLC | IXON | IXANY | IXOFF | IMAXBEL | IUTF8);
    t.c_iflag |= PARMRK;
    if (s.parity_check)
        t.c_iflag |= INPCK;
    if (software_flow)
        t.c_iflag |= IXON | IXOFF;
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOPRT
                           | ECHOKE | IEXTEN | TOSTOP);
    t.c_cflag &= ~tcflag_t(CBAUD | CIBAUD | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    t.c_cflag |= size | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    switch (s.parity) {
    case Parity::none:
        break;
    case Parity::odd:
        t.c_cflag |= PARENB | PARODD;
        break;
    case Parity::even:
        t.c_cflag |= PARENB;
        break;
    }
    if (s.stop_bits == StopBits::two)
        t.c_cflag |= CSTOPB;
    if (hardware_flow)
        t.c_cflag |= CRTSCTS;
    t.c_ispeed = t.c_ospeed = speed_t(s.baud_rate);
    t.c_cc[VMIN] = 1; // an empty non-blocking read then gives EAGAIN, and 0 only at hang-up
    t.c_cc[VTIME] = 0;
    if (::ioctl(fd, TCSETS2, &t) != 0)
        return false;

    // The driver takes what it can and reports success; read back what it kept.
    termios2 kept{};
    if (::ioctl(fd, TCGETS2, &kept) != 0)
        return false;
    const tcflag_t framing = is_pseudo_terminal(fd) ? tcflag_t(CSTOPB | PARODD | CRTSCTS)
                                                    : tcflag_t(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
    const auto off_by = [&](speed_t speed) {
        return std::abs(double(speed) - double(s.baud_rate)) / double(s.baud_rate);
    };
    return (kept.c_cflag & framing) == (t.c_cflag & framing) && off_by(kept.c_ospeed) <= 0.03
           && off_by(kept.c_ispeed) <= 0.03;
}

// RTS raised unless held off; DTR as the driver has it unless asked. Devices
// without modem lines (a pseudo-terminal) refuse these, which is no failure.
void set_modem_lines(int fd, const LineSettings &s)
{
    int rts = TIOCM_RTS;
    ::ioctl(fd, s.rts_mode == RtsMode::held_off ? TIOCMBIC : TIOCMBIS, &rts);
    int dtr = TIOCM_DTR;
    if (s.dtr_mode == DtrMode::off)
        ::ioctl(fd, TIOCMBIC, &dtr);
    else if (s.dtr_mode == DtrMode::on)
        ::ioctl(fd, TIOCMBIS, &dtr);
}

} // namespace

QString lock_file_for(const QString &device)
{
    for (QLatin1StringView dir : lock_directories) {
        const QFileInfo info(dir);
        if (info.isDir() && info.isWritable())
            return dir + u'/' + lock_file_name(device);
    }
    return {};
}

struct Line::Handles
{
    int device = -1;
    int wake = -1; // eventfd that ends a wait
    QString lock_file;
    MarkedInputDecoder decoder;
    bool trickling = false; // the last read was small: rest before the next
    bool exclusive = false;  // we set the tty's exclusive mode, so we clear it

    ~Handles()
    {
        if (wake >= 0)
            ::close(wake);
        if (device >= 0) {
            // TIOCEXCL outlives this descriptor while any other stays open on the tty;
            // a failed open (root gets past another holder's) leaves the holder's alone.
            if (exclusive)
                ::ioctl(device, TIOCNXCL);
            ::close(device); // also drops the flock
        }
        release_lock_file(lock_file);
    }
};

Line::Line(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}

Line::~Line() = default;

std::unique_ptr<Line> Line::open(const QString &device, const LineSettings &settings,
                                 OpenFailure &failure)
{
    failure = OpenFailure::no_device;
    if (device.isEmpty() || !QFileInfo::exists(device))
        return nullptr;
    auto h = std::make_unique<Handles>();

    // Honour the lock of a terminal that holds the device before touching it.
    if (!take_lock_file(device, h->lock_file)) {
        failure = OpenFailure::in_use;
        return nullptr;
    }
    h->device = ::open(QFile::encodeName(device).constData(),
                       O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (h->device < 0) {
        failure = failure_of_errno(errno);
        return nullptr;
    }
    if (!::isatty(h->device))
        return nullptr;
    // TIOCEXCL keeps other opens out, except root's; the flock stops root too.
    if (::flock(h->device, LOCK_EX | LOCK_NB) != 0) {
        failure = errno == EWOULDBLOCK ? OpenFailure::in_use : OpenFailure::refused;
        return nullptr;
    }
    h->exclusive = ::ioctl(h->device, TIOCEXCL) == 0;

    if (!apply_settings(h->device, settings)) {
        failure = OpenFailure::refused;
        return nullptr;
    }
    set_modem_lines(h->device, settings);
    // Whatever arrived before this point is never delivered.
    if (::ioctl(h->device, TCFLSH, TCIOFLUSH) != 0) {
        failure = OpenFailure::refused;
        return nullptr;
    }
    h->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (h->wake < 0) {
        failure = OpenFailure::refused;
        return nullptr;
    }
    failure = OpenFailure::none;
    return std::unique_ptr<Line>(new Line(std::move(h)));
}

Line::Read Line::wait_and_read(LineInput &out)
{
    // A slow line gives a few bytes per wake-up; resting a moment after a small
    // read gathers them into fewer hand-overs to the window thread. The kernel
    // holds far more than a rest's worth of bytes at any baud rate. Input already
    // waiting means a fast writer in short pieces (a pty): no rest then, or the
    // writer would wait on the rests.
    constexpr ssize_t small_read = 1024;
    constexpr int rest_ms = 8;
    if (handles_->trickling) {
        pollfd waiting{handles_->device, POLLIN, 0};
        if (::poll(&waiting, 1, 0) == 0) {
            pollfd wake{handles_->wake, POLLIN, 0};
            if (::poll(&wake, 1, rest_ms) > 0)
                return Read::woken;
        }
    }
    char buffer[65536];
    for (;;) {
        pollfd fds[2] = {{handles_->wake, POLLIN, 0}, {handles_->device, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return Read::gone;
        }
        if (fds[0].revents != 0)
            return Read::woken;
        if ((fds[1].revents & POLLIN) == 0 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
            return Read::gone;
        const ssize_t n = ::read(handles_->device, buffer, sizeof buffer);
        if (n > 0) {
            handles_->trickling = n < small_read;
            handles_->decoder.decode(QByteArrayView(buffer, n), out);
            return Read::input;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        return Read::gone; // 0 at hang-up, EIO when the device is gone
    }
}

void Line::wake()
{
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t n = ::write(handles_->wake, &one, sizeof one);
}

Line::Write Line::write_byte(quint8 byte)
{
    for (;;) {
        const ssize_t n = ::write(handles_->device, &byte, 1);
        if (n == 1)
            return Write::written;
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && errno == EAGAIN ? Write::full : Write::failed;
    }
}

int Line::output_descriptor() const
{
    return handles_->device;
}

void Line::drop_output()
{
    // Only a real device's close waits for its output to drain; a pty's far end
    // would merely lose bytes it has not read yet.
    if (!is_pseudo_terminal(handles_->device))
        ::ioctl(handles_->device, TCFLSH, TCOFLUSH);
}

} // namespace kestrune::platform

namespace kestrune {

QString port_device(int n)
{
    const QFileInfo link(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                         + "/kestrune/ports/COM"_L1 + QString::number(n));
    if (link.isSymLink())
        return link.symLinkTarget();

    QStringList devices;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports)
        devices.append(port.systemLocation());
    devices = order_serial_ports(devices);
    return n >= 1 && n <= devices.size() ? devices.at(n - 1) : QString();
}

} // namespace kestrune
