// SPDX-License-Identifier: MIT
#pragma once
// Which device the port name COMn stands for.

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace kestrune {

// A serial port of the system: its device and, for a USB adapter, what tells two
// of them apart. Fields the system does not know are empty.
struct SystemPort
{
    QString device; // "/dev/ttyUSB0"
    QString description;
    QString manufacturer;
    QString serial_number;
};

// Serial devices in COM order: USB adapters (ttyUSB*) first, then ACM (ttyACM*),
// then the rest, each group by name and number in natural order (ttyS2 before
// ttyS10). Items may be bare names or paths; they come back as given.
QStringList order_serial_ports(QStringList devices);
QList<SystemPort> order_serial_ports(QList<SystemPort> ports);

// What the check of a ttyS entry found behind it.
enum class UartPresence { present, absent, unknown };

// Leaves out the ttyS entries that `check` finds no UART behind; others are not
// checked. Qt's list names every ttyS the kernel made where Qt's own check does
// not run (the parent driver reads "port", not "serial8250").
QList<SystemPort> without_absent_uarts(QList<SystemPort> ports,
                                       const std::function<UartPresence(const QString &device)> &check);

// Whether the serial core knows a UART type for the device, as TIOCGSERIAL
// reports it: read from sysfs (/sys/class/tty/NAME/type), which needs no open of
// the port, else by TIOCGSERIAL on the device, where an open the kernel refuses
// as it does for a port without hardware means absent. Unknown when neither
// tells (no permission, held exclusively).
UartPresence uart_presence(const QString &device);

// The system's serial ports in COM order, listed once: Qt's list less the ttyS
// entries without a UART.
QList<SystemPort> system_serial_ports();

// The device COMn stands for now: on Unix the target of the link
// $XDG_CONFIG_HOME/kestrune/ports/COMn when it exists (a link to a missing
// device still names it), otherwise the n-th of `ports`, the system's ports in
// COM order; on Windows \\.\COMn. Empty when COMn stands for no device.
// Each platform file defines both.
QString port_device(int n, const QList<SystemPort> &ports);
// The same, with the system's ports listed afresh.
QString port_device(int n);

} // namespace kestrune
