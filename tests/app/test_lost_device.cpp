// SPDX-License-Identifier: MIT
// The real program when its device goes away under it, as a USB adapter pulled
// out: the other end of the pty is closed while the line is open.

#include "pty_pair.h"
#include "real_window.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <termios.h>

#include <memory>

using namespace Qt::StringLiterals;
using namespace kestrune::test;

// What the line is doing when the device goes away.
enum class Sending { none, automatically, stuck };
Q_DECLARE_METATYPE(Sending)

class TestLostDevice : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<PortLinks> links_;
    VirtualDisplay display_;
    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<RealWindow> window_;

    // A device appears (again) under the name COM1.
    void plug_in()
    {
        pty_ = std::make_unique<PtyPair>();
        QVERIFY(pty_->is_valid());
        termios raw{};
        QCOMPARE(::tcgetattr(pty_->slave(), &raw), 0);
        ::cfmakeraw(&raw);
        QCOMPARE(::tcsetattr(pty_->slave(), TCSANOW, &raw), 0);
        QVERIFY(links_->bind(1, pty_->slave_path()));
    }

    void click_line_button_and_expect(QStringView caption)
    {
        window_->click(at::串口按钮);
        QTRY_COMPARE_WITH_TIMEOUT(window_->title(), caption, 10000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QVERIFY2(QFile::exists(qEnvironmentVariable("KESTRUNE_BINARY")), "KESTRUNE_BINARY names no program");
        links_ = std::make_unique<PortLinks>();
        QVERIFY2(display_.start(), "Xvfb did not start");
    }
    void cleanupTestCase() { links_.reset(); }

    void init()
    {
        plug_in();
        window_ = std::make_unique<RealWindow>(display_.name());
        QVERIFY2(window_->start(), "the window did not appear");
    }
    void cleanup()
    {
        window_.reset();
        pty_.reset();
    }

    void unplugged_while_open_data()
    {
        QTest::addColumn<Sending>("sending");
        QTest::newRow("open") << Sending::none;
        QTest::newRow("sending automatically") << Sending::automatically;
        QTest::newRow("during a send the far end never reads") << Sending::stuck;
    }
    void unplugged_while_open()
    {
        QFETCH(Sending, sending);
        if (sending == Sending::stuck) {
            // A hundred bytes every millisecond, and nobody reads: the pty fills at
            // once and every later send waits for room.
            window_->click(at::发送文本单选框);
            window_->replace_text(at::发送编辑框, QString(100, u'k'));
            window_->replace_text(at::周期编辑框, u"1"_s);
        } else {
            window_->replace_text(at::发送编辑框, u"55"_s); // HEX mode, period 100 ms
        }
        click_line_button_and_expect(open_caption);
        if (sending == Sending::automatically) {
            window_->click(at::自动按钮);
            QCOMPARE(pty_->read(1, 2000), QByteArray("\x55"));
        }
        if (sending == Sending::stuck) {
            window_->click(at::自动按钮);
            QTest::qWait(1500);
            window_->click(at::发送HEX单选框); // for the send after the device is back
        }
        const int threads = window_->thread_count();

        pty_.reset(); // pulled out
        // Its name goes with it, as /dev/ttyUSB0 does; a pty's name may be taken by
        // the next pty some other program opens.
        QVERIFY(links_->bind(1, links_->missing_device()));
        // The line closes by itself, as a click on the line button closes it, and
        // the receive thread ends instead of spinning on the hang-up.
        QTRY_COMPARE_WITH_TIMEOUT(window_->title(), closed_caption, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(window_->thread_count(), threads - 1, 5000);
        QTest::qWait(500);
        const double cpu_before = window_->cpu_seconds();
        QTest::qWait(2000);
        const double busy = window_->cpu_seconds() - cpu_before;
        QVERIFY2(busy < 0.5, qPrintable(u"%1 s of CPU in 2 s"_s.arg(busy))); // a busy loop takes all 2 s

        // Still usable: the send box takes typing. While the device is away,
        // opening fails and leaves the line closed.
        window_->replace_text(at::发送编辑框, u"41 42"_s);
        window_->click(at::串口按钮);
        QTest::qWait(1000);
        QCOMPARE(window_->title(), closed_caption);

        plug_in(); // back
        click_line_button_and_expect(open_caption);
        window_->click(at::发送按钮);
        QCOMPARE(pty_->read(3, 2000), QByteArray("AB")); // only what was typed meanwhile: no send is left running
        QVERIFY(pty_->write("\x01"));
        QTest::qWait(300);
        const QString path = dir_.filePath(QString::fromLatin1(QTest::currentDataTag()));
        QCOMPARE(window_->save_receive_box(path), QByteArray("01 "));
    }
};

QTEST_GUILESS_MAIN(TestLostDevice)
#include "test_lost_device.moc"
