// SPDX-License-Identifier: MIT
// Which device COMn stands for: the user's links first, then the system's
// serial ports in a fixed order, less the ttyS entries without a UART.

#include "port/port_naming.h"
#include "port/serial_port.h"
#include "pty_pair.h"

#include <QDir>
#include <QFile>
#include <QSerialPortInfo>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace kestrune;
using namespace kestrune::test;

class PortNamingTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ordering_data();
    void ordering();
    void a_link_names_the_device();
    void a_link_to_a_missing_device_still_names_it();
    void without_a_link_the_system_ports_count();
    void absent_uarts_are_left_out_data();
    void absent_uarts_are_left_out();
    void uart_presence_agrees_with_the_kernel();
};

void PortNamingTest::ordering_data()
{
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<QStringList>("ordered");

    QTest::newRow("USB, then ACM, then the rest")
        << QStringList{u"ttyS0"_s, u"ttyACM0"_s, u"ttyUSB1"_s, u"ttyUSB0"_s}
        << QStringList{u"ttyUSB0"_s, u"ttyUSB1"_s, u"ttyACM0"_s, u"ttyS0"_s};
    QTest::newRow("numbers in natural order")
        << QStringList{u"ttyS10"_s, u"ttyS2"_s, u"ttyUSB10"_s, u"ttyUSB9"_s, u"ttyACM11"_s, u"ttyACM3"_s}
        << QStringList{u"ttyUSB9"_s, u"ttyUSB10"_s, u"ttyACM3"_s, u"ttyACM11"_s, u"ttyS2"_s, u"ttyS10"_s};
    QTest::newRow("the rest grouped by name")
        << QStringList{u"ttyS1"_s, u"rfcomm0"_s, u"ttyAMA0"_s, u"ttyS0"_s}
        << QStringList{u"rfcomm0"_s, u"ttyAMA0"_s, u"ttyS0"_s, u"ttyS1"_s};
    QTest::newRow("paths keep their form")
        << QStringList{u"/dev/ttyS0"_s, u"/dev/ttyUSB0"_s}
        << QStringList{u"/dev/ttyUSB0"_s, u"/dev/ttyS0"_s};
    QTest::newRow("USB-like names are not USB")
        << QStringList{u"ttyUSBX"_s, u"ttyUSB0"_s}
        << QStringList{u"ttyUSB0"_s, u"ttyUSBX"_s};
    QTest::newRow("nothing") << QStringList{} << QStringList{};
}

void PortNamingTest::ordering()
{
    QFETCH(QStringList, found);
    QFETCH(QStringList, ordered);
    QCOMPARE(order_serial_ports(found), ordered);
}

void PortNamingTest::a_link_names_the_device()
{
    PortLinks links;
    PtyPair pty;
    QVERIFY(pty.is_valid());
    QVERIFY(links.bind(3, pty.slave_path()));

    QCOMPARE(port_device(3), pty.slave_path());

    // The port reaches the device through the same name.
    SerialPort port;
    port.set_port_number(3);
    QVERIFY2(port.open(), qPrintable(port.open_failure()));
    port.send("k"_ba);
    QTRY_VERIFY(!port.is_sending()); // written from the event loop
    QCOMPARE(pty.read(1), "k"_ba);
}

void PortNamingTest::a_link_to_a_missing_device_still_names_it()
{
    PortLinks links;
    QVERIFY(links.bind(2, links.missing_device()));
    QCOMPARE(port_device(2), links.missing_device());

    SerialPort port;
    port.set_port_number(2);
    QVERIFY(!port.open());
    QVERIFY2(port.open_failure().contains(links.missing_device()), qPrintable(port.open_failure()));
}

