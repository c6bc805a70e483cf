// SPDX-License-Identifier: MIT
// The real program on a virtual X display, driven with xdotool, against a pty pair
// bound to COM1: open the line, receive, save through the real dialog, send typed
// text and HEX, send automatically, close the line and the window, also while a
// send is stuck behind a far end that never reads, and find the device with the
// settings it had before.

#include "far_end.h"
#include "pty_pair.h"
#include "real_window.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRect>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <csignal>
#include <termios.h>
#include <unistd.h>

#include <memory>

using namespace Qt::StringLiterals;
using namespace kestrune::test;

// Ends a stuck send as the user would: the close box, a stop signal or the line button.
enum class Ending { close_box, sigterm, sigint, sighup, line_button };
Q_DECLARE_METATYPE(Ending)

class TestEndToEnd : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<PortLinks> links_;
    std::unique_ptr<PtyPair> pty_;
    VirtualDisplay display_;
    std::unique_ptr<RealWindow> window_;

    void open_line()
    {
        window_->click(at::串口按钮);
        QTRY_COMPARE_WITH_TIMEOUT(window_->title(), open_caption, 10000);
    }

    // The window's frame on the screen, from the frame extents the window manager set.
    static QRect frame_geometry(const QString &display, const QString &window_id)
    {
        Display *x = XOpenDisplay(display.toLatin1().constData());
        if (!x)
            return {};
        const Window window = Window(window_id.toULong());
        QRect frame;
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long left_over = 0;
        unsigned char *data = nullptr;
        XWindowAttributes attributes{};
        Window child = 0;
        int left = 0;
        int top = 0;
        if (XGetWindowProperty(x, window, XInternAtom(x, "_NET_FRAME_EXTENTS", False), 0, 4, False, XA_CARDINAL,
                               &type, &format, &count, &left_over, &data) == Success
            && count == 4 && XGetWindowAttributes(x, window, &attributes)
            && XTranslateCoordinates(x, window, attributes.root, 0, 0, &left, &top, &child)) {
            const long *extents = reinterpret_cast<const long *>(data); // left, right, top, bottom
            frame = QRect(left - int(extents[0]), top - int(extents[2]),
                          attributes.width + int(extents[0] + extents[1]),
                          attributes.height + int(extents[2] + extents[3]));
        }
        if (data)
            XFree(data);
        XCloseDisplay(x);
        return frame;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QVERIFY2(QFile::exists(qEnvironmentVariable("KESTRUNE_BINARY")), "KESTRUNE_BINARY names no program");
        links_ = std::make_unique<PortLinks>();
        pty_ = std::make_unique<PtyPair>();
        QVERIFY(pty_->is_valid());
        termios raw{};
        QCOMPARE(::tcgetattr(pty_->slave(), &raw), 0);
        ::cfmakeraw(&raw); // no echo of what is written before the program opens the line
        QCOMPARE(::tcsetattr(pty_->slave(), TCSANOW, &raw), 0);
        QVERIFY(links_->bind(1, pty_->slave_path()));

        QVERIFY2(display_.start(), "Xvfb did not start");
        window_ = std::make_unique<RealWindow>(display_.name());
        QVERIFY2(window_->start(), "the window did not appear");
    }

    void cleanupTestCase()
    {
        window_.reset();
        pty_.reset();
        links_.reset();
    }

    void opens_centred_and_closed()
    {
        QCOMPARE(window_->title(), closed_caption);
        const QString geometry = RealWindow::xdotool(display_.name(), {u"getwindowgeometry"_s, window_->window_id()});
        QVERIFY2(geometry.contains(u"Position: 219,124"_s), qPrintable(geometry)); // (1280-842)/2, (800-552)/2
        QVERIFY2(geometry.contains(u"Geometry: 842x552"_s), qPrintable(geometry));
    }

    void received_bytes_are_saved_as_hex()
    {
        // Bytes that reach the device before the open are never shown.
        QVERIFY(pty_->write("zz"));
        QTest::qWait(200);
        open_line();
        QVERIFY(pty_->write("OK\r\n\xff"));
        QTest::qWait(500);
        QCOMPARE(window_->save_receive_box(dir_.filePath(u"hex"_s)), QByteArray("4F 4B 0D 0A FF "));
    }

    void text_mode_assembles_gbk_characters_across_reads()
    {
        window_->click(at::清空接收按钮);
        window_->click(at::接收文本单选框);
        // 中文 in GBK, the first character split between two writes.
        QVERIFY(pty_->write("ok \xD6"));
        QTest::qWait(300);
        QVERIFY(pty_->write("\xD0\xCE\xC4\r\n"));
        QTest::qWait(500);
        QCOMPARE(window_->save_receive_box(dir_.filePath(u"text"_s)), QByteArray("ok \xD6\xD0\xCE\xC4\r\n"));
        window_->click(at::接收HEX单选框);
    }

    void typed_text_and_hex_reach_the_line_data()
    {
        QTest::addColumn<QRect>("mode");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("text") << at::发送文本单选框 << u"hi 1"_s << QByteArray("hi 1");
        QTest::newRow("text in GBK") << at::发送文本单选框 << u"发送"_s << QByteArray("\xB7\xA2\xCB\xCD");
        QTest::newRow("hex") << at::发送HEX单选框 << u"41 42 0d"_s << QByteArray("AB\r");
    }
    void typed_text_and_hex_reach_the_line()
    {
        QFETCH(QRect, mode);
        QFETCH(QString, typed);
        QFETCH(QByteArray, bytes);
        window_->click(mode);
        window_->replace_text(at::发送编辑框, typed);
        window_->click(at::发送按钮);
        QCOMPARE(pty_->read(bytes.size() + 1, 2000), bytes);
    }

    void automatic_sending_repeats_until_stopped()
    {
        // The send box still holds "41 42 0d" in HEX mode; the period is 100 ms.
        window_->click(at::自动按钮);
        QTest::qWait(1000);
        window_->click(at::自动按钮);
        const QByteArray sent = pty_->read(1 << 20, 500);
        QVERIFY2(sent.size() >= 3 * 4, sent.constData()); // about ten sends in a second
        QCOMPARE(sent, QByteArray("AB\r").repeated(sent.size() / 3));
        QTest::qWait(300);
        QCOMPARE(pty_->read(1, 300), QByteArray()); // stopped
        // The send button is back: one more click sends once.
        window_->click(at::发送按钮);
        QCOMPARE(pty_->read(4, 2000), QByteArray("AB\r"));
    }

    void closing_the_line_frees_the_device_at_once()
    {
        window_->click(at::串口按钮);
        QTRY_COMPARE_WITH_TIMEOUT(window_->title(), closed_caption, 10000);
        const QString taken = device_taken(pty_->slave_path());
        QVERIFY2(taken.isEmpty(), qPrintable(taken));
    }

    void with_a_window_manager_the_whole_frame_is_842_by_552_and_centred()
    {
        const QString openbox = QStandardPaths::findExecutable(u"openbox"_s);
        QVERIFY2(!openbox.isEmpty(), "openbox is not installed (scripts/setup installs it)");
        VirtualDisplay display;
        QVERIFY2(display.start(), "Xvfb did not start");
        QProcess window_manager;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_s, display.name());
        window_manager.setProcessEnvironment(env);
        window_manager.start(openbox, {});
        QVERIFY(window_manager.waitForStarted());
        QTest::qWait(1000); // the window manager takes over the screen
        {
            RealWindow window(display.name());
            QVERIFY2(window.start(), "the window did not appear");
            // (1280 - 842) / 2, (800 - 552) / 2
            QTRY_COMPARE_WITH_TIMEOUT(frame_geometry(display.name(), window.window_id()), QRect(219, 124, 842, 552),
                                      10000);
        }
        window_manager.kill();
        window_manager.waitForFinished();
    }

    void closing_the_window_while_sending_automatically_ends_the_program_and_frees_the_device()
    {
        open_line();
        window_->click(at::自动按钮);
        QVERIFY(!pty_->read(3, 2000).isEmpty());
        window_->close();
        QVERIFY(window_->program().waitForFinished(10000));
        QCOMPARE(window_->program().exitStatus(), QProcess::NormalExit);
        QCOMPARE(window_->program().exitCode(), 0);
        const QString taken = device_taken(pty_->slave_path());
        QVERIFY2(taken.isEmpty(), qPrintable(taken));
    }

    void a_stuck_send_holds_nothing_up_data()
    {
        QTest::addColumn<Ending>("ending");
        QTest::newRow("close box") << Ending::close_box;
        QTest::newRow("SIGTERM") << Ending::sigterm;
        QTest::newRow("SIGINT") << Ending::sigint;
        QTest::newRow("SIGHUP") << Ending::sighup;
        QTest::newRow("line button") << Ending::line_button;
    }
    void a_stuck_send_holds_nothing_up()
    {
        QFETCH(Ending, ending);
        window_.reset(); // clicks go to the top window at a place: this one alone
        pty_->drain();
        RealWindow window(display_.name());
        QVERIFY2(window.start(), "the window did not appear");
        // A far end that never reads, as a board halted in a debugger: a hundred
        // bytes every millisecond fill the pty at once, and every later byte waits.
        window.click(at::发送文本单选框);
        const QByteArray box = QByteArray("0123456789").repeated(10);
        window.replace_text(at::发送编辑框, QString::fromLatin1(box));
        window.replace_text(at::周期编辑框, u"1"_s);
        window.click(at::串口按钮);
        QTRY_COMPARE_WITH_TIMEOUT(window.title(), open_caption, 10000);
        window.click(at::自动按钮);
        QTest::qWait(1500);

        // The window keeps answering: it shows what arrives and saves it through the dialog.
        QVERIFY(pty_->write("\x07"));
        QTest::qWait(300);
        const QString path = dir_.filePath(u"stuck-"_s + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-'));
        QCOMPARE(window.save_receive_box(path), QByteArray("07 "));

        const auto pid = pid_t(window.program().processId());
        QElapsedTimer clock;
        clock.start();
        switch (ending) {
        case Ending::close_box:
            window.close();
            break;
        case Ending::sigterm:
            QCOMPARE(::kill(pid, SIGTERM), 0);
            break;
        case Ending::sigint:
            QCOMPARE(::kill(pid, SIGINT), 0);
            break;
        case Ending::sighup:
            QCOMPARE(::kill(pid, SIGHUP), 0);
            break;
        case Ending::line_button:
            window.click(at::串口按钮);
            QTRY_COMPARE_WITH_TIMEOUT(window.title(), closed_caption, 1000);
            break;
        }
        if (ending != Ending::line_button) {
            QVERIFY(window.program().waitForFinished(10000));
            QVERIFY2(clock.elapsed() < 1000, qPrintable(u"ended after %1 ms"_s.arg(clock.elapsed())));
            QCOMPARE(window.program().exitStatus(), QProcess::NormalExit);
            QCOMPARE(window.program().exitCode(), 0);
        }
        const QString taken = device_taken(pty_->slave_path());
        QVERIFY2(taken.isEmpty(), qPrintable(taken));
        // What the far end finds is sends whole or cut short, each from its start: no hole.
        const QByteArray got = pty_->read(1 << 20, 300);
        QVERIFY2(got.size() >= 4096, qPrintable(QString::number(got.size()))); // the pty was full
        QVERIFY(first_parts(got, box) > 0);
    }

    void a_stop_signal_ends_the_program_as_closing_the_window_does_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("dialog_up");
        QTest::newRow("SIGTERM") << SIGTERM << false;
        QTest::newRow("SIGINT") << SIGINT << false;
        QTest::newRow("SIGHUP") << SIGHUP << false;
        QTest::newRow("SIGTERM with the save dialog up") << SIGTERM << true;
    }
    void a_stop_signal_ends_the_program_as_closing_the_window_does()
    {
        QFETCH(int, signal);
        QFETCH(bool, dialog_up);
        RealWindow window(display_.name());
        QVERIFY2(window.start(), "the window did not appear");
        window.click(at::串口按钮);
        QTRY_COMPARE_WITH_TIMEOUT(window.title(), open_caption, 10000);
        window.click(at::自动按钮); // the send box is empty: the line stays quiet
        if (dialog_up) {
            window.click(at::保存接收按钮);
            QTest::qWait(1500);
        }
        QCOMPARE(::kill(pid_t(window.program().processId()), signal), 0);
        QVERIFY(window.program().waitForFinished(10000));
        QCOMPARE(window.program().exitStatus(), QProcess::NormalExit);
        QCOMPARE(window.program().exitCode(), 0);
        const QString taken = device_taken(pty_->slave_path());
        QVERIFY2(taken.isEmpty(), qPrintable(taken));
    }

    void the_device_gets_its_settings_back_data()
    {
        QTest::addColumn<int>("signal"); // 0 for the window's close box
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("close box") << 0;
    }
    void the_device_gets_its_settings_back()
    {
        QFETCH(int, signal);
        QVERIFY(spoil_line(pty_->slave()));
        const QString before = describe(view_line(pty_->slave()));
        {
            RealWindow window(display_.name());
            QVERIFY2(window.start(), "the window did not appear");
            window.click(at::串口按钮);
            QTRY_COMPARE_WITH_TIMEOUT(window.title(), open_caption, 10000);
            QVERIFY(describe(view_line(pty_->slave())) != before);
            if (signal != 0)
                QCOMPARE(::kill(pid_t(window.program().processId()), signal), 0);
            else
                window.close();
            QVERIFY(window.program().waitForFinished(10000));
            QCOMPARE(window.program().exitStatus(), QProcess::NormalExit);
        }
        QCOMPARE(describe(view_line(pty_->slave())), before);

        termios raw{};
        QCOMPARE(::tcgetattr(pty_->slave(), &raw), 0);
        ::cfmakeraw(&raw);
        QCOMPARE(::tcsetattr(pty_->slave(), TCSANOW, &raw), 0);
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "test_end_to_end.moc"
