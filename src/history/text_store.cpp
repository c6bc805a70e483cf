// SPDX-License-Identifier: MIT
#include "history/text_store.h"

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

TextStore::TextStore(std::unique_ptr<ChunkFile> file) : file_(std::move(file)) {}

TextStore::~TextStore() = default;

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
    chunk.sync();
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

TextStore::Chunk &TextStore::load(qsizetype index) const
{
    Chunk &chunk = chunks_[std::size_t(index)];
    chunk.used = ++tick_;
    if (chunk.resident)
        return chunk;
    // A chunk the file cannot give back shows as replacement characters, so that
    // every position still holds.
    if (chunk.is_wide) {
        chunk.wide.resize(chunk.length);
        if (!file_->read(chunk.slot, reinterpret_cast<char *>(chunk.wide.data()), chunk.file_bytes()))
            chunk.wide.fill(QChar(0xFFFD));
    } else {
        chunk.narrow.resize(chunk.length);
        if (!file_->read(chunk.slot, chunk.narrow.data(), chunk.file_bytes()))
            chunk.narrow.fill('?');
    }
    chunk.resident = true;
    chunk.dirty = false;
    resident_.push_back(index);
    leave_memory(index);
    return chunk;
}

TextStore::Chunk &TextStore::change(qsizetype index)
{
    Chunk &chunk = load(index);
    chunk.dirty = true;
    return chunk;
}

// Writes the chunks wanted least recently to the file until the budget holds,
// never keep nor the last chunk. A failed write stops it: the chunk stays in
// memory, and so does everything from then on.
void TextStore::leave_memory(qsizetype keep) const
{
    if (!spilling())
        return;
    const qsizetype last = qsizetype(chunks_.size()) - 1;
    while (qsizetype(resident_.size()) > resident_chunks + 1) {
        std::size_t oldest = resident_.size();
        for (std::size_t i = 0; i < resident_.size(); ++i) {
            const qsizetype c = resident_[i];
            if (c == keep || c == last || chunks_[std::size_t(c)].length == 0)
                continue;
            if (oldest == resident_.size() || chunks_[std::size_t(c)].used < chunks_[std::size_t(resident_[oldest])].used)
                oldest = i;
        }
        if (oldest == resident_.size())
            return;
        Chunk &chunk = chunks_[std::size_t(resident_[oldest])];
        if (chunk.dirty) {
            const char *data = chunk.is_wide ? reinterpret_cast<const char *>(chunk.wide.constData())
                                             : chunk.narrow.constData();
            if (!file_->write(chunk.slot, data, chunk.file_bytes()))
                return;
        }
        chunk.narrow = QByteArray();
        chunk.wide = QString();
        chunk.resident = false;
        chunk.dirty = false;
        resident_[oldest] = resident_.back();
        resident_.pop_back();
    }
}

void TextStore::rebuild_resident() const
{
    resident_.clear();
    if (!file_)
        return;
    for (std::size_t c = 0; c < chunks_.size(); ++c)
        if (chunks_[c].resident)
            resident_.push_back(qsizetype(c));
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
            chunks_.back().used = ++tick_;
            if (file_) {
                resident_.push_back(qsizetype(chunks_.size()) - 1);
                leave_memory(qsizetype(chunks_.size()) - 1);
            }
            p += take;
            n -= take;
            size_ += take;
            continue;
        }
        Chunk &last = change(qsizetype(chunks_.size()) - 1);
        const qsizetype take = fitting(p, n, chunk_capacity - last.size());
        if (last.is_wide) {
            last.wide.append(QStringView(p, take));
        } else {
            const qsizetype old = last.narrow.size();
            last.narrow.resize(old + take);
            narrow_copy(last.narrow.data() + old, p, take);
            last.ascii = last.ascii && ascii;
        }
        last.sync();
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
    Chunk &chunk = change(c);
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
        chunk.sync();
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
    tail.sync();
    chunk.sync();
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
    if (chunks_[std::size_t(c)].size() == 0) {
        if (file_)
            file_->release(chunks_[std::size_t(c)].slot);
        chunks_.erase(chunks_.begin() + c);
    }
    size_ += n;
    renumber_from(c);
    rebuild_resident();
    leave_memory(c);
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
        Chunk &meta = chunks_[std::size_t(c)];
        const auto offset = qsizetype(at - starts_[std::size_t(c)]);
        const auto take = qsizetype(std::min<qint64>(left, meta.size() - offset));
        if (offset == 0 && take == meta.size()) {
            // A chunk that goes whole is not read back for it.
            if (file_)
                file_->release(meta.slot);
            meta = Chunk{};
            meta.length = 0;
        } else {
            Chunk &chunk = change(c);
            if (chunk.is_wide)
                chunk.wide.remove(offset, take);
            else
                chunk.narrow.remove(offset, take);
            chunk.sync();
        }
        left -= take;
        at += take; // positions still in old numbering, so the next chunk's start holds
        ++c;
    }
    // Drop the chunks that became empty, then number the rest afresh.
    auto empty = [](const Chunk &chunk) { return chunk.size() == 0; };
    const auto gone = std::remove_if(chunks_.begin() + first, chunks_.begin() + c, empty);
    const bool erased = gone != chunks_.begin() + c;
    chunks_.erase(gone, chunks_.begin() + c);
    size_ -= count;
    renumber_from(first);
    if (erased)
        rebuild_resident();
    if (!chunks_.empty())
        merge_small(std::min(first, qsizetype(chunks_.size()) - 1));
}

