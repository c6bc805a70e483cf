// SPDX-License-Identifier: MIT
// SerialPort on real pseudo-terminals: line settings, receiving, close, send,
// exclusive open and a device that goes away.

#include "port/platform.h"
#include "port/serial_port.h"
#include "far_end.h"
#include "pty_pair.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

using namespace Qt::StringLiterals;
using namespace kestrune;
using namespace kestrune::test;

namespace {

// Everything a port raises, in order: bytes as they come, statuses as <n>.
struct Received
{
    QByteArray bytes;
    int signals_raised = 0;
};

void collect(SerialPort &port, QObject &context, Received &into)
{
    QObject::connect(&port, &SerialPort::bytes_received, &context, [&into](const QByteArray &bytes) {
        into.bytes += bytes;
        ++into.signals_raised;
    });
}

QByteArray payload(qsizetype size)
{
    // Random bytes, with the sequences a marking line discipline treats specially.
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(20240611);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(random.bounded(256));
    const QByteArray special("\xFF\xFF\xFF\x00\x00\xFF\x00" "A\xFF", 9);
    for (qsizetype at = 0; at + special.size() < size; at += size / 7)
        bytes.replace(at, special.size(), special);
    return bytes;
}

// The far end writing into the line on a thread of its own, as fast as the line
// takes the bytes, until all are written or it is stopped.
class Pusher
{
public:
    Pusher(int fd, QByteArray bytes) : fd_(fd), bytes_(std::move(bytes)), thread_([this] { run(); }) {}
    ~Pusher() { stop(); }
    qsizetype written() const { return written_; }
    void stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }

private:
    void run()
    {
        while (!stop_ && written_ < bytes_.size()) {
            const qsizetype size = std::min<qsizetype>(bytes_.size() - written_, 64 * 1024);
            const ssize_t n = ::write(fd_, bytes_.constData() + written_, size_t(size));
            if (n > 0) {
                written_ += n;
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return;
            pollfd room{fd_, POLLOUT, 0};
            ::poll(&room, 1, 50);
        }
    }

    const int fd_;
    const QByteArray bytes_;
    std::atomic<qsizetype> written_ = 0;
    std::atomic<bool> stop_ = false;
    std::thread thread_; // last: it uses the members above
};

double process_cpu_seconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// How a receive thread held at the high mark is let go of.
enum class HeldEnd { window_takes_the_backlog, close, hang_up };

// A live process other than this one, for a lock file to name.
class Sleeper
{
public:
    Sleeper()
    {
        process_.start(u"sleep"_s, {u"300"_s});
        process_.waitForStarted();
    }
    ~Sleeper() { stop(); }
    qint64 pid() const { return process_.processId(); }
    void stop()
    {
        process_.kill();
        process_.waitForFinished();
    }

private:
    QProcess process_;
};

// Lock file layouts other programs write.
enum class LockFormat { hdb, hdb_with_names, binary, qlockfile };

QByteArray lock_contents(LockFormat format, qint64 pid)
{
    switch (format) {
    case LockFormat::hdb:
        return QByteArray::number(pid).rightJustified(10, ' ') + '\n';
    case LockFormat::hdb_with_names: // minicom
        return QByteArray::number(pid).rightJustified(10, ' ') + " minicom root\n";
    case LockFormat::binary: {
        const qint32 binary = qint32(pid);
        return QByteArray(reinterpret_cast<const char *>(&binary), sizeof binary);
    }
    case LockFormat::qlockfile:
        return QByteArray::number(pid) + "\nterm\nhost\n0123456789abcdef0123456789abcdef\n"
               "01234567-89ab-cdef-0123-456789abcdef\n";
    }
    return {};
}

// What another user may plant at a lock file's path in a world-writable directory.
enum class Planted { fifo, directory, link_to_fifo, link_to_live_lock, oversized_live_lock };

// How a line is let go of.
enum class LetGo { close, destruction, reopen_then_close };

enum class Holder { unbound_number, missing_device, second_port, flock, uucp_lock, lock_being_written, qserialport };

} // namespace

Q_DECLARE_METATYPE(Holder)
Q_DECLARE_METATYPE(LockFormat)
Q_DECLARE_METATYPE(Planted)
Q_DECLARE_METATYPE(LetGo)
Q_DECLARE_METATYPE(HeldEnd)

class SerialPortTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void storage_rules_data();
    void storage_rules();
    void initial_settings();

    void line_takes_the_settings_data();
    void line_takes_the_settings();
    void settings_wait_for_the_next_open();
    void the_device_gets_its_settings_back_data();
    void the_device_gets_its_settings_back();

    void bytes_before_open_are_dropped();
    void receiving_goes_on_while_the_window_thread_is_blocked();
    void close_drops_what_was_not_raised();
    void a_window_that_takes_nothing_holds_the_far_end_back_data();
    void a_window_that_takes_nothing_holds_the_far_end_back();

    void send_writes_every_byte_in_order();
    void a_byte_not_taken_in_time_drops_the_rest_of_its_send();
    void close_during_a_send_drops_the_rest_at_once();

    void open_fails_data();
    void open_fails();
    void stale_lock_file_is_taken_over();
    void lock_files_of_other_programs_data();
    void lock_files_of_other_programs();
    void a_process_holding_the_device_is_named_data();
    void a_process_holding_the_device_is_named();
    void planted_entries_are_no_lock_data();
    void planted_entries_are_no_lock();
    void other_programs_are_kept_out_while_open();
    void reopen_closes_first();
    void destruction_releases_the_device();
    void device_going_away_data();
    void device_going_away();

