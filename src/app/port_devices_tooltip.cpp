// SPDX-License-Identifier: MIT
#include "app/port_devices_tooltip.h"

#include <QComboBox>
#include <QEvent>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace kestrune {

namespace {

bool same_device(const QString &a, const QString &b)
{
    if (a == b)
        return true;
    // A link may name the device through another path (/dev/serial/by-id/...).
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

// What tells the port apart beyond its path; empty for a port the system says nothing about.
QString details(const SystemPort &port)
{
    QStringList parts;
    if (!port.description.isEmpty() && port.description != QFileInfo(port.device).fileName())
        parts << port.description;
    if (!port.manufacturer.isEmpty())
        parts << port.manufacturer;
    if (!port.serial_number.isEmpty())
        parts << u"序列号 "_s + port.serial_number;
    return parts.join(u", "_s);
}

} // namespace

PortDevicesTooltip::PortDevicesTooltip(QComboBox *list, PortLister list_ports)
    : QObject(list)
    , list_(list)
    , list_ports_(std::move(list_ports))
{
    list->installEventFilter(this);
}

bool PortDevicesTooltip::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == list_ && event->type() == QEvent::ToolTip)
        list_->setToolTip(text());
    return false;
}

QString PortDevicesTooltip::text() const
{
    const QList<SystemPort> ports = list_ports_();
    QStringList lines;
    for (int position = 0; position < list_->count(); ++position) {
        const QString device = port_device(position + 1, ports);
        QString line = list_->itemText(position) % u": "_s % (device.isEmpty() ? u"无设备"_s : device);
        for (const SystemPort &port : ports) {
            if (same_device(port.device, device)) {
                if (const QString more = details(port); !more.isEmpty())
                    line += u"  "_s + more;
                break;
            }
        }
        lines << line;
    }
    return lines.join(u'\n');
}

} // namespace kestrune
