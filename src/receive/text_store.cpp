#include "receive/text_store.h"

#include "text/gbk.h"

#include <QIODevice>

#include <algorithm>

namespace kestrune {

namespace {

// The bitwise OR of all characters: below 0x80 means ASCII, below 0x100 Latin-1.
char16_t all_bits(const char16_t *p, qsizetype n)
{
    char16_t bits = 0;
    for (qsizetype i = 0; i < n; ++i)
        bits |= p[i];
    return bits;
}

void narrow_copy(char *to, const char16_t *from, qsizetype n)
{
    for (qsizetype i = 0; i < n; ++i)
        to[i] = char(from[i]);
}

bool is_high_surrogate(char16_t c)
{
    return c >= 0xD800 && c < 0xDC00;
}

// How much of text fits into room characters without parting a surrogate pair.
qsizetype fitting(const char16_t *text, qsizetype n, qsizetype room)
{
    qsizetype take = std::min(n, room);
    if (take < n && take > 1 && is_high_surrogate(text[take - 1]))
        --take;
    return take;
}

} // namespace

TextStore::Chunk TextStore::make_chunk(const char16_t *text, qsizetype n, bool latin1, bool ascii,
                                       qsizetype reserve)
{
    Chunk chunk;
    chunk.is_wide = !latin1;
    chunk.ascii = ascii;
    if (latin1) {
        chunk.narrow.reserve(std::max(reserve, n));
        chunk.narrow.resize(n);
        narrow_copy(chunk.narrow.data(), text, n);
    } else {
        chunk.wide.reserve(std::max(reserve, n));
        chunk.wide.append(QStringView(text, n));
    }
    return chunk;
}

void TextStore::widen(Chunk &chunk)
{
    if (chunk.is_wide)
        return;
    QString wide;
    wide.reserve(std::max(chunk.narrow.capacity(), chunk.narrow.size()));
    wide.append(QLatin1StringView(chunk.narrow));
    chunk.wide = std::move(wide);
    chunk.narrow = QByteArray();
    chunk.is_wide = true;
    chunk.ascii = false;
}

qsizetype TextStore::chunk_of(qint64 pos) const
{
    if (!starts_.empty() && pos >= starts_.back())
        return qsizetype(starts_.size()) - 1; // appends and the caret are at the end
    const auto it = std::upper_bound(starts_.begin(), starts_.end(), pos);
    const auto index = qsizetype(it - starts_.begin()) - 1;
    return std::clamp<qsizetype>(index, 0, qsizetype(chunks_.size()) - 1);
}

// For an insert at a chunk boundary, the earlier chunk, so that typing fills the
// chunk it started in.
qsizetype TextStore::chunk_for_insert(qint64 pos) const
{
    qsizetype c = chunk_of(pos);
    if (c > 0 && starts_[std::size_t(c)] == pos)
        --c;
    return c;
}

void TextStore::renumber_from(qsizetype first)
{
    starts_.resize(chunks_.size());
    qint64 start = first > 0 ? starts_[std::size_t(first - 1)] + chunks_[std::size_t(first - 1)].size() : 0;
    for (std::size_t c = std::size_t(first); c < chunks_.size(); ++c) {
        starts_[c] = start;
        start += chunks_[c].size();
    }
}

void TextStore::append(QStringView text)
{
    const auto *p = reinterpret_cast<const char16_t *>(text.utf16());
    qsizetype n = text.size();
    if (n == 0)
        return;
    const char16_t bits = all_bits(p, n);
    const bool latin1 = bits < 0x100;
    const bool ascii = bits < 0x80;
    while (n > 0) {
        if (chunks_.empty() || chunks_.back().size() >= chunk_capacity
            || (!latin1 && !chunks_.back().is_wide)) {
            const qsizetype take = fitting(p, n, chunk_capacity);
            starts_.push_back(size_);
            chunks_.push_back(make_chunk(p, take, latin1, ascii, chunk_capacity));
            p += take;
            n -= take;
            size_ += take;
            continue;
        }
        Chunk &last = chunks_.back();
        const qsizetype take = fitting(p, n, chunk_capacity - last.size());
        if (last.is_wide) {
            last.wide.append(QStringView(p, take));
        } else {
            const qsizetype old = last.narrow.size();
            last.narrow.resize(old + take);
            narrow_copy(last.narrow.data() + old, p, take);
            last.ascii = last.ascii && ascii;
        }
        p += take;
        n -= take;
        size_ += take;
    }
}

void TextStore::insert(qint64 pos, QStringView text)
{
    pos = std::clamp<qint64>(pos, 0, size_);
    if (pos == size_) {
        append(text);
        return;
    }
    const auto *p = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype n = text.size();
    if (n == 0)
        return;
    const char16_t bits = all_bits(p, n);
    const bool latin1 = bits < 0x100;
    const bool ascii = bits < 0x80;

    const qsizetype c = chunk_for_insert(pos);
    Chunk &chunk = chunks_[std::size_t(c)];
    const auto offset = qsizetype(pos - starts_[std::size_t(c)]);
    if (chunk.size() + n <= chunk_capacity) {
        if (!latin1)
            widen(chunk);
        if (chunk.is_wide) {
            chunk.wide.insert(offset, QStringView(p, n));
        } else {
            QByteArray bytes(n, Qt::Uninitialized);
            narrow_copy(bytes.data(), p, n);
            chunk.narrow.insert(offset, bytes);
            chunk.ascii = chunk.ascii && ascii;
        }
        renumber_from(c + 1);
        size_ += n;
        return;
    }

    // The chunk overflows: part it at the insert and put the text in chunks between.
    Chunk tail;
    tail.is_wide = chunk.is_wide;
    tail.ascii = chunk.ascii;
    if (chunk.is_wide) {
        tail.wide = chunk.wide.mid(offset);
        chunk.wide.truncate(offset);
    } else {
        tail.narrow = chunk.narrow.mid(offset);
        chunk.narrow.truncate(offset);
    }
    std::vector<Chunk> middle;
    for (qsizetype done = 0; done < n;) {
        const qsizetype take = fitting(p + done, n - done, chunk_capacity);
        middle.push_back(make_chunk(p + done, take, latin1, ascii, 0));
        done += take;
    }
    if (tail.size() > 0)
        middle.push_back(std::move(tail));
    chunks_.insert(chunks_.begin() + c + 1, std::make_move_iterator(middle.begin()),
                   std::make_move_iterator(middle.end()));
    if (chunks_[std::size_t(c)].size() == 0)
        chunks_.erase(chunks_.begin() + c);
    size_ += n;
    renumber_from(c);
}

void TextStore::remove(qint64 pos, qint64 count)
{
    pos = std::clamp<qint64>(pos, 0, size_);
    count = std::clamp<qint64>(count, 0, size_ - pos);
    if (count == 0)
        return;
    const qsizetype first = chunk_of(pos);
    qsizetype c = first;
    qint64 left = count;
    qint64 at = pos;
    while (left > 0) {
        Chunk &chunk = chunks_[std::size_t(c)];
        const auto offset = qsizetype(at - starts_[std::size_t(c)]);
        const auto take = qsizetype(std::min<qint64>(left, chunk.size() - offset));
        if (chunk.is_wide)
            chunk.wide.remove(offset, take);
        else
            chunk.narrow.remove(offset, take);
        left -= take;
        at += take; // positions still in old numbering, so the next chunk's start holds
        ++c;
    }
    // Drop the chunks that became empty, then number the rest afresh.
    auto empty = [](const Chunk &chunk) { return chunk.size() == 0; };
    chunks_.erase(std::remove_if(chunks_.begin() + first, chunks_.begin() + c, empty), chunks_.begin() + c);
    size_ -= count;
    renumber_from(first);
    if (!chunks_.empty())
        merge_small(std::min(first, qsizetype(chunks_.size()) - 1));
}

// Joins the chunk with a neighbour when both have become small, so that edits do
// not leave the store in crumbs.
void TextStore::merge_small(qsizetype index)
{
    for (qsizetype c = std::max<qsizetype>(index - 1, 0);
         c + 1 < qsizetype(chunks_.size()) && c <= index; ++c) {
        Chunk &a = chunks_[std::size_t(c)];
        Chunk &b = chunks_[std::size_t(c + 1)];
        if (a.size() + b.size() > chunk_capacity / 4)
            continue;
        if (b.is_wide)
            widen(a);
        if (a.is_wide) {
            if (b.is_wide)
                a.wide.append(b.wide);
            else
                a.wide.append(QLatin1StringView(b.narrow));
        } else {
            a.narrow.append(b.narrow);
            a.ascii = a.ascii && b.ascii;
        }
        chunks_.erase(chunks_.begin() + c + 1);
        renumber_from(c);
        return;
    }
}

void TextStore::clear()
{
    chunks_.clear();
    chunks_.shrink_to_fit();
    starts_.clear();
    starts_.shrink_to_fit();
    size_ = 0;
}

char16_t TextStore::at(qint64 pos) const
{
    if (pos < 0 || pos >= size_)
        return 0;
    const qsizetype c = chunk_of(pos);
    const Chunk &chunk = chunks_[std::size_t(c)];
    const auto offset = qsizetype(pos - starts_[std::size_t(c)]);
    return chunk.is_wide ? chunk.wide.at(offset).unicode() : char16_t(quint8(chunk.narrow.at(offset)));
}

QString TextStore::mid(qint64 pos, qint64 count) const
{
    QString out;
    pos = std::clamp<qint64>(pos, 0, size_);
    count = std::clamp<qint64>(count, 0, size_ - pos);
    out.reserve(qsizetype(count));
    visit_segments(pos, pos + count, [&out](const Segment &s) {
        if (s.latin1)
            out.append(QLatin1StringView(s.latin1, s.size));
        else
            out.append(QStringView(s.utf16, s.size));
        return true;
    });
    return out;
}

void TextStore::write_gbk(QIODevice &out) const
{
    for (const Chunk &chunk : chunks_) {
        if (!chunk.is_wide && chunk.ascii)
            out.write(chunk.narrow);
        else if (chunk.is_wide)
            out.write(to_gbk(chunk.wide));
        else
            out.write(to_gbk(QString::fromLatin1(chunk.narrow)));
    }
}

qint64 TextStore::heap_bytes() const
{
    qint64 bytes = qint64(chunks_.capacity() * sizeof(Chunk) + starts_.capacity() * sizeof(qint64));
    for (const Chunk &chunk : chunks_)
        bytes += chunk.is_wide ? chunk.wide.capacity() * 2 : chunk.narrow.capacity();
    return bytes;
}

} // namespace kestrune
