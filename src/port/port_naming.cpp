#include "port/port_naming.h"

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

} // namespace

QStringList order_serial_ports(QStringList devices)
{
    std::stable_sort(devices.begin(), devices.end(), [](const QString &a, const QString &b) {
        return PortKey(a) < PortKey(b);
    });
    return devices;
}

} // namespace kestrune
