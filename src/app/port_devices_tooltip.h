// SPDX-License-Identifier: MIT
#pragma once

#include "port/port_naming.h"

#include <QObject>

#include <functional>

class QComboBox;

namespace kestrune {

// The system's serial ports in COM order, however they are found.
using PortLister = std::function<QList<SystemPort>()>;

// The tooltip of the port list names the device each COMn stands for right now
// and, for a USB adapter, its description, manufacturer and serial number. The
// ports are listed once each time the tooltip is asked for. Owned by the list
// it watches.
class PortDevicesTooltip : public QObject
{
public:
    explicit PortDevicesTooltip(QComboBox *list, PortLister list_ports = system_serial_ports);

    bool eventFilter(QObject *watched, QEvent *event) override;

    // One line per item of the list: "COM1: /dev/ttyUSB0  description, manufacturer, 序列号 serial".
    QString text() const;

private:
    QComboBox *list_;
    PortLister list_ports_;
};

} // namespace kestrune
