// SPDX-License-Identifier: MIT
#include "port/port_naming.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <algorithm>
#include <tuple>

using namespace Qt::StringLiterals;

namespace kestrune {

namespace {

struct PortKey
{
    int group;       // 0 ttyUSB, 1 ttyACM, 2 the rest
    QString stem;    // the name without its trailing number
    qint64 number;   // trailing number, -1 when there is none
    QString name;

    explicit PortKey(const QString &device)
        : name(device.sliced(device.lastIndexOf(u'/') + 1))
    {
        qsizetype digits = name.size();
        while (digits > 0 && name.at(digits - 1).isDigit())
            --digits;
        stem = name.first(digits);
        bool ok = false;
        number = name.sliced(digits).toLongLong(&ok);
        if (!ok)
            number = -1;
        group = stem == "ttyUSB"_L1 ? 0 : stem == "ttyACM"_L1 ? 1 : 2;
    }

    bool operator<(const PortKey &other) const
    {
        return std::tie(group, stem, number, name)
               < std::tie(other.group, other.stem, other.number, other.name);
    }
};

QString device_name(const QString &device)
{
    return device.sliced(device.lastIndexOf(u'/') + 1);
}

bool is_8250_name(const QString &device)
{
    return PortKey(device).stem == "ttyS"_L1;
}

#ifdef Q_OS_LINUX
// The port type the serial core shows in sysfs, the one TIOCGSERIAL reports.
UartPresence sysfs_presence(const QString &device)
{
    QFile type(u"/sys/class/tty/"_s + device_name(QFileInfo(device).canonicalFilePath()) + u"/type"_s);
    if (!type.open(QIODevice::ReadOnly))
        return UartPresence::unknown;
    bool ok = false;
    const int value = type.readAll().trimmed().toInt(&ok);
    if (!ok)
        return UartPresence::unknown;
    return value != PORT_UNKNOWN ? UartPresence::present : UartPresence::absent;
}
#endif

} // namespace

QStringList order_serial_ports(QStringList devices)
{
    std::stable_sort(devices.begin(), devices.end(), [](const QString &a, const QString &b) {
        return PortKey(a) < PortKey(b);
    });
    return devices;
}

QList<SystemPort> order_serial_ports(QList<SystemPort> ports)
{
    std::stable_sort(ports.begin(), ports.end(), [](const SystemPort &a, const SystemPort &b) {
        return PortKey(a.device) < PortKey(b.device);
    });
    return ports;
}

QList<SystemPort> without_absent_uarts(QList<SystemPort> ports,
                                       const std::function<UartPresence(const QString &device)> &check)
{
    ports.removeIf([&check](const SystemPort &port) {
        return is_8250_name(port.device) && check(port.device) == UartPresence::absent;
    });
    return ports;
}

UartPresence uart_presence(const QString &device)
{
#ifdef Q_OS_LINUX
    // sysfs first: opening the port would raise DTR and RTS, which resets some boards.
    if (const UartPresence shown = sysfs_presence(device); shown != UartPresence::unknown)
        return shown;
    // Non-blocking, so that no carrier is waited for; no controlling terminal.
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const bool no_hardware = errno == EIO || errno == ENXIO || errno == ENODEV || errno == ENOENT;
        return no_hardware ? UartPresence::absent : UartPresence::unknown;
    }
    serial_struct info{};
    const int got = ::ioctl(fd, TIOCGSERIAL, &info);
    ::close(fd);
    return got == 0 && info.type != PORT_UNKNOWN ? UartPresence::present : UartPresence::absent;
#else
    Q_UNUSED(device);
    return UartPresence::unknown;
#endif
}

QList<SystemPort> system_serial_ports()
{
    QList<SystemPort> ports;
    const QList<QSerialPortInfo> found = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : found)
        ports.append({info.systemLocation(), info.description(), info.manufacturer(), info.serialNumber()});
    return order_serial_ports(without_absent_uarts(std::move(ports), uart_presence));
}

} // namespace kestrune
