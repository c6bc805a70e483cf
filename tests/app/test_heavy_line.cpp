// SPDX-License-Identifier: MIT
// The whole program, offscreen, under a heavy line: nothing received may be lost
// or changed during a long send or while a modal dialog is up,
// and random bytes in text mode are shown and counted like any others.

#include "history/byte_display.h"
#include "program_fixture.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <atomic>
#include <thread>

using namespace Qt::StringLiterals;
using namespace kestrune;

namespace {

// Every byte value, in an order that is no simple pattern (xorshift).
QByteArray noise(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        byte = char(seed >> 24);
    }
    return bytes;
}

QByteArray hex_text(QByteArrayView bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    QByteArray text(bytes.size() * 3, Qt::Uninitialized);
    char *out = text.data();
    for (const char byte : bytes) {
        *out++ = digits[quint8(byte) >> 4];
        *out++ = digits[quint8(byte) & 15];
        *out++ = ' ';
    }
    return text;
}

// Where two long texts part, for a failure message that can be read.
QByteArray first_difference(QByteArrayView actual, QByteArrayView expected)
{
    qsizetype at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    return "sizes " + QByteArray::number(actual.size()) + " and " + QByteArray::number(expected.size())
           + ", first difference at " + QByteArray::number(at);
}

} // namespace

class TestHeavyLine : public QObject, kestrune::test::ProgramFixture
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { make_links(); }
    void cleanupTestCase() { drop_links(); }
    void init()
    {
        start_program();
        if (QTest::currentTestFailed())
            return;
        click("串口按钮");
        QCOMPARE(window().windowTitle(), u"Kestrune  状态:开启"_s);
    }
    void cleanup() { end_program(); }

    void nothing_is_lost_during_a_long_send_and_an_open_dialog()
    {
        constexpr qsizetype fed_size = 50'000'000;
        const QByteArray fed = noise(fed_size, 2463534242u);

        // A 1 MB text send: lines of 63 characters, sent with CR LF.
        QByteArray line(63, 'x');
        for (qsizetype i = 0; i < line.size(); ++i)
            line[i] = char('0' + i % 43);
        const QByteArray send_text = QByteArray(line + '\n').repeated(1 << 14).chopped(1);
        QByteArray to_send = send_text;
        to_send.replace('\n', "\r\n");
        click("发送文本单选框");
        control<QPlainTextEdit>("发送编辑框")->setPlainText(QString::fromLatin1(send_text));

        // The far end: reads what is sent, and feeds half the bytes during the send
        // and the other half once the save dialog is up.
        std::atomic<bool> dialog_up = false;
        bool fed_all = false;
        QByteArray sent;
        std::thread reader([&] { sent = pty_->read(to_send.size(), 15000); });
        std::thread feeder([&] {
            const qsizetype half = fed_size / 2;
            bool ok = pty_->write(QByteArrayView(fed).first(half));
            while (!dialog_up)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            fed_all = ok && pty_->write(QByteArrayView(fed).sliced(half));
        });

        click("发送按钮"); // the bytes leave while the window receives
        QTRY_COMPARE_WITH_TIMEOUT(count("发送数编辑框"), QString::number(to_send.size()), 60000);

        const QString path = files_.filePath(u"load"_s);
        QTimer::singleShot(0, &window(), [&] {
            QFileDialog *dialog = nullptr;
            QTRY_VERIFY(dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget()));
            dialog_up = true;
            QTest::qWait(3000);
            QTRY_COMPARE_WITH_TIMEOUT(count("接收数编辑框"), QString::number(fed_size), 120000);
            type_name_and_confirm(dialog, path);
        });
        click("保存接收按钮");
        dialog_up = true; // lets the feeder end even if the dialog never showed
        feeder.join();
        reader.join();
        QVERIFY(fed_all);
        QVERIFY2(sent == to_send, first_difference(sent, to_send).constData());
        QCOMPARE(pty_->read(1, 200), QByteArray());

        QFile saved(path + u".txt"_s);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray file = saved.readAll();
        const QByteArray expected = hex_text(fed);
        QVERIFY2(file == expected, first_difference(file, expected).constData());
        QCOMPARE(count("接收数编辑框"), QString::number(fed_size));
    }

    void random_bytes_in_text_mode_are_shown_and_counted()
    {
        constexpr qsizetype fed_size = 10'000'000;
        const QByteArray fed = noise(fed_size, 88172645u);
        click("接收文本单选框");
        QVERIFY(pty_->write(fed));
        QTRY_COMPARE_WITH_TIMEOUT(count("接收数编辑框"), QString::number(fed_size), 120000);

        // However the line cut the bytes into reads, the box shows what decoding
        // them in one piece shows.
        int pending = 0;
        LeadByteStore store = std::array<quint8, 2>{};
        QString expected;
        append_text_display(fed, pending, store, expected);
        const QString shown = control<ReceiveBox>("接收编辑框")->text();
        QVERIFY2(shown == expected, first_difference(shown.toUtf8(), expected.toUtf8()).constData());

        // And the program goes on working.
        click("发送HEX单选框");
        control<QPlainTextEdit>("发送编辑框")->setPlainText(u"4F 4B"_s);
        click("发送按钮");
        QTRY_COMPARE(count("发送数编辑框"), u"2"_s);
        QCOMPARE(pty_->read(3, 2000), QByteArray("OK"));
    }
};

QTEST_MAIN(TestHeavyLine)
#include "test_heavy_line.moc"
