// SPDX-License-Identifier: MIT
// The program as a whole, offscreen: the real window and handlers over a pty pair
// bound to COM1, driven by clicks on controls found by object name.

#include "program_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace kestrune;

class TestProgram : public QObject, kestrune::test::ProgramFixture
{
    Q_OBJECT

    void open_line()
    {
        click("串口按钮");
        QCOMPARE(window().windowTitle(), u"Kestrune  状态:开启"_s);
    }

    // Opens the line, sends "55 AA" (two bytes in HEX mode) and receives three bytes.
    void open_line_and_count_both_ways()
    {
        open_line();
        control<QPlainTextEdit>("发送编辑框")->setPlainText(u"55 AA"_s);
        click("发送按钮");
        QVERIFY(pty_->write("\x10\x20\x30"));
        QTRY_COMPARE(count("接收数编辑框"), u"3"_s);
        QTRY_COMPARE(count("发送数编辑框"), u"2"_s);
    }

private Q_SLOTS:
    void initTestCase() { make_links(); }
    void cleanupTestCase() { drop_links(); }
    void init() { start_program(); }
    void cleanup() { end_program(); }

    void line_states_data()
    {
        QTest::addColumn<int>("port");     // position in 串口组合框
        QTest::addColumn<int>("clicks");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("send_enabled");
        QTest::addColumn<bool>("auto_enabled");
        QTest::newRow("open") << 0 << 1 << u"Kestrune  状态:开启"_s << u"关闭串口"_s << true << true;
        QTest::newRow("closed again") << 0 << 2 << u"Kestrune  状态:关闭"_s << u"开启串口"_s << false << false;
        QTest::newRow("missing device") << 1 << 1 << u"Kestrune  状态:关闭"_s << u"开启串口"_s << false << false;
    }
    void line_states()
    {
        QFETCH(int, port);
        QFETCH(int, clicks);
        control<QComboBox>("串口组合框")->setCurrentIndex(port);
        for (int i = 0; i < clicks; ++i)
            click("串口按钮");
        QTEST(window().windowTitle(), "caption");
        QTEST(control("串口按钮")->text(), "button");
        QTEST(control("发送按钮")->isEnabled(), "send_enabled");
        QTEST(control("自动按钮")->isEnabled(), "auto_enabled");
        QCOMPARE(control("自动按钮")->text(), u"自动发送"_s);
        QCOMPARE(state().port_is_open, window().windowTitle().endsWith(u"开启"_s) ? 1 : 0);
    }

    void a_device_held_elsewhere_fails_to_open()
    {
        RunningProgram other;
        QTest::mouseClick(other.window().串口按钮, Qt::LeftButton);
        QCOMPARE(other.window().windowTitle(), u"Kestrune  状态:开启"_s);

        click("串口按钮");
        QCOMPARE(window().windowTitle(), u"Kestrune  状态:关闭"_s);
        QCOMPARE(control("串口按钮")->text(), u"开启串口"_s);
        QVERIFY(!control("串口按钮")->toolTip().isEmpty());
    }

    void the_line_button_says_when_the_device_went_away()
    {
        open_line();
        QVERIFY(control("串口按钮")->toolTip().isEmpty());
        pty_->close_master(); // pulled out
        QTRY_VERIFY(control("串口按钮")->toolTip().contains(u"断开"_s));
        // Closed as a click closes it; the tooltip keeps saying why.
        QCOMPARE(window().windowTitle(), u"Kestrune  状态:关闭"_s);
        QCOMPARE(control("串口按钮")->text(), u"开启串口"_s);
        QVERIFY(!control("发送按钮")->isEnabled());
        QVERIFY(!control("自动按钮")->isEnabled());
        QCOMPARE(state().port_is_open, 0);
        QTest::qWait(100);
        QVERIFY(control("串口按钮")->toolTip().contains(u"断开"_s));
    }

