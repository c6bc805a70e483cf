// SPDX-License-Identifier: MIT
// The port list's tooltip: each COMn with its device and what tells two USB
// adapters apart, from the ports listed once per hover.

#include "app/port_devices_tooltip.h"
#include "pty_pair.h"

#include <QApplication>
#include <QComboBox>
#include <QHelpEvent>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace kestrune;
using namespace kestrune::test;

namespace {

const SystemPort usb_first{u"/dev/ttyUSB0"_s, u"CP2102 USB to UART Bridge Controller"_s, u"Silicon Labs"_s, u"0001"_s};
const SystemPort usb_twin{u"/dev/ttyUSB1"_s, u"CP2102 USB to UART Bridge Controller"_s, u"Silicon Labs"_s, u"0002"_s};
const SystemPort acm{u"/dev/ttyACM0"_s, u"STM32 Virtual ComPort"_s, u"STMicroelectronics"_s, QString()};
const SystemPort uart{u"/dev/ttyS0"_s, QString(), QString(), QString()};

void fill(QComboBox &list)
{
    for (int n = 1; n <= 6; ++n)
        list.addItem(u"COM"_s + QString::number(n));
}

} // namespace

class TestPortDevicesTooltip : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lines_data()
    {
        QTest::addColumn<QList<SystemPort>>("ports");
        QTest::addColumn<QStringList>("lines");

        QTest::newRow("two identical adapters told apart by their serial numbers")
            << QList<SystemPort>{usb_first, usb_twin, acm, uart}
            << QStringList{u"COM1: /dev/ttyUSB0  CP2102 USB to UART Bridge Controller, Silicon Labs, 序列号 0001"_s,
                           u"COM2: /dev/ttyUSB1  CP2102 USB to UART Bridge Controller, Silicon Labs, 序列号 0002"_s,
                           u"COM3: /dev/ttyACM0  STM32 Virtual ComPort, STMicroelectronics"_s,
                           u"COM4: /dev/ttyS0"_s, u"COM5: 无设备"_s, u"COM6: 无设备"_s};
        QTest::newRow("a description that only repeats the name")
            << QList<SystemPort>{{u"/dev/ttyS1"_s, u"ttyS1"_s, QString(), QString()}}
            << QStringList{u"COM1: /dev/ttyS1"_s, u"COM2: 无设备"_s, u"COM3: 无设备"_s,
                           u"COM4: 无设备"_s, u"COM5: 无设备"_s, u"COM6: 无设备"_s};
        QTest::newRow("no ports") << QList<SystemPort>{}
                                  << QStringList{u"COM1: 无设备"_s, u"COM2: 无设备"_s, u"COM3: 无设备"_s,
                                                 u"COM4: 无设备"_s, u"COM5: 无设备"_s, u"COM6: 无设备"_s};
    }
    void lines()
    {
        QFETCH(QList<SystemPort>, ports);
        QFETCH(QStringList, lines);
        PortLinks no_links;
        QComboBox list;
        fill(list);
        const PortDevicesTooltip tooltip(&list, [ports] { return ports; });
        QCOMPARE(tooltip.text().split(u'\n'), lines);
    }

    // A link decides the device; the details are those of the port it leads to.
    void a_link_names_the_device_with_its_details()
    {
        PortLinks links;
        QVERIFY(links.bind(2, usb_twin.device));
        QVERIFY(links.bind(3, links.missing_device()));
        QComboBox list;
        fill(list);
        const PortDevicesTooltip tooltip(&list, [] { return QList<SystemPort>{usb_first, usb_twin}; });
        const QStringList lines = tooltip.text().split(u'\n');
        QCOMPARE(lines.value(0), u"COM1: /dev/ttyUSB0  CP2102 USB to UART Bridge Controller, Silicon Labs, 序列号 0001"_s);
        QCOMPARE(lines.value(1), u"COM2: /dev/ttyUSB1  CP2102 USB to UART Bridge Controller, Silicon Labs, 序列号 0002"_s);
        QCOMPARE(lines.value(2), u"COM3: "_s + links.missing_device());
        QCOMPARE(lines.value(3), u"COM4: 无设备"_s);
    }

    void the_ports_are_listed_once_per_hover()
    {
        PortLinks no_links;
        QComboBox list;
        fill(list);
        int listed = 0;
        new PortDevicesTooltip(&list, [&listed] {
            ++listed;
            return QList<SystemPort>{usb_first};
        });
        for (int hover = 1; hover <= 2; ++hover) {
            QHelpEvent ask(QEvent::ToolTip, QPoint(4, 4), QPoint(4, 4));
            QApplication::sendEvent(&list, &ask);
            QCOMPARE(listed, hover);
        }
        QVERIFY(list.toolTip().startsWith(u"COM1: /dev/ttyUSB0  CP2102"_s));
    }
};

QTEST_MAIN(TestPortDevicesTooltip)
#include "test_port_devices_tooltip.moc"