private:
    std::unique_ptr<PortLinks> links_;
    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<QTemporaryDir> lock_dir_; // the only lock directory while a test runs
};

void SerialPortTest::init()
{
    lock_dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(lock_dir_->isValid());
    platform::use_lock_directories({lock_dir_->path()});
    links_ = std::make_unique<PortLinks>();
    pty_ = std::make_unique<PtyPair>();
    QVERIFY(pty_->is_valid());
    QVERIFY(links_->bind(1, pty_->slave_path()));
}

void SerialPortTest::cleanup()
{
    pty_.reset();
    links_.reset();
    platform::use_lock_directories({});
    lock_dir_.reset();
}

void SerialPortTest::storage_rules_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("stored");

    QTest::newRow("port 0 is 1") << u"port_number"_s << 0 << 1;
    QTest::newRow("port -7 is 1") << u"port_number"_s << -7 << 1;
    QTest::newRow("port 1") << u"port_number"_s << 1 << 1;
    QTest::newRow("port 6") << u"port_number"_s << 6 << 6;
    QTest::newRow("stop 0 is 1") << u"stop_bits"_s << 0 << 1;
    QTest::newRow("stop 1") << u"stop_bits"_s << 1 << 1;
    QTest::newRow("stop 2") << u"stop_bits"_s << 2 << 2;
    QTest::newRow("stop 3 is 2") << u"stop_bits"_s << 3 << 2;
    QTest::newRow("stop 9 is 2") << u"stop_bits"_s << 9 << 2;
}

void SerialPortTest::storage_rules()
{
    QFETCH(QString, setting);
    QFETCH(int, written);
    QFETCH(int, stored);

    SerialPort port;
    if (setting == "port_number"_L1) {
        port.set_port_number(written);
        QCOMPARE(port.port_number(), stored);
    } else {
        port.set_stop_bits(stop_bits_from_code(written)); // as the open command writes it
        QCOMPARE(int(port.stop_bits()), stored);
    }
}

void SerialPortTest::initial_settings()
{
    const SerialPort port;
    QCOMPARE(port.port_number(), 1);
    QCOMPARE(port.baud_rate(), 9600);
    QCOMPARE(port.data_bits(), 8);
    QCOMPARE(port.stop_bits(), StopBits::one);
    QCOMPARE(port.parity_check(), false);
    QCOMPARE(port.event_char(), QString());
    QCOMPARE(port.timeout_ms(), 1000);
    QCOMPARE(port.open_on_create(), false);
    QCOMPARE(port.parity(), Parity::none);
    QCOMPARE(port.flow_control(), FlowControl::none);
    QCOMPARE(port.rts_mode(), RtsMode::raised);
    QCOMPARE(port.dtr_mode(), DtrMode::as_driver_has_it);
    QVERIFY(!port.is_open());
}

void SerialPortTest::line_takes_the_settings_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stop_bits");
    QTest::addColumn<uint>("plain_speed"); // what tools reading plain termios (stty) see

    // glibc's <termios.h> has no BOTHER: it is the CBAUDEX bit alone.
    const std::pair<int, speed_t> rates[] = {
        {600, B600},       {1200, B1200},       {2400, B2400},       {4800, B4800},   {9600, B9600},
        {14400, CBAUDEX},  {19200, B19200},     {28800, CBAUDEX},    {38400, B38400}, {57600, B57600},
        {115200, B115200}, {230400, B230400},   {460800, B460800},
    };
    for (const auto &[baud, plain_speed] : rates)
        QTest::addRow("%d baud", baud) << baud << 0 << 1 << uint(plain_speed);
    QTest::newRow("odd parity") << 9600 << 1 << 1 << uint(B9600);
    QTest::newRow("even parity") << 9600 << 2 << 1 << uint(B9600);
    QTest::newRow("stop code 2 (2位)") << 9600 << 0 << 2 << uint(B9600);
    QTest::newRow("stop code 3") << 115200 << 2 << 3 << uint(B115200);
}

