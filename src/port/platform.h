// SPDX-License-Identifier: MIT
#pragma once
// The operating system's side of a serial line: opening it exclusively with the
// line settings, waiting for input, writing. One file per platform implements it
// (platform_unix.cpp here), together with port_device of port_naming.h.

#include "port/line_input.h"
#include "port/line_settings.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace kestrune::platform {

enum class OpenFailure { none, no_device, in_use, permission, refused };

// The lock file an open of `device` creates for other terminals to see; empty
// when no lock directory is writable.
QString lock_file_for(const QString &device);
// For tests: look for and write lock files in `directories` instead of the
// system's lock directories; an empty list goes back to those.
void use_lock_directories(const QStringList &directories);

// Another process that keeps a device from being opened, as far as it can be
// seen: the live process its UUCP lock names, else the one whose flock it is,
// else one that has the device open and whose /proc entry can be read. pid 0
// when none is known.
struct DeviceHolder
{
    qint64 pid = 0;
    QString program; // its name in /proc (comm), marks replaced; empty if unreadable
};
DeviceHolder device_holder(const QString &device);

// An open serial device, held exclusively until destroyed.
class Line
{
public:
    // nullptr with `failure` set when the device cannot be opened as asked;
    // an open line has had its driver buffers emptied.
    static std::unique_ptr<Line> open(const QString &device, const LineSettings &settings,
                                      OpenFailure &failure);
    ~Line();
    Line(const Line &) = delete;
    Line &operator=(const Line &) = delete;

    enum class Read { input, woken, gone };
    // Receive thread: waits until input arrives, wake() is called or the device
    // goes away; input is added to `out`.
    Read wait_and_read(LineInput &out);
    // Receive thread: waits, reading nothing, until wake() is called (woken) or
    // the device hangs up or goes away (gone). Input meanwhile stays in the driver.
    Read wait_without_reading();
    // Any thread: makes the current or next wait return `woken`, once for all the
    // calls made before that wait returns.
    void wake();

    enum class Write { written, full, failed };
    // One write of one byte that never waits: `full` when the output has no room
    // now, `failed` when the device refuses it (gone, hung up).
    Write write_byte(quint8 byte);
    // What the event loop watches for room in the output.
    int output_descriptor() const;
    // Drops what the driver of a real device still holds for output, so that
    // closing need not wait for it to drain.
    void drop_output();

private:
    struct Handles;
    explicit Line(std::unique_ptr<Handles> handles);
    std::unique_ptr<Handles> handles_;
};

} // namespace kestrune::platform
