#include "app/port_devices_tooltip.h"

#include "port/port_naming.h"

#include <QComboBox>
#include <QEvent>

using namespace Qt::StringLiterals;

namespace kestrune {

PortDevicesTooltip::PortDevicesTooltip(QComboBox *list)
    : QObject(list)
    , list_(list)
{
    list->installEventFilter(this);
}

bool PortDevicesTooltip::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == list_ && event->type() == QEvent::ToolTip) {
        QStringList lines;
        for (int position = 0; position < list_->count(); ++position) {
            const QString device = port_device(position + 1);
            lines << list_->itemText(position) % u": "_s % (device.isEmpty() ? u"无设备"_s : device);
        }
        list_->setToolTip(lines.join(u'\n'));
    }
    return false;
}

} // namespace kestrune
