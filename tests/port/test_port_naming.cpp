// Which device COMn stands for: the user's links first, then the system's
// serial ports in a fixed order.

#include "port/port_naming.h"
#include "port/serial_port.h"
#include "pty_pair.h"

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

void PortNamingTest::without_a_link_the_system_ports_count()
{
    PortLinks links;
    QStringList devices;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        devices.append(info.systemLocation());
    devices = order_serial_ports(devices);

    for (int n = 1; n <= devices.size(); ++n)
        QCOMPARE(port_device(n), devices.at(n - 1));
    QCOMPARE(port_device(int(devices.size()) + 1), QString());
}

QTEST_GUILESS_MAIN(PortNamingTest)
#include "test_port_naming.moc"
