#pragma once
// Test fixtures for the serial line: a real pseudo-terminal pair, the port
// links that bind COMn to it, and a look at the line settings of a descriptor.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QTemporaryDir>

namespace kestrune::test {

// A pty pair. The slave is what SerialPort opens (through its path); the
// master plays the other end of the line. The slave descriptor stays open as
// a second view of the same line.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool is_valid() const { return m_master >= 0; }
    int master() const { return m_master; }
    int slave() const { return m_slave; }
    QString slave_path() const { return m_slave_path; }

    // Writes everything to the line, waiting for room as needed.
    bool write(QByteArrayView bytes);
    // Reads what the other end sent: up to `count` bytes, giving up after
    // `patience_ms` without any byte.
    QByteArray read(qsizetype count, int patience_ms = 5000);
    // Reads and discards whatever is there now.
    void drain();
    // Unread bytes waiting on the slave's side.
    int slave_unread() const;
    // The other end goes away, as an unplugged adapter does.
    void close_master();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slave_path;
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
    QTemporaryDir m_dir;
    QByteArray m_saved;
    bool m_had_value = false;
};

// The line settings of a terminal descriptor, with the speeds from termios2.
struct LineView
{
    unsigned iflag = 0, oflag = 0, cflag = 0, lflag = 0;
    unsigned ispeed = 0, ospeed = 0;
    bool valid = false;
};
LineView view_line(int fd);
// Settings no serial terminal wants: 50 baud, 7 bits, odd parity, two stop
// bits, hardware and XON/XOFF flow control, cooked mode.
bool spoil_line(int fd);

// Threads of this process, to see a receive thread come and go.
int thread_count();

} // namespace kestrune::test