// Joins the chunk with a neighbour when both have become small, so that edits do
// not leave the store in crumbs.
void TextStore::merge_small(qsizetype index)
{
    for (qsizetype c = std::max<qsizetype>(index - 1, 0);
         c + 1 < qsizetype(chunks_.size()) && c <= index; ++c) {
        if (chunks_[std::size_t(c)].size() + chunks_[std::size_t(c + 1)].size() > chunk_capacity / 4)
            continue;
        Chunk &a = change(c);
        Chunk &b = change(c + 1);
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
        a.sync();
        if (file_)
            file_->release(b.slot);
        chunks_.erase(chunks_.begin() + c + 1);
        renumber_from(c);
        rebuild_resident();
        return;
    }
}

void TextStore::clear()
{
    chunks_.clear();
    chunks_.shrink_to_fit();
    starts_.clear();
    starts_.shrink_to_fit();
    resident_.clear();
    size_ = 0;
    if (file_)
        file_->clear();
}

char16_t TextStore::at(qint64 pos) const
{
    if (pos < 0 || pos >= size_)
        return 0;
    const qsizetype c = chunk_of(pos);
    const Chunk &chunk = load(c);
    const auto offset = qsizetype(pos - starts_[std::size_t(c)]);
    return chunk.is_wide ? chunk.wide.at(offset).unicode() : char16_t(quint8(chunk.narrow.at(offset)));
}

void TextStore::visit_segments(qint64 from, qint64 to, Visit visit) const
{
    from = std::max<qint64>(from, 0);
    to = std::min(to, size_);
    if (from >= to)
        return;
    for (qsizetype c = chunk_of(from); c < qsizetype(chunks_.size()); ++c) {
        const qint64 start = starts_[std::size_t(c)];
        if (start >= to)
            return;
        const qsizetype length = chunks_[std::size_t(c)].size();
        const qsizetype begin = qsizetype(std::max<qint64>(from - start, 0));
        const qsizetype end = qsizetype(std::min<qint64>(to - start, length));
        if (begin >= end)
            continue;
        const Chunk &chunk = load(c);
        const Segment segment{start + begin,
                              chunk.is_wide ? nullptr : chunk.narrow.constData() + begin,
                              chunk.is_wide ? reinterpret_cast<const char16_t *>(chunk.wide.constData()) + begin
                                            : nullptr,
                              end - begin};
        if (!visit(segment))
            return;
    }
}

void TextStore::write_gbk(QIODevice &out) const
{
    // Chunks on file are streamed from it and stay there: runs of ASCII chunks
    // that lie one after another in the file are read at once.
    constexpr qint64 run_bytes = 4 << 20;
    QByteArray buffer;
    const qsizetype count = qsizetype(chunks_.size());
    for (qsizetype c = 0; c < count;) {
        const Chunk &chunk = chunks_[std::size_t(c)];
        if (chunk.resident) {
            if (!chunk.is_wide && chunk.ascii)
                out.write(chunk.narrow);
            else if (chunk.is_wide)
                out.write(to_gbk(chunk.wide));
            else
                out.write(to_gbk(QString::fromLatin1(chunk.narrow)));
            ++c;
            continue;
        }
        qsizetype end = c + 1;
        qint64 bytes = chunk.file_bytes();
        if (!chunk.is_wide && chunk.ascii) {
            while (end < count && bytes < run_bytes) {
                const Chunk &next = chunks_[std::size_t(end)];
                const Chunk &before = chunks_[std::size_t(end - 1)];
                if (next.resident || next.is_wide || !next.ascii
                    || before.slot.offset + before.length != next.slot.offset)
                    break;
                bytes += next.length;
                ++end;
            }
        }
        buffer.resize(bytes);
        const bool read = file_->read(ChunkFile::Slot{chunk.slot.offset, bytes}, buffer.data(), bytes);
        if (!chunk.is_wide && chunk.ascii) {
            if (!read)
                buffer.fill('?');
            out.write(buffer);
        } else if (chunk.is_wide) {
            const QStringView wide(reinterpret_cast<const char16_t *>(buffer.constData()), chunk.length);
            out.write(read ? to_gbk(wide) : QByteArray(chunk.length, '?'));
        } else {
            out.write(read ? to_gbk(QString::fromLatin1(buffer)) : QByteArray(chunk.length, '?'));
        }
        c = end;
    }
}

qint64 TextStore::heap_bytes() const
{
    qint64 bytes = qint64(chunks_.capacity() * sizeof(Chunk) + starts_.capacity() * sizeof(qint64)
                          + resident_.capacity() * sizeof(qsizetype));
    for (const Chunk &chunk : chunks_)
        if (chunk.resident)
            bytes += chunk.is_wide ? chunk.wide.capacity() * 2 : chunk.narrow.capacity();
    return bytes;
}

} // namespace kestrune
