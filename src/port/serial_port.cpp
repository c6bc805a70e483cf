// SPDX-License-Identifier: MIT
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
    case platform::OpenFailure::in_use: {
        const platform::DeviceHolder holder = platform::device_holder(device);
        if (holder.pid == 0)
            return name + u"：正被另一个程序使用。"_s;
        const QString program = holder.program.isEmpty() ? u"另一个程序"_s : holder.program;
        return u"COM"_s + QString::number(port_number) + u"："_s + device + u" 正被 "_s + program + u" (PID "_s
               + QString::number(holder.pid) + u") 占用。"_s;
    }
    case platform::OpenFailure::permission:
        return name + u"：没有权限打开（把用户加入 dialout 组，再重新登录）。"_s;
    case platform::OpenFailure::refused:
        return name + u"：驱动程序不接受这组线路设置。"_s;
    }
    return {};
}

// What an input item adds to the backlog: its bytes, or 1 for a status.
qsizetype backlog_weight(const LineInputItem &item)
{
    const auto *bytes = std::get_if<QByteArray>(&item);
    return bytes ? bytes->size() : 1;
}

} // namespace

SerialPort::SerialPort(QObject *parent) : QObject(parent)
{
    // A backlog is raised in turns of the timer queue, where the window's own
    // timers take their turns too; posted events alone would starve them.
    next_turn_.setSingleShot(true);
    next_turn_.setInterval(0);
    connect(&next_turn_, &QTimer::timeout, this, &SerialPort::raise_ready);
}

SerialPort::~SerialPort()
{
    // The program is ending: what the driver still holds for output would only
    // keep the close waiting, for up to half a minute on a slow line.
    if (line_)
        line_->drop_output();
    shut();
}

bool SerialPort::open()
{
    close();
    const QString device = port_device(port_number_);

    platform::OpenFailure failure = platform::OpenFailure::none;
    line_ = platform::Line::open(device, line_settings_, failure);
    open_failure_ = failure_text(failure, port_number_, device);
    if (!line_)
        return false;

    quint64 session = 0;
    {
        const QMutexLocker lock(&mutex_);
        session = session_;
    }
    receiver_ = std::thread(&SerialPort::receive, this, line_.get(), session);
    output_ = std::make_unique<LineOutput>(*line_, timeout_ms_);
    connect(output_.get(), &LineOutput::written, this, &SerialPort::bytes_written);
    return true;
}

void SerialPort::close()
{
    const qint64 unreported = shut();
    if (unreported != 0)
        Q_EMIT bytes_written(unreported);
}

qint64 SerialPort::shut()
{
    if (!line_)
        return 0;
    const qint64 unreported = output_->take_unreported();
    // A send cut short: a device's driver drops its share of it too, so the close
    // does not wait for a far end that may never read (a board in a debugger).
    if (output_->busy())
        line_->drop_output();
    output_.reset();
    {
        const QMutexLocker lock(&mutex_);
        stopping_ = true;
    }
    line_->wake();
    receiver_.join();
    line_.reset();
    {
        const QMutexLocker lock(&mutex_);
        arrived_.clear();
        take_posted_ = false;
        ++session_;
        stopping_ = false;
        backlog_ = 0;
        held_ = false;
    }
    ready_.clear();
    ready_offset_ = 0;
    loss_waits_ = false;
    next_turn_.stop();
    return unreported;
}

void SerialPort::send(QByteArray bytes)
{
    if (output_)
        output_->add(std::move(bytes));
}

void SerialPort::set_backlog_marks(BacklogMarks marks)
{
    const QMutexLocker lock(&mutex_);
    marks_ = marks;
}

qsizetype SerialPort::backlog_bytes() const
{
    const QMutexLocker lock(&mutex_);
    return backlog_;
}

