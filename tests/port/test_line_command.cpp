// SPDX-License-Identifier: MIT
// The click handler of 串口按钮 against a recording window and a real port on a pty.

#include "port/line_command.h"
#include "port/serial_port.h"
#include "pty_pair.h"

#include <QTest>

#include <memory>
#include <termios.h>

using namespace Qt::StringLiterals;
using namespace kestrune;
using namespace kestrune::test;

namespace {

// The window as the command sees it. Each action is recorded with whether the
// line was open at that moment, so the order against the port shows too, and
// " held" while a lead byte is still held, which the click drops before anything.
class RecordingControls : public LineControls
{
public:
    RecordingControls(const SerialPort &watched, const ProgramState &state)
        : port_(watched), state_(state)
    {
    }

    int port = 0;
    QString baud = u"9600"_s;
    int stop = 0;
    int parity = 0;
    QList<Parity> parity_values{Parity::none, Parity::odd, Parity::even};
    QStringList calls;
    QString failure; // the last text given to show_line_trouble

    int port_position() const override { return port; }
    QString baud_text() const override { return baud; }
    int stop_bits_position() const override { return stop; }
    int parity_position() const override { return parity; }
    Parity parity_value(int position) const override { return parity_values.value(position, Parity::none); }

    void stop_send_timer() override { record(u"stop_send_timer"_s); }
    void show_line_state(bool open) override
    {
        record(open ? u"show_line_state(open)"_s : u"show_line_state(closed)"_s);
    }
    void show_line_trouble(const QString &why) override
    {
        record(why.isEmpty() ? u"show_line_trouble()"_s : u"show_line_trouble(why)"_s);
        failure = why;
    }

private:
    void record(const QString &call)
    {
        calls.append(call + (port_.is_open() ? " @open"_L1 : " @closed"_L1)
                     + (state_.lead_byte_pending != 0 ? " held"_L1 : ""_L1));
    }
    const SerialPort &port_;
    const ProgramState &state_;
};

// A lead byte held in a store that has seen a character.
ProgramState state_holding_a_lead_byte()
{
    ProgramState state;
    state.lead_byte_pending = 1;
    state.lead_byte_store = std::array<quint8, 2>{0xB0, 0xA1};
    return state;
}

// What every click does first: a fresh store holding 0 and 0, no lead byte held.
bool lead_byte_dropped(const ProgramState &state)
{
    return state.lead_byte_pending == 0 && state.lead_byte_store == std::array<quint8, 2>{0, 0};
}

} // namespace

class LineCommandTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void open_takes_the_choices_data();
    void open_takes_the_choices();
    void failed_open_shows_the_closed_state_data();
    void failed_open_shows_the_closed_state();
    void close_stops_the_timer_before_the_line();
    void a_lost_device_closes_the_line_as_a_click_does();

private:
    std::unique_ptr<PortLinks> links_;
    std::unique_ptr<PtyPair> pty_;
};

void LineCommandTest::init()
{
    links_ = std::make_unique<PortLinks>();
    pty_ = std::make_unique<PtyPair>();
    QVERIFY(pty_->is_valid());
}

void LineCommandTest::cleanup()
{
    pty_.reset();
    links_.reset();
}

void LineCommandTest::open_takes_the_choices_data()
{
    QTest::addColumn<int>("port_position");
    QTest::addColumn<QString>("baud_text");
    QTest::addColumn<int>("stop_position");
    QTest::addColumn<int>("parity_position");
    QTest::addColumn<int>("parity");       // item value the list holds at that position
    QTest::addColumn<int>("parity_check");

    QTest::newRow("COM1 9600 无校验 1位") << 0 << u"9600"_s << 0 << 0 << 0 << 0;
    QTest::newRow("COM3 14400 奇校验 2位") << 2 << u"14400"_s << 1 << 1 << 1 << 1;
    QTest::newRow("COM6 460800 偶校验 1位") << 5 << u"460800"_s << 0 << 2 << 2 << 1;
}