void SerialPortTest::line_takes_the_settings()
{
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, stop_bits);
    QFETCH(uint, plain_speed);

    QVERIFY(spoil_line(pty_->slave()));
    SerialPort port;
    port.set_baud_rate(baud);
    port.set_parity_check(parity != 0); // as the open command writes them
    port.set_parity(Parity(parity));
    port.set_stop_bits(stop_bits_from_code(stop_bits));
    QVERIFY2(port.open(), qPrintable(port.open_failure()));

    const LineView line = view_line(pty_->slave());
    QVERIFY(line.valid);
    QCOMPARE(line.ospeed, unsigned(baud));
    QCOMPARE(line.ispeed, unsigned(baud));
    termios plain{}; // TCGETS, as stty reads the line
    QCOMPARE(::tcgetattr(pty_->slave(), &plain), 0);
    QCOMPARE(uint(::cfgetospeed(&plain)), plain_speed);
    QCOMPARE(uint(::cfgetispeed(&plain)), plain_speed);
    QCOMPARE(line.cflag & CSIZE, unsigned(CS8));
    // A pty clears PARENB (it has no framing) but keeps PARODD and INPCK.
    QCOMPARE(bool(line.cflag & PARODD), parity == 1);
    QCOMPARE(bool(line.iflag & INPCK), parity != 0);
    QCOMPARE(bool(line.cflag & CSTOPB), stop_bits >= 2);
    QCOMPARE(line.cflag & (CREAD | CLOCAL), unsigned(CREAD | CLOCAL));
    QCOMPARE(line.cflag & CRTSCTS, 0u);
    QCOMPARE(line.iflag & (IXON | IXOFF | IXANY), 0u);
    QCOMPARE(line.iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IGNBRK | BRKINT | IGNPAR), 0u);
    QCOMPARE(line.iflag & PARMRK, unsigned(PARMRK)); // errors marked, the byte kept
    QCOMPARE(line.oflag & OPOST, 0u);
    QCOMPARE(line.lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
}

void SerialPortTest::settings_wait_for_the_next_open()
{
    SerialPort port;
    QVERIFY(port.open());
    port.set_baud_rate(115200);
    port.set_parity(Parity::even);
    port.set_parity_check(true);
    port.set_stop_bits(StopBits::two);

    LineView line = view_line(pty_->slave());
    QCOMPARE(line.ospeed, 9600u);
    QCOMPARE(line.cflag & CSTOPB, 0u);
    QCOMPARE(line.iflag & INPCK, 0u);

    port.close();
    QCOMPARE(port.baud_rate(), 115200); // kept across the close
    QVERIFY(port.open());
    line = view_line(pty_->slave());
    QCOMPARE(line.ospeed, 115200u);
    QCOMPARE(line.cflag & (PARODD | CSTOPB), unsigned(CSTOPB));
    QCOMPARE(line.iflag & INPCK, unsigned(INPCK));
}

void SerialPortTest::the_device_gets_its_settings_back_data()
{
    QTest::addColumn<LetGo>("let_go");
    QTest::newRow("close") << LetGo::close;
    QTest::newRow("destruction") << LetGo::destruction;
    QTest::newRow("open again, then close") << LetGo::reopen_then_close;
}

void SerialPortTest::the_device_gets_its_settings_back()
{
    QFETCH(LetGo, let_go);
    QVERIFY(spoil_line(pty_->slave()));
    const QString before = describe(view_line(pty_->slave()));

    auto port = std::make_unique<SerialPort>();
    QVERIFY(port->open());
    QVERIFY(describe(view_line(pty_->slave())) != before);
    switch (let_go) {
    case LetGo::close:
        port->close();
        break;
    case LetGo::destruction:
        port.reset();
        break;
    case LetGo::reopen_then_close:
        port->set_baud_rate(115200);
        QVERIFY(port->open());
        QCOMPARE(view_line(pty_->slave()).ospeed, 115200u);
        port->close();
        break;
    }
    QCOMPARE(describe(view_line(pty_->slave())), before);
}

void SerialPortTest::bytes_before_open_are_dropped()
{
    QObject context;
    Received received;
    SerialPort port;
    collect(port, context, received);

    // A first open and close leave the line raw, so the bytes wait in the driver.
    QVERIFY(port.open());
    port.close();
    QVERIFY(pty_->write("sent while closed"));
    QTRY_COMPARE(pty_->slave_unread(), 17);
    QVERIFY(port.open());
    QVERIFY(pty_->write("after open"));
    QTRY_COMPARE(received.bytes, "after open"_ba);
}

void SerialPortTest::receiving_goes_on_while_the_window_thread_is_blocked()
{
    QObject context;
    Received received;
    SerialPort port;
    collect(port, context, received);
    QVERIFY(port.open());

    // Far more than the kernel buffers hold: the writer can finish only if the
    // port keeps reading while this thread runs no event loop at all.
    const QByteArray sent = payload(200 * 1024);
    std::future<bool> writer = std::async(std::launch::async, [&] { return pty_->write(sent); });
    QCOMPARE(writer.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    QVERIFY(writer.get());
    QCOMPARE(received.bytes.size(), 0); // nothing raised while the thread was busy

    // The backlog comes in pieces, with other events served between them.
    qsizetype largest = 0;
    qsizetype raised_before_timer = -1;
    QObject::connect(&port, &SerialPort::bytes_received, &context,
                     [&largest](const QByteArray &bytes) { largest = std::max(largest, bytes.size()); });
    QTimer timer; // a timer of the window's, not a posted call
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &context, [&] { raised_before_timer = received.bytes.size(); });
    timer.start(0);
    QTRY_COMPARE_WITH_TIMEOUT(received.bytes.size(), sent.size(), 30000);
    QCOMPARE(received.bytes, sent);
    QVERIFY2(largest <= 64 * 1024, qPrintable(QString::number(largest)));
    QVERIFY(raised_before_timer >= 0);
    QVERIFY(raised_before_timer < sent.size());
}