    void sends_the_box_in_either_mode_data()
    {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("hex") << true << u"41 42\n0d"_s << QByteArray("AB\r");
        QTest::newRow("text") << false << u"发\n送"_s << QByteArray("\xB7\xA2\r\n\xCB\xCD");
        QTest::newRow("empty") << false << QString() << QByteArray();
    }
    void sends_the_box_in_either_mode()
    {
        QFETCH(bool, hex);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        open_line();
        click(hex ? "发送HEX单选框" : "发送文本单选框");
        control<QPlainTextEdit>("发送编辑框")->setPlainText(text);
        click("发送按钮");
        QTRY_COMPARE(count("发送数编辑框"), QString::number(bytes.size()));
        QCOMPARE(pty_->read(bytes.size()), bytes);
        QCOMPARE(pty_->read(1, 100), QByteArray());
    }

    void shows_and_counts_received_bytes()
    {
        open_line();
        QVERIFY(pty_->write("\x01\xAB"));
        QTRY_COMPARE(count("接收数编辑框"), u"2"_s);
        QCOMPARE(received_text(), u"01 AB "_s);

        click("接收文本单选框");
        QVERIFY(pty_->write("OK\r\n\xD6\xD0"));
        QTRY_COMPARE(count("接收数编辑框"), u"8"_s);
        QCOMPARE(received_text(), u"01 AB OK\r\n中"_s);
    }

    void a_click_of_the_line_button_drops_a_held_lead_byte()
    {
        click("接收文本单选框");
        open_line();
        QVERIFY(pty_->write("\xD6"));
        QTRY_COMPARE(count("接收数编辑框"), u"1"_s);
        click("串口按钮");
        open_line();
        QVERIFY(pty_->write("A"));
        QTRY_COMPARE(count("接收数编辑框"), u"2"_s);
        QCOMPARE(received_text(), u"A"_s);
    }

    void clearing_keeps_a_held_lead_byte_and_the_counts()
    {
        click("接收文本单选框");
        open_line();
        QVERIFY(pty_->write("xy\xD6"));
        QTRY_COMPARE(count("接收数编辑框"), u"3"_s);
        click("清空接收按钮");
        QCOMPARE(received_text(), QString());
        QCOMPARE(count("接收数编辑框"), u"3"_s);
        QVERIFY(pty_->write("\xD0"));
        QTRY_COMPARE(received_text(), u"中"_s);
    }

    // The three housekeeping buttons work alike whatever the line does.
    void housekeeping_in_every_state_data()
    {
        QTest::addColumn<int>("state"); // 0 closed, 1 open, 2 automatic sending
        QTest::newRow("closed") << 0;
        QTest::newRow("open") << 1;
        QTest::newRow("automatic sending") << 2;
    }
    void housekeeping_in_every_state()
    {
        QFETCH(int, state);
        open_line_and_count_both_ways();
        if (state == 0)
            click("串口按钮");
        if (state == 2) {
            control<QLineEdit>("周期编辑框")->setText(QString()); // on, but no tick ever
            click("自动按钮");
        }
        const QString caption = window().windowTitle();

        click("清零按钮");
        QCOMPARE(count("接收数编辑框"), u"0"_s);
        QCOMPARE(count("发送数编辑框"), u"0"_s);
        QCOMPARE(received_text(), u"10 20 30 "_s);
        QCOMPARE(control<QPlainTextEdit>("发送编辑框")->toPlainText(), u"55 AA"_s);

        click("清空发送按钮");
        QCOMPARE(control<QPlainTextEdit>("发送编辑框")->toPlainText(), QString());
        QCOMPARE(received_text(), u"10 20 30 "_s);
        click("清空接收按钮");
        QCOMPARE(received_text(), QString());
        QCOMPARE(count("接收数编辑框"), u"0"_s);
        QCOMPARE(window().windowTitle(), caption);
        QCOMPARE(control("发送按钮")->isEnabled(), state == 1);

        if (state != 0) {
            QVERIFY(pty_->write("\x41"));
            QTRY_COMPARE(count("接收数编辑框"), u"1"_s);
            QCOMPARE(received_text(), u"41 "_s);
        }
    }

