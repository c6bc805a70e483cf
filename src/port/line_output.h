// SPDX-License-Identifier: MIT
#pragma once
// The output side of an open line: sends written in the order they were handed
// over, one write of one byte at a time, as the driver takes them. It runs on
// the event loop of its thread and never waits there: while the output is full
// it only watches for room.

#include "port/platform.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <deque>

namespace kestrune {

class LineOutput : public QObject
{
    Q_OBJECT

public:
    // A byte the line does not take within `timeout_ms` ends its send.
    LineOutput(platform::Line &line, int timeout_ms, QObject *parent = nullptr);

    // Queues one send behind the others; returns at once.
    void add(QByteArray bytes);
    // A send is being written.
    bool busy() const { return !sends_.empty(); }
    // Sends queued behind the one being written.
    int waiting() const { return sends_.empty() ? 0 : int(sends_.size()) - 1; }
    // Bytes written and not yet reported by `written`; they count as reported now.
    qint64 take_unreported();

    // Longest the event loop is held by one turn of writing, in milliseconds.
    static constexpr int turn_ms = 4;
    // Reports of `written` come at most this often, in milliseconds: once a frame.
    static constexpr int report_ms = 16;
    // While the output is full, how often it is tried again, in milliseconds: a
    // pty frees room in small pieces but signals it only in large ones.
    static constexpr int retry_ms = 20;

Q_SIGNALS:
    // Bytes the line took since the last report.
    void written(qint64 count);

private:
    void write_some();
    void end_stalled_send();
    void report();

    platform::Line &line_;
    std::deque<QByteArray> sends_; // front is the one being written
    qsizetype offset_ = 0;         // bytes of the front send already written
    qint64 unreported_ = 0;
    QSocketNotifier room_;          // the output has room again
    QTimer retry_{this};            // tries the output again while it seems full
    QTimer stall_{this};            // runs while the current byte waits for room
    QTimer report_turn_{this};      // the next report of `written`
};

} // namespace kestrune