void SerialPortTest::close_drops_what_was_not_raised()
{
    QObject context;
    Received received;
    SerialPort port;
    collect(port, context, received);
    QVERIFY(port.open());

    QVERIFY(pty_->write("first"));
    QTRY_COMPARE(received.bytes, "first"_ba);

    // Read by the port but not yet raised: this thread has not returned to its loop.
    QVERIFY(pty_->write(QByteArray(3000, 'x')));
    for (int i = 0; i < 100 && pty_->slave_unread() != 0; ++i)
        QThread::msleep(50); // no QTRY_: it would run the event loop
    QThread::msleep(100);
    port.close();
    const int raised = received.signals_raised;
    QTest::qWait(200);
    QCOMPARE(received.signals_raised, raised);
    QCOMPARE(received.bytes, "first"_ba);

    // A new session delivers only its own bytes.
    QVERIFY(port.open());
    QVERIFY(pty_->write("second"));
    QTRY_COMPARE(received.bytes, "firstsecond"_ba);
}

void SerialPortTest::a_window_that_takes_nothing_holds_the_far_end_back_data()
{
    QTest::addColumn<HeldEnd>("end");
    QTest::newRow("the window takes the backlog") << HeldEnd::window_takes_the_backlog;
    QTest::newRow("close") << HeldEnd::close;
    QTest::newRow("hang-up") << HeldEnd::hang_up;
}

void SerialPortTest::a_window_that_takes_nothing_holds_the_far_end_back()
{
    QFETCH(HeldEnd, end);
    const int threads_closed = thread_count();
    QObject context;
    Received received;
    SerialPort port;
    collect(port, context, received);
    qsizetype raised_at_loss = -1;
    QObject::connect(&port, &SerialPort::device_lost, &context,
                     [&] { raised_at_loss = received.bytes.size(); });
    const SerialPort::BacklogMarks marks{.high = 1024 * 1024, .low = 256 * 1024};
    port.set_backlog_marks(marks);
    QVERIFY(port.open());

    // Sixteen times the high mark, and this thread runs no event loop: the port
    // reads past the high mark by at most one read, then the far end waits.
    const QByteArray sent = payload(16 * 1024 * 1024);
    Pusher pusher(pty_->master(), sent);
    qsizetype written = -1;
    for (int still = 0, i = 0; still < 10 && i < 600; ++i) {
        QThread::msleep(50); // no QTRY_: it would run the event loop
        still = pusher.written() == written && port.backlog_bytes() > marks.high ? still + 1 : 0;
        written = pusher.written();
    }
    const qsizetype backlog = port.backlog_bytes();
    QVERIFY2(backlog > marks.high && backlog <= marks.high + 64 * 1024, qPrintable(QString::number(backlog)));
    QVERIFY2(written < sent.size() && written - backlog < marks.high,
             qPrintable(u"%1 written, %2 held"_s.arg(written).arg(backlog)));
    QCOMPARE(received.signals_raised, 0);

    // Held, the receive thread sleeps: a loop polling for input would burn the CPU.
    const double cpu_before = process_cpu_seconds();
    QThread::msleep(500);
    const double cpu_used = process_cpu_seconds() - cpu_before;
    QVERIFY2(cpu_used < 0.1, qPrintable(QString::number(cpu_used)));
    QCOMPARE(port.backlog_bytes(), backlog);

    switch (end) {
    case HeldEnd::window_takes_the_backlog:
        // Reading goes on below the low mark; everything arrives, in order.
        QTRY_COMPARE_WITH_TIMEOUT(received.bytes.size(), sent.size(), 60000);
        QCOMPARE(pusher.written(), sent.size());
        QCOMPARE(received.bytes, sent);
        QCOMPARE(port.backlog_bytes(), 0);
        break;
    case HeldEnd::close: {
        QElapsedTimer took;
        took.start();
        port.close();
        QVERIFY2(took.elapsed() < 2000, qPrintable(QString::number(took.elapsed())));
        pusher.stop();
        QCOMPARE(thread_count(), threads_closed);
        QCOMPARE(port.backlog_bytes(), 0);
        QTest::qWait(200);
        QCOMPARE(received.signals_raised, 0); // what was not raised is dropped
        break;
    }
    case HeldEnd::hang_up:
        pusher.stop();
        pty_->close_master();
        // The held thread sees the hang-up and ends by itself, without the window.
        for (int i = 0; i < 100 && thread_count() != threads_closed; ++i)
            QThread::msleep(50);
        QCOMPARE(thread_count(), threads_closed);
        // The window then gets every byte read before the loss, and the loss after them.
        QTRY_VERIFY_WITH_TIMEOUT(raised_at_loss >= 0, 30000);
        QCOMPARE(raised_at_loss, received.bytes.size());
        QVERIFY2(received.bytes.size() >= backlog, qPrintable(QString::number(received.bytes.size())));
        QVERIFY(sent.startsWith(received.bytes));
        break;
    }
}

