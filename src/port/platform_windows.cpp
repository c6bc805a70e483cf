// SPDX-License-Identifier: MIT
// Windows serial lines: COMn is the device \\.\COMn. Opening is not written
// yet; every open fails as a missing device until it is.

#include "port/platform.h"
#include "port/port_naming.h"

namespace kestrune::platform {

QString lock_file_for(const QString &)
{
    return {}; // Windows opens a device exclusively by itself
}

void use_lock_directories(const QStringList &) {}

DeviceHolder device_holder(const QString &)
{
    return {};
}

struct Line::Handles
{
};

Line::Line(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}

Line::~Line() = default;

std::unique_ptr<Line> Line::open(const QString &, const LineSettings &, OpenFailure &failure)
{
    failure = OpenFailure::no_device;
    return nullptr;
}

Line::Read Line::wait_and_read(LineInput &)
{
    return Read::gone;
}

Line::Read Line::wait_without_reading()
{
    return Read::gone;
}

void Line::wake() {}

Line::Write Line::write_byte(quint8)
{
    return Write::failed;
}

int Line::output_descriptor() const
{
    return -1;
}

void Line::drop_output() {}

} // namespace kestrune::platform

namespace kestrune {

QString port_device(int n, const QList<SystemPort> &)
{
    return QStringLiteral("\\\\.\\COM") + QString::number(n);
}

QString port_device(int n)
{
    return port_device(n, {});
}

} // namespace kestrune
