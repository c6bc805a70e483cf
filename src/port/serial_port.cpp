#include "port/serial_port.h"

#include "port/platform.h"
#include "port/port_naming.h"

#include <QMetaObject>
#include <QMutexLocker>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kestrune {

namespace {

// The reason of a failed open as the tooltip of 串口按钮 shows it.
QString failure_text(platform::OpenFailure failure, int port_number, const QString &device)
{
    const QString name = device.isEmpty() ? u"COM"_s + QString::number(port_number) : device;
    switch (failure) {
    case platform::OpenFailure::none:
        return {};
    case platform::OpenFailure::no_device:
        return name + u"：没有这个设备。"_s;
    case platform::OpenFailure::in_use:
        return name + u"：正被另一个程序使用。"_s;
    case platform::OpenFailure::permission:
        return name + u"：没有权限打开（把用户加入 dialout 组，再重新登录）。"_s;
    case platform::OpenFailure::refused:
        return name + u"：驱动程序不接受这组线路设置。"_s;
    }
    return {};
}

} // namespace

SerialPort::SerialPort(QObject *parent) : QObject(parent)
{
    // A backlog is raised in turns of the timer queue, where the window's own
    // timers take their turns too; posted events alone would starve them.
    m_next_turn.setSingleShot(true);
    m_next_turn.setInterval(0);
    connect(&m_next_turn, &QTimer::timeout, this, &SerialPort::raise_ready);
}

SerialPort::~SerialPort()
{
    close();
}

bool SerialPort::open()
{
    close();
    const QString device = port_device(m_port_number);

    platform::OpenFailure failure = platform::OpenFailure::none;
    m_line = platform::Line::open(device, m_line_settings, failure);
    m_open_failure = failure_text(failure, m_port_number, device);
    if (!m_line)
        return false;

    quint64 session = 0;
    {
        const QMutexLocker lock(&m_mutex);
        session = m_session;
    }
    m_receiver = std::thread(&SerialPort::receive, this, m_line.get(), session);
    return true;
}

void SerialPort::close()
{
    if (!m_line)
        return;
    m_line->wake();
    m_receiver.join();
    m_line.reset();
    {
        const QMutexLocker lock(&m_mutex);
        m_arrived.clear();
        m_take_posted = false;
        ++m_session;
    }
    m_ready.clear();
    m_ready_offset = 0;
    m_next_turn.stop();
}

bool SerialPort::send(quint8 byte)
{
    // write total: timeout_ms per byte plus timeout_ms, for one byte
    return m_line && m_line->write_byte(byte, 2 * m_timeout_ms);
}

// Receive thread: reads for as long as the line is open and never waits for
// the window thread; input piles up in m_arrived until the window takes it.
void SerialPort::receive(platform::Line *line, quint64 session)
{
    LineInput input;
    platform::Line::Read read;
    while ((read = line->wait_and_read(input)) == platform::Line::Read::input) {
        const QMutexLocker lock(&m_mutex);
        m_arrived.append(std::move(input));
        if (!m_take_posted) {
            m_take_posted = true;
            QMetaObject::invokeMethod(
                this, [this, session] { take_input(session); }, Qt::QueuedConnection);
        }
    }
    // Posted after the last take_input, so it comes after the bytes that arrived.
    if (read == platform::Line::Read::gone)
        QMetaObject::invokeMethod(
            this, [this, session] { report_loss(session); }, Qt::QueuedConnection);
}

void SerialPort::report_loss(quint64 session)
{
    {
        const QMutexLocker lock(&m_mutex);
        if (session != m_session)
            return; // the line was closed meanwhile
    }
    Q_EMIT device_lost(u"COM"_s + QString::number(m_port_number)
                       + u"：设备已断开。关闭串口，等设备回来后再打开。"_s);
}

void SerialPort::take_input(quint64 session)
{
    {
        const QMutexLocker lock(&m_mutex);
        if (session != m_session)
            return; // posted before a close
        m_take_posted = false;
        m_ready.append(m_arrived.take());
    }
    // A backlog waiting for its next turn is raised then, in arrival order.
    if (!m_next_turn.isActive())
        raise_ready();
}

void SerialPort::raise_ready()
{
    // A handler that runs an event loop brings us back here: the outer call
    // keeps raising, so the order stays that of arrival.
    if (m_raising)
        return;
    m_raising = true;
    // At most raise_limit bytes per turn, so that a backlog (the window thread was
    // held) does not hold off timers, clicks and painting for its whole length.
    qsizetype raised = 0;
    while (!m_ready.isEmpty() && raised < raise_limit) { // close() in a handler empties m_ready
        LineInputItem &front = m_ready.first();
        if (front.status != 0) {
            const int status = front.status;
            m_ready.removeFirst();
            ++raised;
            Q_EMIT line_status(status);
            continue;
        }
        const qsizetype size = std::min(front.bytes.size() - m_ready_offset, raise_limit - raised);
        const QByteArray piece = m_ready_offset == 0 && size == front.bytes.size()
                                     ? front.bytes
                                     : front.bytes.sliced(m_ready_offset, size);
        m_ready_offset += size;
        if (m_ready_offset == front.bytes.size()) {
            m_ready.removeFirst();
            m_ready_offset = 0;
        }
        raised += size;
        Q_EMIT bytes_received(piece);
    }
    m_raising = false;
    if (!m_ready.isEmpty())
        m_next_turn.start();
}

} // namespace kestrune