void SerialPortTest::send_writes_every_byte_in_order()
{
    SerialPort port;
    qint64 written = 0;
    QObject context;
    QObject::connect(&port, &SerialPort::bytes_written, &context, [&](qint64 count) { written += count; });
    port.send("closed"_ba); // a closed line drops it
    QVERIFY(!port.is_sending());
    QVERIFY(port.open());
    pty_->drain();

    // Every byte value, line breaks and 0xFF included, goes out as it is, and
    // sends handed over back to back leave one after the other.
    QByteArray values;
    for (int value = 0; value < 256; ++value)
        values.append(char(value));
    QByteArray burst;
    for (int i = 0; i < 2000; ++i)
        burst.append(char(i * 31));
    port.send(values);
    port.send(burst);
    QCOMPARE(port.sends_waiting(), 1);
    QVERIFY(port.is_sending());
    QTRY_COMPARE(written, values.size() + burst.size());
    QCOMPARE(pty_->read(values.size() + burst.size()), values + burst);
    QCOMPARE(pty_->read(1, 100), QByteArray());
    QVERIFY(!port.is_sending());

    port.close();
    port.send("z"_ba);
    QCOMPARE(pty_->read(1, 100), QByteArray());
    QCOMPARE(written, values.size() + burst.size());
}

void SerialPortTest::a_byte_not_taken_in_time_drops_the_rest_of_its_send()
{
    SerialPort port;
    port.set_timeout_ms(200);
    qint64 written = 0;
    QObject context;
    QObject::connect(&port, &SerialPort::bytes_written, &context, [&](qint64 count) { written += count; });
    QVERIFY(port.open());
    pty_->drain();

    const QByteArray first = payload(300 * 1024); // far more than the pty holds
    port.send(first);
    port.send("tail"_ba);
    // Nobody reads: the first send stops where the pty is full and, 200 ms later,
    // its rest is dropped; the tail then waits for room of its own.
    QTRY_COMPARE_WITH_TIMEOUT(port.sends_waiting(), 0, 5000);
    const FarEnd far(pty_->master());
    QTRY_VERIFY(!port.is_sending());
    QTest::qWait(300);
    const QByteArray got = far.received();

    QVERIFY(got.endsWith("tail"));
    QVERIFY2(got.size() - 4 < first.size(), qPrintable(QString::number(got.size())));
    QVERIFY2(first.startsWith(got.chopped(4)), "a hole in what the far end got");
    QTRY_COMPARE(written, got.size());
}

void SerialPortTest::close_during_a_send_drops_the_rest_at_once()
{
    SerialPort port;
    qint64 written = 0;
    int reports = 0;
    QObject context;
    QObject::connect(&port, &SerialPort::bytes_written, &context, [&](qint64 count) {
        written += count;
        ++reports;
    });
    QVERIFY(port.open());
    pty_->drain();
    const QByteArray sent = payload(300 * 1024);
    port.send(sent);
    port.send(sent);
    QTRY_VERIFY(written > 0);
    QVERIFY(port.is_sending());

    port.close(); // the bytes written so far are reported from here
    QVERIFY(!port.is_open());
    QVERIFY(!port.is_sending());
    QCOMPARE(port.sends_waiting(), 0);
    const qint64 at_close = written;
    const int reports_at_close = reports;
    QTest::qWait(200);
    QCOMPARE(reports, reports_at_close);
    // What the far end finds is a prefix of the send, as much as was written.
    const QByteArray got = pty_->read(sent.size(), 300);
    QCOMPARE(got.size(), at_close);
    QVERIFY(sent.startsWith(got));

    // The next session sends whole.
    QVERIFY(port.open());
    port.send("again"_ba);
    QTRY_COMPARE(written, at_close + 5);
    QCOMPARE(pty_->read(5), "again"_ba);
}

void SerialPortTest::open_fails_data()
{
    QTest::addColumn<Holder>("holder");
    QTest::addColumn<QString>("words");

    QTest::newRow("COMn with no device") << Holder::unbound_number << u"没有这个设备"_s;
    QTest::newRow("link to a missing device") << Holder::missing_device << u"没有这个设备"_s;
    QTest::newRow("another SerialPort") << Holder::second_port << u"正被另一个程序使用"_s;
    QTest::newRow("flock of another descriptor") << Holder::flock << u"正被另一个程序使用"_s;
    QTest::newRow("UUCP lock of a live process") << Holder::uucp_lock << u"(PID %1) 占用。"_s.arg(::getppid());
    QTest::newRow("lock file still empty") << Holder::lock_being_written << u"正被另一个程序使用"_s;
    QTest::newRow("QSerialPort") << Holder::qserialport << u"正被另一个程序使用"_s;
}

