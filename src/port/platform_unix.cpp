// SPDX-License-Identifier: MIT
// Linux/Unix serial lines: naming through the user's port links or Qt's port
// list, exclusive open (TIOCEXCL, flock, UUCP lock file), termios2 settings.

#include "port/platform.h"
#include "port/port_naming.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>

#include <asm/termbits.h> // termios2: rates without a constant via BOTHER; not combinable with <termios.h>
#include <dirent.h>
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
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>

using namespace Qt::StringLiterals;

namespace kestrune::platform {

namespace {

// Lock directories in the order QSerialPort picks its own, so that both agree.
// Several are world-writable: whatever sits at a lock file's path may have been
// planted by another user.
constexpr QLatin1StringView system_lock_directories[] = {
    "/var/lock"_L1, "/etc/locks"_L1, "/var/spool/locks"_L1, "/var/spool/uucp"_L1,
    "/tmp"_L1, "/var/tmp"_L1, "/var/lock/lockdev"_L1, "/run/lock"_L1,
};

// Set by tests only, through use_lock_directories(); empty means the system's.
QStringList &chosen_lock_directories()
{
    static QStringList directories;
    return directories;
}

QStringList lock_directories()
{
    QStringList directories = chosen_lock_directories();
    if (directories.isEmpty()) {
        for (QLatin1StringView dir : system_lock_directories)
            directories.append(dir);
    }
    return directories;
}

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

// The largest file taken for a lock: HDB files (a ten-digit pid and a newline,
// 11 bytes, or followed by program and user names as minicom writes them), binary
// 4-byte pids, ours (HDB line, program and host names, at most about 330 bytes)
// and QLockFile's (pid, program, host, machine and boot ids, about 420).
constexpr qint64 lock_file_limit = 1024;

// The pid a lock file names: the leading decimal number of its first line
// (space-padded in HDB files), else a 4-byte binary pid; 0 when it names none.
pid_t pid_in_lock(QByteArrayView contents)
{
    qsizetype at = 0;
    while (at < contents.size() && (contents[at] == ' ' || contents[at] == '\t'))
        ++at;
    qint64 pid = 0;
    qsizetype digits = 0;
    for (; at < contents.size() && contents[at] >= '0' && contents[at] <= '9' && digits < 10; ++at, ++digits)
        pid = pid * 10 + (contents[at] - '0');
    const bool ends = at == contents.size() || contents[at] == ' ' || contents[at] == '\n'
                      || contents[at] == '\t' || contents[at] == '\r';
    if (digits > 0 && ends)
        return pid > 0 && pid <= std::numeric_limits<pid_t>::max() ? pid_t(pid) : 0;
    if (contents.size() == qsizetype(sizeof(qint32))) {
        qint32 binary = 0;
        std::memcpy(&binary, contents.data(), sizeof binary);
        return binary > 0 ? pid_t(binary) : 0;
    }
    return 0;
}

// What sits at a lock file's path.
struct LockEntry
{
    enum class Kind {
        absent,
        lock,    // a regular file of a lock file's size
        foreign, // anything else (link, FIFO, directory, device, a large or unreadable file): no lock
    };
    Kind kind = Kind::absent;
    pid_t holder = 0;   // the pid it names, 0 for none
    bool fresh = false; // written in the last ten seconds
};

// Looks without waiting and without following a link: a FIFO opens at once
// with O_NONBLOCK and is never read, a link is not opened at all.
LockEntry look_at_lock(const QString &path)
{
    LockEntry entry;
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        entry.kind = errno == ENOENT || errno == ENOTDIR ? LockEntry::Kind::absent : LockEntry::Kind::foreign;
        return entry;
    }
    struct stat st{};
    entry.kind = LockEntry::Kind::foreign;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= lock_file_limit) {
        char contents[lock_file_limit];
        const ssize_t n = ::read(fd, contents, sizeof contents);
        if (n >= 0) {
            entry.kind = LockEntry::Kind::lock;
            entry.holder = pid_in_lock(QByteArrayView(contents, n));
            entry.fresh = std::abs(double(::time(nullptr) - st.st_mtime)) < 10;
        }
    }
    ::close(fd);
    return entry;
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
// with an empty `taken` when there is nowhere to write a lock. Only lock files
// are removed, and only stale ones; unlink never follows a link.
bool take_lock_file(const QString &device, QString &taken)
{
    const QString name = lock_file_name(device);
    for (int attempt = 0; attempt < 2; ++attempt) {
        for (const QString &dir : lock_directories()) {
            const QString path = dir + u'/' + name;
            const LockEntry entry = look_at_lock(path);
            if (entry.kind != LockEntry::Kind::lock)
                continue; // nothing there, or nothing a live program locks with
            if (process_alive(entry.holder))
                return false;
            if (entry.holder == 0 && entry.fresh)
                return false; // being written by another program right now
            ::unlink(QFile::encodeName(path).constData()); // stale: its owner is gone
        }
        const QString path = lock_file_for(device);
        if (path.isEmpty())
            return true;
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST)
                continue; // another program was quicker, or something else sits there
            return true;
        }
        const QByteArray contents = lock_contents();
        const bool written = ::write(fd, contents.constData(), size_t(contents.size())) == contents.size();
        ::close(fd);
        if (written)
            taken = path;
        else
            ::unlink(QFile::encodeName(path).constData());
        return true;
    }
    return true; // a lock that keeps reappearing and cannot be removed: rely on flock
}