// Receive thread: reads for as long as the line is open, without waiting for
// the window thread until the backlog passes the high mark; then it waits,
// reading nothing, for the window (count_raised), a close or a hang-up.
void SerialPort::receive(platform::Line *line, quint64 session)
{
    using Read = platform::Line::Read;
    LineInput input;
    bool hung_up = false; // while held: what the driver still has is read, then the loop ends
    for (;;) {
        bool hold = false;
        {
            const QMutexLocker lock(&mutex_);
            if (stopping_)
                return;
            if (backlog_ > marks_.high)
                held_ = true;
            hold = held_ && !hung_up;
        }
        if (hold) {
            hung_up = line->wait_without_reading() == Read::gone;
            continue; // woken by the window or by close(): the state says which
        }
        const Read read = line->wait_and_read(input);
        if (read == Read::woken)
            continue;
        if (read == Read::gone) {
            // Posted after the last take_input, so it comes after the bytes that arrived.
            QMetaObject::invokeMethod(
                this, [this, session] { report_loss(session); }, Qt::QueuedConnection);
            return;
        }
        qsizetype weight = 0;
        for (const LineInputItem &item : input.items())
            weight += backlog_weight(item);
        const QMutexLocker lock(&mutex_);
        arrived_.append(std::move(input));
        backlog_ += weight;
        if (!take_posted_) {
            take_posted_ = true;
            QMetaObject::invokeMethod(
                this, [this, session] { take_input(session); }, Qt::QueuedConnection);
        }
    }
}

void SerialPort::report_loss(quint64 session)
{
    {
        const QMutexLocker lock(&mutex_);
        if (session != session_)
            return; // the line was closed meanwhile
    }
    // The window closes the line on a loss: the bytes that came before it are raised first.
    if (ready_.isEmpty())
        raise_loss();
    else
        loss_waits_ = true;
}

void SerialPort::raise_loss()
{
    Q_EMIT device_lost(u"COM"_s + QString::number(port_number_)
                       + u"：设备已断开。等设备回来后再打开串口。"_s);
}

void SerialPort::take_input(quint64 session)
{
    {
        const QMutexLocker lock(&mutex_);
        if (session != session_)
            return; // posted before a close
        take_posted_ = false;
        ready_.append(arrived_.take());
    }
    // A backlog waiting for its next turn is raised then, in arrival order.
    if (!next_turn_.isActive())
        raise_ready();
}

void SerialPort::raise_ready()
{
    // A handler that runs an event loop brings us back here: the outer call
    // keeps raising, so the order stays that of arrival.
    if (raising_)
        return;
    raising_ = true;
    // At most raise_limit bytes per turn, so that a backlog (the window thread was
    // held) does not hold off timers, clicks and painting for its whole length.
    qsizetype raised = 0;
    while (!ready_.isEmpty() && raised < raise_limit) { // close() in a handler empties ready_
        LineInputItem &item = ready_.first();
        if (const auto *status = std::get_if<LineStatus>(&item)) {
            const LineStatus kind = *status;
            ready_.removeFirst();
            ++raised;
            count_raised(1);
            Q_EMIT line_status(kind);
            continue;
        }
        const QByteArray &front = std::get<QByteArray>(item);
        const qsizetype size = std::min(front.size() - ready_offset_, raise_limit - raised);
        const QByteArray piece = ready_offset_ == 0 && size == front.size()
                                     ? front
                                     : front.sliced(ready_offset_, size);
        ready_offset_ += size;
        if (ready_offset_ == front.size()) {
            ready_.removeFirst();
            ready_offset_ = 0;
        }
        raised += size;
        count_raised(size);
        Q_EMIT bytes_received(piece);
    }
    raising_ = false;
    if (!ready_.isEmpty()) {
        next_turn_.start();
    } else if (loss_waits_) {
        loss_waits_ = false;
        raise_loss();
    }
}

// Before the signal: a handler may close the line.
void SerialPort::count_raised(qsizetype count)
{
    bool resume = false;
    {
        const QMutexLocker lock(&mutex_);
        backlog_ -= count;
        resume = held_ && backlog_ <= marks_.low;
        if (resume)
            held_ = false;
    }
    if (resume && line_)
        line_->wake();
}

} // namespace kestrune