// The type the serial core gives a ttyS port in sysfs, read here on its own; -1 when unknown.
int sysfs_uart_type(const QString &device)
{
    QFile type(u"/sys/class/tty/"_s + device.sliced(device.lastIndexOf(u'/') + 1) + u"/type"_s);
    if (!type.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const int value = type.readAll().trimmed().toInt(&ok);
    return ok ? value : -1;
}

void PortNamingTest::without_a_link_the_system_ports_count()
{
    PortLinks links;
    QStringList found;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        found.append(info.systemLocation());
    const QList<SystemPort> ports = system_serial_ports();
    QStringList devices;
    for (const SystemPort &port : ports)
        devices.append(port.device);

    // Qt's ports in COM order, less only ttyS entries the kernel knows no UART behind.
    QCOMPARE(devices, order_serial_ports(devices));
    for (const QString &device : found) {
        if (!devices.contains(device)) {
            QVERIFY2(device.contains(u"/ttyS"_s), qPrintable(device));
            QVERIFY2(sysfs_uart_type(device) <= 0, qPrintable(device));
        }
    }
    for (int n = 1; n <= devices.size(); ++n)
        QCOMPARE(port_device(n), devices.at(n - 1));
    QCOMPARE(port_device(int(devices.size()) + 1), QString());
}

void PortNamingTest::absent_uarts_are_left_out_data()
{
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QStringList>("absent"); // what the check finds no UART behind
    QTest::addColumn<QStringList>("unknown");
    QTest::addColumn<QStringList>("kept");
    QTest::addColumn<QStringList>("checked");

    QTest::newRow("ttyS without hardware dropped")
        << QStringList{u"/dev/ttyS0"_s, u"/dev/ttyS1"_s, u"/dev/ttyS2"_s} << QStringList{u"/dev/ttyS1"_s, u"/dev/ttyS2"_s}
        << QStringList{} << QStringList{u"/dev/ttyS0"_s} << QStringList{u"/dev/ttyS0"_s, u"/dev/ttyS1"_s, u"/dev/ttyS2"_s};
    QTest::newRow("unknown kept") << QStringList{u"/dev/ttyS0"_s} << QStringList{} << QStringList{u"/dev/ttyS0"_s}
                                  << QStringList{u"/dev/ttyS0"_s} << QStringList{u"/dev/ttyS0"_s};
    QTest::newRow("only ttyS is checked")
        << QStringList{u"/dev/ttyUSB0"_s, u"/dev/ttyACM0"_s, u"/dev/ttyAMA0"_s, u"/dev/ttySAC0"_s, u"/dev/ttyS3"_s}
        << QStringList{u"/dev/ttyUSB0"_s, u"/dev/ttyACM0"_s, u"/dev/ttyAMA0"_s, u"/dev/ttySAC0"_s, u"/dev/ttyS3"_s}
        << QStringList{}
        << QStringList{u"/dev/ttyUSB0"_s, u"/dev/ttyACM0"_s, u"/dev/ttyAMA0"_s, u"/dev/ttySAC0"_s}
        << QStringList{u"/dev/ttyS3"_s};
}

void PortNamingTest::absent_uarts_are_left_out()
{
    QFETCH(QStringList, listed);
    QFETCH(QStringList, absent);
    QFETCH(QStringList, unknown);
    QFETCH(QStringList, kept);
    QFETCH(QStringList, checked);

    QList<SystemPort> ports;
    for (const QString &device : listed)
        ports.append({device, u"d"_s, u"m"_s, u"s"_s});
    QStringList asked;
    const QList<SystemPort> left = without_absent_uarts(ports, [&](const QString &device) {
        asked << device;
        return absent.contains(device)    ? UartPresence::absent
               : unknown.contains(device) ? UartPresence::unknown
                                          : UartPresence::present;
    });
    QStringList devices;
    for (const SystemPort &port : left) {
        devices << port.device;
        QCOMPARE(port.serial_number, u"s"_s);
    }
    QCOMPARE(devices, kept);
    QCOMPARE(asked, checked);
}

// On this machine's own ttyS ports: what the check finds is what the kernel shows.
// A pty is no UART either way.
void PortNamingTest::uart_presence_agrees_with_the_kernel()
{
    PtyPair pty;
    QVERIFY(pty.is_valid());
    QCOMPARE(uart_presence(pty.slave_path()), UartPresence::absent);

    const QStringList ttys = QDir(u"/dev"_s).entryList({u"ttyS*"_s}, QDir::System);
    int seen = 0;
    for (const QString &name : ttys) {
        const int type = sysfs_uart_type(u"/dev/"_s + name);
        if (type < 0)
            continue;
        ++seen;
        QCOMPARE(uart_presence(u"/dev/"_s + name), type == 0 ? UartPresence::absent : UartPresence::present);
    }
    if (seen == 0)
        QSKIP("no ttyS port with a type in sysfs here");
}

QTEST_GUILESS_MAIN(PortNamingTest)
#include "test_port_naming.moc"