void release_lock_file(const QString &path)
{
    if (path.isEmpty())
        return;
    const LockEntry entry = look_at_lock(path);
    if (entry.kind == LockEntry::Kind::lock && entry.holder == ::getpid())
        ::unlink(QFile::encodeName(path).constData());
}

// The live process, other than this one, that a lock file of `device` names; 0 for none.
pid_t lock_holder(const QString &device)
{
    const QString name = lock_file_name(device);
    for (const QString &dir : lock_directories()) {
        const LockEntry entry = look_at_lock(dir + u'/' + name);
        if (entry.kind == LockEntry::Kind::lock && entry.holder != ::getpid() && process_alive(entry.holder))
            return entry.holder;
    }
    return 0;
}

// The process other than this one whose flock keeps `device` closed, from
// /proc/locks: "1: FLOCK  ADVISORY  WRITE 1798 00:18:4 0 EOF", the device
// as major:minor (hex) of its file system and inode.
pid_t flock_holder(const QString &device)
{
    struct stat st{};
    if (::stat(QFile::encodeName(device).constData(), &st) != 0)
        return 0;
    QFile locks(u"/proc/locks"_s);
    if (!locks.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray node = QByteArray::number(::major(st.st_dev), 16).rightJustified(2, '0') + ':'
                            + QByteArray::number(::minor(st.st_dev), 16).rightJustified(2, '0') + ':'
                            + QByteArray::number(quint64(st.st_ino));
    const QList<QByteArray> lines = locks.readAll().split('\n'); // /proc files report size 0: no atEnd()
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields[1] != "FLOCK" || fields[5] != node)
            continue; // waiters ("->") and other kinds of lock
        bool ok = false;
        const pid_t pid = pid_t(fields[4].toLong(&ok));
        if (ok && pid != ::getpid() && process_alive(pid))
            return pid;
    }
    return 0;
}

