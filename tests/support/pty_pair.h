// SPDX-License-Identifier: MIT
#pragma once
// The serial line in tests and benchmarks: a real pseudo-terminal pair, the
// port links that bind COMn to it, and a look at the line settings of a descriptor.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QTemporaryDir>

namespace kestrune::test {

// A pty pair. The slave is what SerialPort opens (through its path); the
// master plays the other end of the line. The slave descriptor stays open as
// a second view of the same line; it starts raw, so bytes cross unchanged
// until a program sets its own settings.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool is_valid() const { return master_ >= 0; }
    int master() const { return master_; }
    int slave() const { return slave_; }
    QString slave_path() const { return slave_path_; }

    // Writes everything to the line, waiting for room as needed.
    bool write(QByteArrayView bytes);
    // Reads what the other end sent: up to `count` bytes, giving up after
    // `patience_ms` without any byte.
    QByteArray read(qsizetype count, int patience_ms = 5000);
    // What the other end sent since the last read: waits up to five seconds for
    // `at_least` bytes, then until none has come for `quiet_ms`.
    QByteArray arrived(qsizetype at_least = 0, int quiet_ms = 100);
    // Reads and discards whatever is there now.
    void drain();
    // Unread bytes waiting on the slave's side.
    int slave_unread() const;
    // The other end goes away, as an unplugged adapter does.
    void close_master();

private:
    int master_ = -1;
    int slave_ = -1;
    QString slave_path_;
};

// A temporary $XDG_CONFIG_HOME in which COMn can be linked to a device.
class PortLinks
{
public:
    PortLinks();
    ~PortLinks();
    bool bind(int n, const QString &device);
    void unbind(int n);
    QString missing_device() const; // a path where no device is

private:
    QTemporaryDir dir_;
    QByteArray saved_;
    bool had_value_ = false;
};

// The line settings of a terminal descriptor, with the speeds from termios2.
struct LineView
{
    unsigned iflag = 0, oflag = 0, cflag = 0, lflag = 0;
    unsigned ispeed = 0, ospeed = 0;
    bool valid = false;
};
LineView view_line(int fd);
// The flags and speeds in one line of text, to compare two views.
QString describe(const LineView &line);
// Settings no serial terminal wants: 50 baud, 7 bits, odd parity, two stop
// bits, hardware and XON/XOFF flow control, cooked mode.
bool spoil_line(int fd);

// Threads of this process, to see a receive thread come and go.
int thread_count();

} // namespace kestrune::test
