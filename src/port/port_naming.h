#pragma once
// Which device the port name COMn stands for.

#include <QString>
#include <QStringList>

namespace kestrune {

// Serial devices in COM order: USB adapters (ttyUSB*) first, then ACM (ttyACM*),
// then the rest, each group by name and number in natural order (ttyS2 before
// ttyS10). Items may be bare names or paths; they come back as given.
QStringList order_serial_ports(QStringList devices);

// The device COMn stands for now, read afresh: on Unix the target of the link
// $XDG_CONFIG_HOME/kestrune/ports/COMn when it exists (a link to a missing
// device still names it), otherwise the n-th port of the system in the order
// above; on Windows \\.\COMn. Empty when COMn stands for no device.
// Each platform file defines it.
QString port_device(int n);

} // namespace kestrune