// A process other than this one with `device` open, found through the links in
// /proc/PID/fd; only those of processes we may look into are seen. readlink
// reads the link alone and never opens what it names.
pid_t process_with_open(const QString &device)
{
    QString path = QFileInfo(device).canonicalFilePath();
    if (path.isEmpty())
        path = device;
    const QByteArray target = QFile::encodeName(path);
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return 0;
    pid_t found = 0;
    while (found == 0) {
        const dirent *process = ::readdir(proc);
        if (!process)
            break;
        char *end = nullptr;
        const long pid = std::strtol(process->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == ::getpid())
            continue;
        const QByteArray fd_dir = "/proc/" + QByteArray(process->d_name) + "/fd";
        DIR *fds = ::opendir(fd_dir.constData());
        if (!fds)
            continue;
        while (const dirent *fd = ::readdir(fds)) {
            char link[PATH_MAX];
            const ssize_t n = ::readlinkat(::dirfd(fds), fd->d_name, link, sizeof link);
            if (n == target.size() && std::memcmp(link, target.constData(), size_t(n)) == 0) {
                found = pid_t(pid);
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return found;
}

// The name a process gives itself (/proc/PID/comm). Any process may choose it,
// so marks that would make a tooltip read it as rich text, and control
// characters, become '?'.
QString program_name(pid_t pid)
{
    QFile comm(u"/proc/"_s + QString::number(pid) + u"/comm"_s);
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    QString name = QString::fromUtf8(comm.read(64).trimmed());
    for (QChar &c : name) {
        if (!c.isPrint() || c == u'<' || c == u'>' || c == u'&')
            c = u'?';
    }
    return name;
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

// The speed bits of CBAUD for a rate: its standard constant where there is one,
// so that tools reading plain termios (stty) see the rate; BOTHER with the rate
// in c_ospeed otherwise (14400 and 28800 of the window's list).
tcflag_t speed_code(int rate)
{
    struct Standard
    {
        int rate;
        tcflag_t code;
    };
    static constexpr Standard standard[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const Standard &s : standard) {
        if (s.rate == rate)
            return s.code;
    }
    return BOTHER;
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
    const tcflag_t speed_bits = speed_code(s.baud_rate);
    t.c_cflag |= size | CREAD | CLOCAL | speed_bits | (speed_bits << IBSHIFT);
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

void use_lock_directories(const QStringList &directories)
{
    chosen_lock_directories() = directories;
}

QString lock_file_for(const QString &device)
{
    for (const QString &dir : lock_directories()) {
        const QFileInfo info(dir);
        if (info.isDir() && info.isWritable())
            return dir + u'/' + lock_file_name(device);
    }
    return {};
}

DeviceHolder device_holder(const QString &device)
{
    DeviceHolder holder;
    pid_t pid = lock_holder(device);
    if (pid == 0)
        pid = flock_holder(device);
    if (pid == 0)
        pid = process_with_open(device); // the first of several, when several have it open
    if (pid == 0)
        return holder;
    holder.pid = pid;
    holder.program = program_name(pid);
    return holder;
}

struct Line::Handles
{
    int device = -1;
    int wake = -1; // eventfd that ends a wait
    QString lock_file;
    MarkedInputDecoder decoder;
    bool trickling = false; // the last read was small: rest before the next
    bool exclusive = false;  // we set the tty's exclusive mode, so we clear it
    termios2 before{};       // the device's settings before the open, given back at the close
    bool restore = false;

    ~Handles()
    {
        if (wake >= 0)
            ::close(wake);
        if (device >= 0) {
            // At once, as gtkterm does: waiting for the output to drain could take
            // as long as a far end that does not read wants.
            if (restore)
                ::ioctl(device, TCSETS2, &before);
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
    // Only now that the device is ours: a holder's settings are never touched.
    h->restore = ::ioctl(h->device, TCGETS2, &h->before) == 0;

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

namespace {

// Takes the calls of wake() made so far, so that the next wait waits again.
void take_wake(int wake)
{
    quint64 calls = 0;
    [[maybe_unused]] const ssize_t n = ::read(wake, &calls, sizeof calls);
}

} // namespace

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
            if (::poll(&wake, 1, rest_ms) > 0) {
                take_wake(handles_->wake);
                return Read::woken;
            }
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
        if (fds[0].revents != 0) {
            take_wake(handles_->wake);
            return Read::woken;
        }
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

Line::Read Line::wait_without_reading()
{
    // No POLLIN on the device: waiting input would end every wait at once.
    // Hang-up and errors are reported whatever is asked for.
    for (;;) {
        pollfd fds[2] = {{handles_->wake, POLLIN, 0}, {handles_->device, 0, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return Read::gone;
        }
        if (fds[0].revents != 0) {
            take_wake(handles_->wake);
            return Read::woken;
        }
        if (fds[1].revents != 0)
            return Read::gone;
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

QString port_device(int n, const QList<SystemPort> &ports)
{
    const QFileInfo link(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                         + "/kestrune/ports/COM"_L1 + QString::number(n));
    if (link.isSymLink())
        return link.symLinkTarget();
    return n >= 1 && n <= ports.size() ? ports.at(n - 1).device : QString();
}

QString port_device(int n)
{
    return port_device(n, system_serial_ports());
}

} // namespace kestrune