void SerialPortTest::open_fails()
{
    QFETCH(Holder, holder);
    QFETCH(QString, words);

    SerialPort port;
    SerialPort other;
    QSerialPort qt_port;
    int locker = -1;
    const QString lock_file = platform::lock_file_for(pty_->slave_path());
    switch (holder) {
    case Holder::unbound_number:
        port.set_port_number(100000);
        break;
    case Holder::missing_device:
        QVERIFY(links_->bind(1, links_->missing_device()));
        break;
    case Holder::second_port:
        QVERIFY(other.open());
        break;
    case Holder::flock:
        locker = ::open(QFile::encodeName(pty_->slave_path()).constData(), O_RDWR | O_NOCTTY);
        QVERIFY(locker >= 0);
        QCOMPARE(::flock(locker, LOCK_EX | LOCK_NB), 0);
        QCOMPARE(::ioctl(locker, TIOCEXCL), 0); // as another terminal program does
        break;
    case Holder::uucp_lock: {
        if (lock_file.isEmpty())
            QSKIP("no writable lock directory");
        QFile file(lock_file);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::NewOnly));
        file.write(QByteArray::number(qint64(::getppid())).rightJustified(10, ' ') + "\n");
        break;
    }
    case Holder::lock_being_written: {
        if (lock_file.isEmpty())
            QSKIP("no writable lock directory");
        QFile file(lock_file);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::NewOnly));
        break;
    }
    case Holder::qserialport:
        // Root passes TIOCEXCL: QSerialPort's lock file in the system's lock
        // directory is what keeps this open out.
        platform::use_lock_directories({});
        qt_port.setPortName(pty_->slave_path());
        QVERIFY(qt_port.open(QIODevice::ReadWrite));
        break;
    }

    QVERIFY(!port.open());
    QVERIFY(!port.is_open());
    QVERIFY2(port.open_failure().contains(words), qPrintable(port.open_failure()));
    port.send("a"_ba);
    QVERIFY(!port.is_sending());
    if (holder == Holder::flock) {
        // Root got past the holder's exclusive mode; failing must not clear it.
        int exclusive = -1;
        QCOMPARE(::ioctl(pty_->slave(), TIOCGEXCL, &exclusive), 0);
        QCOMPARE(exclusive, 1);
    }

    // Once the holder lets go, the same port opens.
    if (holder == Holder::unbound_number || holder == Holder::missing_device)
        return;
    other.close();
    qt_port.close();
    if (locker >= 0)
        ::close(locker);
    if (holder == Holder::uucp_lock || holder == Holder::lock_being_written)
        QFile::remove(lock_file);
    QVERIFY2(port.open(), qPrintable(port.open_failure()));
    QCOMPARE(port.open_failure(), QString());
}

void SerialPortTest::stale_lock_file_is_taken_over()
{
    const QString lock_file = platform::lock_file_for(pty_->slave_path());
    if (lock_file.isEmpty())
        QSKIP("no writable lock directory");

    // The lock of a process that has ended.
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    QVERIFY(child > 0);
    int status = 0;
    ::waitpid(child, &status, 0);
    {
        QFile file(lock_file);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::NewOnly));
        file.write(QByteArray::number(qint64(child)).rightJustified(10, ' ') + "\n");
    }

    SerialPort port;
    QVERIFY2(port.open(), qPrintable(port.open_failure()));
    QFile file(lock_file);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readLine().trimmed().toLongLong(), qint64(::getpid()));
    file.close();
    port.close();
    QVERIFY(!QFile::exists(lock_file));
}

void SerialPortTest::lock_files_of_other_programs_data()
{
    QTest::addColumn<LockFormat>("format");
    QTest::newRow("HDB") << LockFormat::hdb;
    QTest::newRow("HDB with program and user (minicom)") << LockFormat::hdb_with_names;
    QTest::newRow("binary pid") << LockFormat::binary;
    QTest::newRow("QLockFile") << LockFormat::qlockfile;
}

void SerialPortTest::lock_files_of_other_programs()
{
    QFETCH(LockFormat, format);
    const QString lock_file = platform::lock_file_for(pty_->slave_path());
    QVERIFY(!lock_file.isEmpty());
    Sleeper holder;
    {
        QFile file(lock_file);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::NewOnly));
        file.write(lock_contents(format, holder.pid()));
        file.flush();
        // Older than a lock being written, so only the pid in it keeps the port out.
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    }

    SerialPort port;
    QVERIFY(!port.open());
    QCOMPARE(port.open_failure(),
             u"COM1：%1 正被 sleep (PID %2) 占用。"_s.arg(pty_->slave_path()).arg(holder.pid()));
    QVERIFY(QFile::exists(lock_file));

    // Its holder gone, the same lock is stale: taken over and replaced by ours.
    holder.stop();
    QVERIFY2(port.open(), qPrintable(port.open_failure()));
    QFile file(lock_file);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readLine().trimmed().toLongLong(), qint64(::getpid()));
}

