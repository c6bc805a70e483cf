// SPDX-License-Identifier: MIT
// The receive box over a history that lives mostly in a temporary file: what
// the user does with it works as with one in memory, and when the file fails
// the box goes on in memory and says so.

#include "gbk_written.h"
#include "file_size_limit.h"
#include "history/text_store.h"
#include "receive/receive_box.h"
#include "text/gbk.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using kestrune::test::gbk_written;
using kestrune::test::FileSizeLimit;
using kestrune::FileHistory;
using kestrune::ReceiveBox;
using kestrune::TextStore;

namespace {

// More characters than the history keeps in memory.
constexpr qint64 spilled_chars = 6 * TextStore::resident_chunks * TextStore::chunk_capacity;

QString hex_capture(qint64 chars)
{
    QString text;
    text.reserve(chars + 3);
    for (qint64 i = 0; text.size() < chars; ++i)
        text += QString::number((i * 7 + i / 251) & 0xFF, 16).toUpper().rightJustified(2, u'0') + u' ';
    return text;
}

// The box in a window at its size, its history in folders.
struct Window {
    QWidget window;
    ReceiveBox *box;

    explicit Window(const QStringList &folders)
        : box(new ReceiveBox(std::make_unique<FileHistory>(folders), &window))
    {
        box->setGeometry(11, 22, 296, 368);
        window.resize(340, 440);
        window.show();
        box->setFocus();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    // Data arriving in pieces as from the line.
    void receive(const QString &text)
    {
        for (qsizetype at = 0; at < text.size(); at += 3 * 4096)
            box->append_to_receive_box(QStringView(text).sliced(at, std::min<qsizetype>(3 * 4096, text.size() - at)));
        QTRY_VERIFY_WITH_TIMEOUT(box->wrapping_done(), 20000);
    }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { QTest::keyClick(box, key, modifiers); }
};

} // namespace

class TestReceiveBoxHistory : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Selecting from the top with the keys and copying brings back what is on file.
    void select_and_copy_from_the_file()
    {
        QTemporaryDir folder;
        Window w({folder.path()});
        const QString text = hex_capture(spilled_chars);
        w.receive(text);
        QVERIFY(w.box->disk_bytes() > spilled_chars / 2);
        QVERIFY(w.box->toolTip().isEmpty());

        w.key(Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(w.box->verticalScrollBar()->value(), 0);
        for (int i = 0; i < 40; ++i)
            w.key(Qt::Key_PageDown, Qt::ShiftModifier);
        w.key(Qt::Key_End, Qt::ShiftModifier);
        const qint64 end = w.box->caret_position();
        QVERIFY(end > 40 * 20 * 30);
        w.key(Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), text.left(end));

        // Across chunk boundaries deep in the history.
        const qint64 from = 5 * TextStore::chunk_capacity - 7;
        w.box->set_selection(from, from + 3 * TextStore::chunk_capacity + 11);
        w.box->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), text.mid(from, 3 * TextStore::chunk_capacity + 11));
    }

    // Typing, deleting and undoing at the top of a history mostly on file; data
    // keeps arriving at the end meanwhile; the save holds every character.
    void edit_and_undo_on_file()
    {
        QTemporaryDir folder;
        Window w({folder.path()});
        QString reference = hex_capture(spilled_chars);
        w.receive(reference);
        w.key(Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClicks(w.box, u"abc"_s);
        reference.insert(0, u"abc"_s);
        w.key(Qt::Key_PageDown);
        const qint64 at = w.box->caret_position();
        w.key(Qt::Key_Backspace);
        reference.remove(at - 1, 1);
        w.receive(u"41 42 "_s);
        reference += u"41 42 "_s;
        QCOMPARE(w.box->text(), reference);
        w.box->undo(); // the Backspace
        reference.insert(at - 1, hex_capture(spilled_chars).at(at - 4));
        QCOMPARE(w.box->text(), reference);
        w.box->undo(); // the typing
        reference.remove(0, 3);
        QCOMPARE(w.box->text(), reference);
        QCOMPARE(gbk_written(*w.box), kestrune::to_gbk(reference));
        w.box->redo();
        QCOMPARE(w.box->text().left(6), u"abc"_s + reference.left(3));
    }

    // Clearing the box gives the room on disk back.
    void clear_gives_space_back()
    {
        QTemporaryDir folder;
        Window w({folder.path()});
        w.receive(hex_capture(spilled_chars));
        QVERIFY(w.box->disk_bytes() > spilled_chars / 2);
        w.box->clear();
        QCOMPARE(w.box->disk_bytes(), 0);
        QCOMPARE(w.box->text_length(), 0);
    }

    // No folder for the file: the box works in memory and its tooltip says why.
    void no_folder()
    {
        QTemporaryDir folder;
        QFile plain(folder.filePath(u"plain"_s));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        Window w({folder.filePath(u"plain/kestrune"_s)});
        QCOMPARE(w.box->toolTip(), u"接收的数据暂存在内存中：无法创建缓存文件夹。"_s);
        const QString text = hex_capture(spilled_chars);
        w.receive(text);
        QCOMPARE(w.box->disk_bytes(), 0);
        QCOMPARE(gbk_written(*w.box), text.toLatin1());
    }

    // The file fills up in the middle of a capture: everything received stays,
    // the rest is kept in memory, and the tooltip says why until the box is cleared.
    void file_fills_up()
    {
        QTemporaryDir folder;
        Window w({folder.path()});
        const QString text = hex_capture(3 * spilled_chars);
        {
            const FileSizeLimit limit(1 << 20);
            w.receive(text);
        }
        QCOMPARE(w.box->toolTip(), u"接收的数据暂存在内存中：缓存文件已达到允许的最大长度。"_s);
        QCOMPARE(w.box->text_length(), text.size());
        QCOMPARE(gbk_written(*w.box), text.toLatin1());
        w.key(Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClicks(w.box, u"x"_s);
        QCOMPARE(w.box->text(), u"x"_s + text);
        w.box->clear();
        QVERIFY(w.box->toolTip().isEmpty());
        w.receive(text);
        QVERIFY(w.box->disk_bytes() > 1 << 20);
        QVERIFY(w.box->toolTip().isEmpty());
    }
};

QTEST_MAIN(TestReceiveBoxHistory)
#include "test_receive_box_history.moc"
