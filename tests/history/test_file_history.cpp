// SPDX-License-Identifier: MIT
#include "gbk_written.h"
#include "file_size_limit.h"
#include "history/text_store.h"
#include "text/gbk.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using kestrune::test::gbk_written;
using kestrune::test::FileSizeLimit;
using namespace kestrune;

namespace {

// A capture as the box gets it: HEX lines, then text with Chinese and Latin-1,
// in pieces of irregular size, so that chunk boundaries fall anywhere.
QString capture(qint64 chars, quint32 seed)
{
    QRandomGenerator random(seed);
    QString text;
    text.reserve(chars);
    while (text.size() < chars) {
        const quint32 kind = random.bounded(10);
        if (kind < 6) {
            for (int i = 0, n = int(random.bounded(1, 4000)); i < n; ++i)
                text += QString::number(random.bounded(256), 16).toUpper().rightJustified(2, u'0') + u' ';
        } else if (kind < 8) {
            text += u"T=23.5C 状态:正常 count=000123\r\n"_s.repeated(int(random.bounded(1, 300)));
        } else {
            text += u"é\tþ line\r"_s.repeated(int(random.bounded(1, 300)));
        }
    }
    text.truncate(chars);
    return text;
}

// More than fits in the chunks a file-backed history keeps in memory.
constexpr qint64 spilled_chars = 6 * TextStore::resident_chunks * TextStore::chunk_capacity;

void append_in_pieces(History &history, const QString &text, quint32 seed)
{
    QRandomGenerator random(seed);
    for (qsizetype at = 0; at < text.size();) {
        const qsizetype n = std::min<qsizetype>(random.bounded(1, 70000), text.size() - at);
        history.append(QStringView(text).sliced(at, n));
        at += n;
    }
}

} // namespace