void SerialPortTest::a_process_holding_the_device_is_named_data()
{
    QTest::addColumn<QByteArray>("name"); // the name the locking process gives itself
    QTest::addColumn<bool>("bystander");  // another process has the device open, unlocked
    QTest::addColumn<QString>("shown");
    QTest::newRow("minicom") << "minicom"_ba << false << u"minicom"_s;
    QTest::newRow("a name that reads as markup") << "<b>x</b>&amp;"_ba << false << u"?b?x?/b??amp;"_s;
    QTest::newRow("the locker, not a bystander") << "picocom"_ba << true << u"picocom"_s;
}

void SerialPortTest::a_process_holding_the_device_is_named()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, bystander);
    QFETCH(QString, shown);

    // Children that open the device, lock it or not, then take their name,
    // with no lock file to name them.
    QList<pid_t> children;
    const auto end_children = qScopeGuard([&children] {
        for (const pid_t child : children) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
    });
    const QByteArray device = QFile::encodeName(pty_->slave_path());
    const auto hold = [&](const QByteArray &as, bool lock) {
        const pid_t child = ::fork();
        if (child == 0) {
            const int fd = ::open(device.constData(), O_RDWR | O_NOCTTY);
            if (fd < 0 || (lock && ::flock(fd, LOCK_EX | LOCK_NB) != 0))
                ::_exit(1);
            ::prctl(PR_SET_NAME, as.constData());
            for (;;)
                ::pause();
        }
        if (child > 0)
            children.append(child);
        return child;
    };
    const auto named = [](pid_t child) {
        QFile comm(u"/proc/"_s + QString::number(child) + u"/comm"_s);
        return comm.open(QIODevice::ReadOnly) ? comm.readAll().trimmed() : QByteArray();
    };
    if (bystander) {
        const pid_t other = hold("getty"_ba, false);
        QVERIFY(other > 0);
        QTRY_COMPARE(named(other), "getty"_ba);
    }
    const pid_t locker = hold(name, true);
    QVERIFY(locker > 0);
    QTRY_COMPARE(named(locker), name);

    SerialPort port;
    QVERIFY(!port.open());
    QCOMPARE(port.open_failure(), u"COM1：%1 正被 %2 (PID %3) 占用。"_s.arg(pty_->slave_path(), shown).arg(locker));
}

void SerialPortTest::planted_entries_are_no_lock_data()
{
    QTest::addColumn<Planted>("planted");
    QTest::newRow("FIFO") << Planted::fifo;
    QTest::newRow("directory") << Planted::directory;
    QTest::newRow("link to a FIFO") << Planted::link_to_fifo;
    QTest::newRow("link to a live lock elsewhere") << Planted::link_to_live_lock;
    QTest::newRow("a live lock of 2 KB") << Planted::oversized_live_lock;
}

void SerialPortTest::planted_entries_are_no_lock()
{
    QFETCH(Planted, planted);
    const QString lock_file = platform::lock_file_for(pty_->slave_path());
    const QByteArray lock_path = QFile::encodeName(lock_file);
    QTemporaryDir elsewhere; // what the planted entry points at: never to be touched
    QVERIFY(elsewhere.isValid());
    const QByteArray fifo = QFile::encodeName(planted == Planted::fifo ? lock_file : elsewhere.filePath(u"fifo"_s));
    const QString victim = elsewhere.filePath(u"victim"_s);
    const QByteArray live_lock = lock_contents(LockFormat::hdb, ::getppid());

    switch (planted) {
    case Planted::fifo:
        QCOMPARE(::mkfifo(lock_path.constData(), 0666), 0);
        break;
    case Planted::directory:
        QVERIFY(QDir().mkpath(lock_file + u"/inside"_s));
        break;
    case Planted::link_to_fifo:
        QCOMPARE(::mkfifo(fifo.constData(), 0666), 0);
        QVERIFY(QFile::link(QFile::decodeName(fifo), lock_file));
        break;
    case Planted::link_to_live_lock: {
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(live_lock);
        file.close();
        QVERIFY(QFile::link(victim, lock_file));
        break;
    }
    case Planted::oversized_live_lock: {
        QFile file(lock_file);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(live_lock + QByteArray(2048, ' '));
        break;
    }
    }
    const bool has_fifo = planted == Planted::fifo || planted == Planted::link_to_fifo;
    // A reader of our own shows anything written into the FIFO.
    const int reader = has_fifo ? ::open(fifo.constData(), O_RDONLY | O_NONBLOCK) : -1;
    QVERIFY(!has_fifo || reader >= 0);
    struct stat before{};
    QCOMPARE(::lstat(lock_path.constData(), &before), 0);

    // An open stuck on the FIFO is set free after a second, and the test fails.
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::atomic<bool> rescued = false;
    std::thread rescuer([&] {
        std::unique_lock lock(mutex);
        if (finished.wait_for(lock, std::chrono::seconds(1), [&] { return done; }) || !has_fifo)
            return;
        const int writer = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
        rescued = true;
    });
    SerialPort port;
    const bool opened = port.open();
    {
        const std::lock_guard lock(mutex);
        done = true;
    }
    finished.notify_one();
    rescuer.join();

    QVERIFY2(!rescued, "the open waited on the FIFO");
    QVERIFY2(opened, qPrintable(port.open_failure())); // none of these is a lock of a live program
    if (reader >= 0) {
        char byte = 0;
        QVERIFY2(::read(reader, &byte, 1) <= 0, "written into the FIFO");
        ::close(reader);
    }
    port.close();

    // The entry and what it points at are as they were.
    struct stat after{};
    QCOMPARE(::lstat(lock_path.constData(), &after), 0);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_ino, before.st_ino);
    if (planted == Planted::directory)
        QVERIFY(QFileInfo(lock_file + u"/inside"_s).isDir());
    struct stat target{};
    if (planted == Planted::link_to_fifo)
        QVERIFY(::lstat(fifo.constData(), &target) == 0 && S_ISFIFO(target.st_mode));
    if (planted == Planted::link_to_live_lock) {
        QFile file(victim);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), live_lock);
    }
    if (planted == Planted::oversized_live_lock)
        QCOMPARE(qint64(after.st_size), qint64(live_lock.size() + 2048));
}