    // After 清零 both counts go on from 0, not from the totals before it.
    void both_counts_go_on_from_zero()
    {
        open_line_and_count_both_ways();

        click("清零按钮");
        control<QPlainTextEdit>("发送编辑框")->setPlainText(u"7E"_s);
        click("发送按钮");
        QTRY_COMPARE(count("发送数编辑框"), u"1"_s);
        QVERIFY(pty_->write("\x41"));
        QTRY_COMPARE(count("接收数编辑框"), u"1"_s);
        QCOMPARE(pty_->read(3), QByteArray("\x55\xAA\x7E"));
    }

    void closing_during_automatic_sending_stops_the_bytes_at_the_click()
    {
        open_line();
        control<QPlainTextEdit>("发送编辑框")->setPlainText(u"5A"_s);
        control<QLineEdit>("周期编辑框")->setText(u"10"_s);
        click("自动按钮");
        QCOMPARE(control("自动按钮")->text(), u"关闭发送"_s);
        QVERIFY(!control("发送按钮")->isEnabled());
        QTRY_VERIFY(count("发送数编辑框").toInt() >= 3);
        click("串口按钮");
        const QString sent = count("发送数编辑框");
        QCOMPARE(pty_->read(sent.toInt()).size(), sent.toInt());
        QCOMPARE(control("自动按钮")->text(), u"自动发送"_s);
        QTest::qWait(200);
        QCOMPARE(pty_->read(1, 100), QByteArray());
        QCOMPARE(count("发送数编辑框"), sent);
    }

    void bytes_go_on_arriving_while_the_save_dialog_is_shown()
    {
        open_line();
        QVERIFY(pty_->write("\x01"));
        QTRY_COMPARE(count("接收数编辑框"), u"1"_s);
        const QString path = files_.filePath(u"during-dialog"_s);
        bool answered = false;
        QTimer::singleShot(0, &window(), [&] {
            QFileDialog *dialog = nullptr;
            QTRY_VERIFY(dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget()));
            QVERIFY(pty_->write("\x02\x03"));
            QTRY_COMPARE(count("接收数编辑框"), u"3"_s);
            type_name_and_confirm(dialog, path);
            answered = true;
        });
        click("保存接收按钮");
        QVERIFY(answered);
        QFile saved(path + u".txt"_s);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("01 02 03 "));
    }

    void the_send_box_saves_as_gbk_with_cr_lf()
    {
        control<QPlainTextEdit>("发送编辑框")->setPlainText(u"发送\nA"_s);
        const QString path = files_.filePath(u"send.txt"_s);
        QTimer::singleShot(0, &window(), [&] {
            QFileDialog *dialog = nullptr;
            QTRY_VERIFY(dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget()));
            type_name_and_confirm(dialog, path);
        });
        click("保存发送按钮");
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("\xB7\xA2\xCB\xCD\r\nA"));
    }

    void the_exit_step_releases_the_lead_byte_store()
    {
        open_line(); // the click made a store
        QVERIFY(state().lead_byte_store);
        on_program_exit(state());
        QVERIFY(!state().lead_byte_store);
    }

    void closing_the_window_with_the_line_open_frees_the_device()
    {
        open_line();
        window().close();
        program_.reset(); // as main does once the event loop has ended
        const int fd = ::open(pty_->slave_path().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        ::close(fd);

        RunningProgram next;
        QTest::mouseClick(next.window().串口按钮, Qt::LeftButton);
        QCOMPARE(next.window().windowTitle(), u"Kestrune  状态:开启"_s);
    }
};

QTEST_MAIN(TestProgram)
#include "test_program.moc"