class TestFileHistory : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // What goes to the file comes back the same, across chunk boundaries, and
    // only a small part of it stays in memory.
    void round_trip()
    {
        QTemporaryDir folder;
        FileHistory history({folder.path()});
        QCOMPARE(history.fault(), StorageFault::none);
        const QString text = capture(spilled_chars, 1);
        append_in_pieces(history, text, 2);
        QCOMPARE(history.size(), text.size());
        QVERIFY(history.disk_bytes() > text.size() / 2);
        QVERIFY(history.heap_bytes() < text.size() / 2);

        QRandomGenerator random(3);
        for (int i = 0; i < 300; ++i) {
            const qint64 pos = random.bounded(int(text.size()));
            const qint64 n = random.bounded(3 * int(TextStore::chunk_capacity));
            QCOMPARE(history.mid(pos, n), text.mid(pos, n));
            QCOMPARE(history.at(pos), text.at(pos).unicode());
        }
        // Around every chunk boundary a full chunk's way apart.
        for (qint64 pos = TextStore::chunk_capacity - 2; pos < text.size(); pos += TextStore::chunk_capacity)
            QCOMPARE(history.mid(pos, 4), text.mid(pos, 4));
        QCOMPARE(history.text(), text);
        QCOMPARE(gbk_written(history), to_gbk(text));
    }

    // The file has no name from the start: nothing is left behind.
    void file_is_unlinked()
    {
        QTemporaryDir folder;
        {
            FileHistory history({folder.path() + u"/made/here"_s});
            history.append(capture(spilled_chars, 4));
            QVERIFY(history.disk_bytes() > 0);
            QVERIFY(QDir(folder.path() + u"/made/here"_s).exists());
            QCOMPARE(QDir(folder.path() + u"/made/here"_s).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                     QStringList());
        }
    }

    // Inserts and removals anywhere in a history mostly on file, against a QString.
    void edits()
    {
        QTemporaryDir folder;
        FileHistory history({folder.path()});
        QString reference = capture(spilled_chars, 5);
        history.append(reference);
        QRandomGenerator random(6);
        for (int step = 0; step < 600; ++step) {
            const qint64 pos = random.bounded(int(reference.size()) + 1);
            const quint32 kind = random.bounded(5);
            if (kind == 0) {
                const QString s = capture(random.bounded(2 * int(TextStore::chunk_capacity)), step);
                history.insert(pos, s);
                reference.insert(pos, s);
            } else if (kind == 1) {
                const QString s = random.bounded(2) ? u"中"_s : u"x\r\n"_s;
                history.insert(pos, s);
                reference.insert(pos, s);
            } else if (kind == 2) {
                const qint64 count = random.bounded(3 * int(TextStore::chunk_capacity));
                history.remove(pos, count);
                reference.remove(pos, count);
            } else if (kind == 3) {
                history.remove(pos, 1);
                reference.remove(pos, 1);
            } else {
                const QString s = capture(random.bounded(5000), step);
                history.append(s);
                reference.append(s);
            }
            QCOMPARE(history.size(), reference.size());
            if (!reference.isEmpty()) {
                const qint64 probe = random.bounded(int(reference.size()));
                QCOMPARE(history.mid(probe, 200), reference.mid(probe, 200));
            }
        }
        QCOMPARE(history.text(), reference);
        QCOMPARE(gbk_written(history), to_gbk(reference));
    }

    // Clearing gives the room on disk back, and the history is used again.
    void clear_gives_space_back()
    {
        QTemporaryDir folder;
        FileHistory history({folder.path()});
        history.append(capture(spilled_chars, 7));
        QVERIFY(history.disk_bytes() > spilled_chars / 2);
        history.clear();
        QCOMPARE(history.size(), 0);
        QCOMPARE(history.disk_bytes(), 0);
        const QString again = capture(spilled_chars, 8);
        history.append(again);
        QVERIFY(history.disk_bytes() > 0);
        QCOMPARE(history.text(), again);
    }

    // Without a folder for the file, the history is kept in memory and says why.
    void no_folder()
    {
        QTemporaryDir folder;
        QFile plain(folder.filePath(u"plain"_s));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        FileHistory history({folder.filePath(u"plain/kestrune"_s)}); // below a file: no folder can be made
        QCOMPARE(history.fault(), StorageFault::no_folder);
        const QString text = capture(spilled_chars, 9);
        history.append(text);
        QCOMPARE(history.disk_bytes(), 0);
        QCOMPARE(history.text(), text);
        QCOMPARE(gbk_written(history), to_gbk(text));
    }

    // The next folder is taken when the first will not do.
    void next_folder()
    {
        QTemporaryDir folder;
        QFile plain(folder.filePath(u"plain"_s));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        FileHistory history({folder.filePath(u"plain/kestrune"_s), folder.filePath(u"second"_s)});
        QCOMPARE(history.fault(), StorageFault::none);
        history.append(capture(spilled_chars, 10));
        QVERIFY(history.disk_bytes() > 0);
    }

    // When the file can take no more, the history goes on in memory, and
    // nothing already in it is lost, on file or not.
    void write_fails_midway()
    {
        QTemporaryDir folder;
        FileHistory history({folder.path()});
        const QString text = capture(3 * spilled_chars, 11);
        {
            const FileSizeLimit limit(1 << 20);
            append_in_pieces(history, text, 12);
            QCOMPARE(history.fault(), StorageFault::too_large);
            QVERIFY(history.disk_bytes() <= 1 << 20);
            history.insert(10, u"中间"_s);
            history.remove(10, 2);
            QCOMPARE(history.size(), text.size());
            QCOMPARE(history.text(), text);
            QCOMPARE(gbk_written(history), to_gbk(text));
        }
        // Clearing starts afresh, on file again.
        history.clear();
        QCOMPARE(history.fault(), StorageFault::none);
        history.append(text);
        QVERIFY(history.disk_bytes() > 1 << 20);
        QCOMPARE(gbk_written(history), to_gbk(text));
    }
};

QTEST_APPLESS_MAIN(TestFileHistory)
#include "test_file_history.moc"
