#pragma once
// The receive box's text, held exactly as it was appended or typed: CR and LF are
// separate characters, nothing is normalised. Chunks hold one byte per character
// while all their characters are Latin-1 and switch to UTF-16 only when needed.

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <vector>

class QIODevice;

namespace kestrune {

class TextStore
{
public:
    static constexpr qsizetype chunk_capacity = 32 * 1024;

    // A run of characters inside one chunk: exactly one of latin1 / utf16 is set.
    struct Segment {
        qint64 start;
        const char *latin1;
        const char16_t *utf16;
        qsizetype size;
    };

    qint64 size() const { return size_; }
    bool is_empty() const { return size_ == 0; }

    void append(QStringView text);
    void insert(qint64 pos, QStringView text);
    void remove(qint64 pos, qint64 count);
    void clear();

    char16_t at(qint64 pos) const;
    QString mid(qint64 pos, qint64 count) const;
    QString text() const { return mid(0, size_); }

    // Streams the text as GBK, chunk by chunk; a character GBK lacks becomes "?".
    void write_gbk(QIODevice &out) const;

    // Calls visit(const Segment &) for the runs covering [from, to) in order,
    // until visit returns false.
    template <typename Visit>
    void visit_segments(qint64 from, qint64 to, Visit &&visit) const;

    qsizetype chunk_count() const { return qsizetype(chunks_.size()); }
    qint64 heap_bytes() const; // what the chunks have allocated

private:
    struct Chunk {
        QByteArray narrow;   // Latin-1, one byte per character
        QString wide;        // used instead once a character above U+00FF arrives
        bool is_wide = false;
        bool ascii = true;   // narrow and all below 0x80; may be false when it is not known
        qsizetype size() const { return is_wide ? wide.size() : narrow.size(); }
    };

    qsizetype chunk_of(qint64 pos) const;       // the chunk holding pos
    qsizetype chunk_for_insert(qint64 pos) const;
    void renumber_from(qsizetype first);
    void merge_small(qsizetype index);
    static Chunk make_chunk(const char16_t *text, qsizetype n, bool latin1, bool ascii, qsizetype reserve);
    static void widen(Chunk &chunk);

    std::vector<Chunk> chunks_;
    std::vector<qint64> starts_; // position of each chunk's first character
    qint64 size_ = 0;
};

template <typename Visit>
void TextStore::visit_segments(qint64 from, qint64 to, Visit &&visit) const
{
    if (from < 0)
        from = 0;
    if (to > size_)
        to = size_;
    if (from >= to)
        return;
    for (qsizetype c = chunk_of(from); c < qsizetype(chunks_.size()); ++c) {
        const qint64 start = starts_[std::size_t(c)];
        if (start >= to)
            return;
        const Chunk &chunk = chunks_[std::size_t(c)];
        const qsizetype begin = qsizetype(std::max<qint64>(from - start, 0));
        const qsizetype end = qsizetype(std::min<qint64>(to - start, chunk.size()));
        if (begin >= end)
            continue;
        const Segment segment{start + begin,
                              chunk.is_wide ? nullptr : chunk.narrow.constData() + begin,
                              chunk.is_wide ? reinterpret_cast<const char16_t *>(chunk.wide.constData()) + begin
                                            : nullptr,
                              end - begin};
        if (!visit(segment))
            return;
    }
}

} // namespace kestrune