void SerialPortTest::other_programs_are_kept_out_while_open()
{
    platform::use_lock_directories({}); // where QSerialPort looks, as root passes TIOCEXCL
    SerialPort port;
    QVERIFY(port.open());

    QSerialPort qt_port(pty_->slave_path());
    QVERIFY(!qt_port.open(QIODevice::ReadWrite));

    const int fd = ::open(QFile::encodeName(pty_->slave_path()).constData(), O_RDWR | O_NOCTTY);
    if (fd >= 0) { // root passes TIOCEXCL, but not the flock
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), -1);
        ::close(fd);
    }

    port.close();
    QVERIFY(qt_port.open(QIODevice::ReadWrite));
}

void SerialPortTest::reopen_closes_first()
{
    QObject context;
    Received received;
    SerialPort port;
    collect(port, context, received);
    QVERIFY(port.open());
    port.set_baud_rate(57600);
    QVERIFY2(port.open(), qPrintable(port.open_failure()));
    QCOMPARE(view_line(pty_->slave()).ospeed, 57600u);
    QVERIFY(pty_->write("once"));
    QTRY_COMPARE(received.bytes, "once"_ba);
    QTest::qWait(50);
    QCOMPARE(received.bytes, "once"_ba); // one receiver, not two
}

void SerialPortTest::destruction_releases_the_device()
{
    // The tty's exclusive mode outlives a close while another descriptor (the
    // fixture's slave) stays open, unless it is cleared; root would not notice.
    const auto exclusive = [this] {
        int on = -1;
        return ::ioctl(pty_->slave(), TIOCGEXCL, &on) == 0 ? on : -1;
    };
    auto port = std::make_unique<SerialPort>();
    QVERIFY(port->open());
    QCOMPARE(exclusive(), 1);
    port.reset();
    QCOMPARE(exclusive(), 0);

    SerialPort next;
    QVERIFY2(next.open(), qPrintable(next.open_failure()));
}

void SerialPortTest::device_going_away_data()
{
    QTest::addColumn<bool>("sending");
    QTest::newRow("idle") << false;
    QTest::newRow("during a send") << true;
}

void SerialPortTest::device_going_away()
{
    QFETCH(bool, sending);
    const int threads_closed = thread_count();
    QObject context;
    Received received;
    SerialPort port;
    collect(port, context, received);
    qint64 written = 0;
    QObject::connect(&port, &SerialPort::bytes_written, &context, [&](qint64 count) { written += count; });
    QSignalSpy lost(&port, &SerialPort::device_lost);
    QVERIFY(port.open());
    port.close(); // a close is no loss
    QVERIFY(port.open());
    QCOMPARE(thread_count(), threads_closed + 1);

    QVERIFY(pty_->write("last words"));
    QTRY_COMPARE(received.bytes, "last words"_ba);
    QCOMPARE(lost.count(), 0);
    if (sending) {
        // Nobody reads: the send waits for room when the device goes.
        port.send(payload(300 * 1024));
        port.send("more"_ba);
        QTRY_VERIFY(written > 0);
        QTest::qWait(100);
        QVERIFY(port.is_sending());
    }
    pty_->close_master();

    // The receive thread ends by itself instead of spinning on the hang-up, and
    // the sends end at once with it, whatever was left of them.
    QTRY_COMPARE(thread_count(), threads_closed);
    QTRY_COMPARE(lost.count(), 1);
    QVERIFY(lost.first().first().toString().startsWith(u"COM1"_s));
    QTRY_VERIFY(!port.is_sending());
    port.send("a"_ba);
    QTRY_VERIFY(!port.is_sending());
    QVERIFY(port.is_open()); // until its owner closes it
    const qint64 before_close = written;
    port.close();
    QVERIFY(!port.is_open());
    QCOMPARE(received.bytes, "last words"_ba);
    QCOMPARE(written, before_close); // nothing was written after the loss
    QCOMPARE(lost.count(), 1);
}

QTEST_GUILESS_MAIN(SerialPortTest)
#include "test_serial_port.moc"
