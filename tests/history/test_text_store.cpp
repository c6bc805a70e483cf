// SPDX-License-Identifier: MIT
#include "gbk_written.h"
#include "history/byte_display.h"
#include "history/text_store.h"
#include "text/gbk.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;
using kestrune::test::gbk_written;
using namespace kestrune;

namespace {

QByteArray gbk_of(QStringView text)
{
    return to_gbk(text);
}

} // namespace

class TestTextStore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Received bytes, shown in text mode and stored, come back byte for byte.
    void received_round_trip_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("piece");
        QTest::newRow("CR LF TAB") << QByteArray("a\r\nb\tc\rd\ne\r\r\n\n") << 1;
        QTest::newRow("GBK text") << gbk_of(u"中文\r\n串口\t接收缓冲区·ā") << 3;
        QTest::newRow("GBK text, pairs split across pieces") << gbk_of(u"中文串口接收") << 1;
        const QByteArray long_ascii(TextStore::chunk_capacity + 1000, 'A');
        QTest::newRow("past a chunk, then Chinese")
            << (long_ascii + gbk_of(u"中") + long_ascii + "\r\n" + gbk_of(u"文字")) << 64;
        QTest::newRow("Chinese past a chunk")
            << gbk_of(QString(TextStore::chunk_capacity + 7, u'字')) + QByteArray("\r\nend") << 1000;
    }
    void received_round_trip()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, piece);
        MemoryHistory store;
        int pending = 0;
        LeadByteStore lead;
        QString shown;
        for (qsizetype at = 0; at < bytes.size(); at += piece) {
            shown.resize(0);
            append_text_display(QByteArrayView(bytes).sliced(at, std::min<qsizetype>(piece, bytes.size() - at)),
                                pending, lead, shown);
            store.append(shown);
        }
        QCOMPARE(store.size(), from_gbk(bytes).size());
        QCOMPARE(store.text(), from_gbk(bytes));
        QCOMPARE(gbk_written(store), bytes);
    }

    // Chunked writing encodes exactly as the whole text would, "?" for what GBK lacks.
    void write_gbk_matches_whole_text()
    {
        MemoryHistory store;
        const QString text = QString(TextStore::chunk_capacity - 2, u'x') + u"þก中\r\n"_s
                             + QString(TextStore::chunk_capacity, u'é');
        store.append(text);
        QCOMPARE(gbk_written(store), to_gbk(text));
        QVERIFY(gbk_written(store).contains("??"));
    }

    // Inserts and removals anywhere, against a QString doing the same.
    void edits_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<bool>("wide");
        QTest::newRow("latin-1 text") << quint32(1) << false;
        QTest::newRow("mixed text") << quint32(2) << true;
        QTest::newRow("mixed text, other seed") << quint32(3) << true;
    }
    void edits()
    {
        QFETCH(quint32, seed);
        QFETCH(bool, wide);
        QRandomGenerator random(seed);
        auto piece = [&](int length) {
            QString s;
            for (int i = 0; i < length; ++i) {
                const quint32 r = random.bounded(20);
                s.append(wide && r == 0 ? QChar(u'中') : r == 1 ? QChar(u'\r') : QChar(char16_t(u'a' + r)));
            }
            return s;
        };
        MemoryHistory store;
        QString reference;
        for (int step = 0; step < 400; ++step) {
            const quint32 kind = random.bounded(4);
            const qint64 pos = random.bounded(int(reference.size()) + 1);
            if (kind == 0) {
                const QString s = piece(int(random.bounded(TextStore::chunk_capacity / 2)));
                store.append(s);
                reference.append(s);
            } else if (kind == 1) {
                const QString s = piece(random.bounded(3) == 0 ? int(random.bounded(TextStore::chunk_capacity * 2)) : 3);
                store.insert(pos, s);
                reference.insert(pos, s);
            } else {
                const int count = int(random.bounded(kind == 2 ? 5 : TextStore::chunk_capacity));
                store.remove(pos, count);
                reference.remove(pos, count);
            }
            QCOMPARE(store.size(), reference.size());
            if (step % 20 == 0 || step == 399)
                QCOMPARE(store.text(), reference);
            if (!reference.isEmpty()) {
                const qint64 probe = random.bounded(int(reference.size()));
                QCOMPARE(store.at(probe), reference.at(probe).unicode());
                QCOMPARE(store.mid(probe, 100), reference.mid(probe, 100));
            }
        }
        QCOMPARE(gbk_written(store), to_gbk(reference));
    }

    // Latin-1 text costs one byte per character; UTF-16 only in the chunk that needs it.
    void one_byte_per_latin1_character()
    {
        MemoryHistory store;
        const QString line = u"00 0A AB FF "_s;
        for (int i = 0; i < 100000; ++i)
            store.append(line);
        const qint64 chars = store.size();
        QVERIFY(store.heap_bytes() < chars + chars / 50);
        store.append(u"中"_s);
        store.append(line);
        QVERIFY(store.heap_bytes() < chars + chars / 50 + 3 * TextStore::chunk_capacity);
    }
};

QTEST_APPLESS_MAIN(TestTextStore)
#include "test_text_store.moc"