void LineCommandTest::open_takes_the_choices()
{
    QFETCH(int, port_position);
    QFETCH(QString, baud_text);
    QFETCH(int, stop_position);
    QFETCH(int, parity_position);
    QFETCH(int, parity);
    QFETCH(int, parity_check);

    QVERIFY(links_->bind(port_position + 1, pty_->slave_path()));
    SerialPort port;
    port.set_parity(Parity::odd); // what the first path must overwrite with none
    ProgramState state = state_holding_a_lead_byte();
    RecordingControls controls(port, state);
    controls.port = port_position;
    controls.baud = baud_text;
    controls.stop = stop_position;
    controls.parity = parity_position;
    // A value at position 0 that the open path must not take.
    controls.parity_values = {Parity::even, Parity::odd, Parity::even};
    LineCommand command(controls, port, state);

    command.on_line_button_clicked();

    QCOMPARE(controls.calls, (QStringList{u"show_line_state(open) @open"_s,
                                          u"show_line_trouble() @open"_s}));
    QVERIFY(lead_byte_dropped(state));
    QCOMPARE(state.port_is_open, 1);
    QCOMPARE(port.port_number(), port_position + 1);
    QCOMPARE(port.baud_rate(), baud_text.toInt());
    QCOMPARE(int(port.stop_bits()), stop_position + 1);
    QCOMPARE(port.parity(), Parity(parity));
    QCOMPARE(port.parity_check(), parity_check == 1);

    const LineView line = view_line(pty_->slave());
    QCOMPARE(line.ospeed, baud_text.toUInt());
    QCOMPARE(bool(line.cflag & CSTOPB), stop_position == 1);
    QCOMPARE(bool(line.iflag & INPCK), parity_check == 1);
}

void LineCommandTest::failed_open_shows_the_closed_state_data()
{
    QTest::addColumn<bool>("device_held");
    QTest::newRow("missing device") << false;
    QTest::newRow("device held by another port") << true;
}

void LineCommandTest::failed_open_shows_the_closed_state()
{
    QFETCH(bool, device_held);

    SerialPort holder;
    if (device_held) {
        QVERIFY(links_->bind(1, pty_->slave_path()));
        QVERIFY(holder.open());
    } else {
        QVERIFY(links_->bind(1, links_->missing_device()));
    }
    SerialPort port;
    ProgramState state = state_holding_a_lead_byte();
    RecordingControls controls(port, state);
    LineCommand command(controls, port, state);

    command.on_line_button_clicked();

    QCOMPARE(controls.calls, (QStringList{u"show_line_state(closed) @closed"_s,
                                          u"show_line_trouble(why) @closed"_s}));
    QVERIFY(lead_byte_dropped(state));
    QCOMPARE(controls.failure, port.open_failure());
    QCOMPARE(state.port_is_open, 0);

    // The next click tries again: the open path, not the close path.
    holder.close();
    QVERIFY(links_->bind(1, pty_->slave_path()));
    controls.calls.clear();
    command.on_line_button_clicked();
    QCOMPARE(controls.calls.value(0), u"show_line_state(open) @open"_s);
    QCOMPARE(state.port_is_open, 1);
}

void LineCommandTest::close_stops_the_timer_before_the_line()
{
    QVERIFY(links_->bind(1, pty_->slave_path()));
    SerialPort port;
    ProgramState state;
    RecordingControls controls(port, state);
    LineCommand command(controls, port, state);
    command.on_line_button_clicked();
    QCOMPARE(state.port_is_open, 1);
    controls.calls.clear();
    state = state_holding_a_lead_byte();
    state.port_is_open = 1;

    command.on_line_button_clicked();

    QCOMPARE(controls.calls, (QStringList{u"stop_send_timer @open"_s,
                                          u"show_line_state(closed) @open"_s}));
    QVERIFY(lead_byte_dropped(state));
    QVERIFY(!port.is_open());
    QCOMPARE(state.port_is_open, 0);
}

void LineCommandTest::a_lost_device_closes_the_line_as_a_click_does()
{
    QVERIFY(links_->bind(1, pty_->slave_path()));
    SerialPort port;
    ProgramState state;
    RecordingControls controls(port, state);
    LineCommand command(controls, port, state);
    QObject::connect(&port, &SerialPort::device_lost, &port,
                     [&command](const QString &why) { command.on_device_lost(why); });
    command.on_line_button_clicked();
    QCOMPARE(state.port_is_open, 1);
    controls.calls.clear();
    state.lead_byte_pending = 1;

    pty_->close_master(); // pulled out

    // The close path, the held lead byte dropped first, then the reason in the
    // tooltip, which stays for the closed line.
    QTRY_COMPARE(state.port_is_open, 0);
    QCOMPARE(controls.calls, (QStringList{u"stop_send_timer @open"_s,
                                          u"show_line_state(closed) @open"_s,
                                          u"show_line_trouble(why) @closed"_s}));
    QVERIFY(lead_byte_dropped(state));
    QVERIFY(!port.is_open());
    QVERIFY2(controls.failure.contains(u"断开"_s), qPrintable(controls.failure));
}

QTEST_GUILESS_MAIN(LineCommandTest)
#include "test_line_command.moc"
