// SPDX-License-Identifier: MIT
#pragma once
// The history in chunks of up to chunk_capacity characters. A chunk holds one
// byte per character while all its characters are Latin-1 and switches to UTF-16
// only when needed. With a chunk file, only the chunks in use stay in memory: the
// last one, where data is appended, and the few read or edited most recently;
// the others are written to the file and read back when wanted.

#include "history/chunk_file.h"
#include "history/history.h"

#include <QByteArray>

#include <memory>
#include <vector>

namespace kestrune {

class TextStore : public History
{
public:
    static constexpr qsizetype chunk_capacity = 32 * 1024;
    // Chunks kept in memory besides the last one when there is a file.
    static constexpr qsizetype resident_chunks = 64;

    explicit TextStore(std::unique_ptr<ChunkFile> file = {});
    ~TextStore() override;

    qint64 size() const override { return size_; }
    void append(QStringView text) override;
    void insert(qint64 pos, QStringView text) override;
    void remove(qint64 pos, qint64 count) override;
    void clear() override;

    char16_t at(qint64 pos) const override;
    void visit_segments(qint64 from, qint64 to, Visit visit) const override;
    void write_gbk(QIODevice &out) const override;

    qint64 heap_bytes() const override;
    qint64 disk_bytes() const override { return file_ ? file_->disk_bytes() : 0; }
    StorageFault fault() const override { return file_ ? file_->fault() : StorageFault::none; }

private:
    struct Chunk {
        QByteArray narrow;     // Latin-1, one byte per character
        QString wide;          // used instead once a character above U+00FF arrives
        qsizetype length = 0;  // characters, known also while the chunk is only on file
        bool is_wide = false;
        bool ascii = true;     // narrow and all below 0x80; may be false when it is not known
        bool resident = true;  // narrow / wide hold the characters
        bool dirty = true;     // the file has no copy of these characters
        ChunkFile::Slot slot;
        quint64 used = 0;      // when it was last wanted, for choosing what leaves memory
        qsizetype size() const { return length; }
        void sync() { length = is_wide ? wide.size() : narrow.size(); }
        qint64 file_bytes() const { return is_wide ? 2 * qint64(length) : qint64(length); }
    };

    qsizetype chunk_of(qint64 pos) const;       // the chunk holding pos
    qsizetype chunk_for_insert(qint64 pos) const;
    void renumber_from(qsizetype first);
    void merge_small(qsizetype index);
    static Chunk make_chunk(const char16_t *text, qsizetype n, bool latin1, bool ascii, qsizetype reserve);
    static void widen(Chunk &chunk);

    // The chunk with its characters in memory (read back from the file if need
    // be), marked as wanted; for_change also marks it as differing from the file.
    Chunk &load(qsizetype index) const;
    Chunk &change(qsizetype index);
    void leave_memory(qsizetype keep) const; // writes out chunks beyond the budget
    void rebuild_resident() const;           // after chunks were inserted or erased
    bool spilling() const { return file_ && file_->usable(); }

    std::unique_ptr<ChunkFile> file_;
    mutable std::vector<Chunk> chunks_;
    std::vector<qint64> starts_; // position of each chunk's first character
    qint64 size_ = 0;
    mutable std::vector<qsizetype> resident_; // chunks in memory, when there is a file
    mutable quint64 tick_ = 0;
};

// All of the history in memory.
class MemoryHistory final : public TextStore
{
public:
    MemoryHistory() = default;
};

// The history mostly in an unlinked file in the first of folders where one can be
// made; in memory, with fault() saying why, when none can be made or written.
class FileHistory final : public TextStore
{
public:
    explicit FileHistory(const QStringList &folders) : TextStore(std::make_unique<ChunkFile>(folders)) {}
};

} // namespace kestrune
