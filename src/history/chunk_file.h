// SPDX-License-Identifier: MIT
#pragma once
// The temporary file behind a file-backed history: unlinked from the moment it
// exists, so nothing is left behind after a crash; holds chunks of text in slots
// that are reused when they come free.

#include "history/history.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrune {

class ChunkFile
{
public:
    struct Slot {
        qint64 offset = -1; // -1: nothing on file
        qint64 bytes = 0;   // room of the slot
    };

    // Opens a file in the first folder where one can be made (made when missing).
    explicit ChunkFile(const QStringList &folders);
    ~ChunkFile();
    ChunkFile(const ChunkFile &) = delete;
    ChunkFile &operator=(const ChunkFile &) = delete;

    // Whether chunks may go to the file: it is open and no write has failed.
    bool usable() const { return fd_ >= 0 && fault_ == StorageFault::none; }
    StorageFault fault() const { return fault_; }

    // Writes bytes into slot, which moves when they do not fit. False (and a
    // fault) when the write failed; the slot then still holds what it held.
    bool write(Slot &slot, const char *data, qint64 bytes);
    // False when the file could not be read.
    bool read(const Slot &slot, char *data, qint64 bytes) const;
    void release(Slot &slot);
    // Empties the file, so that its room goes back to the file system; a fault
    // from a full disk is forgotten, the next write tries again.
    void clear();

    qint64 disk_bytes() const; // blocks the file takes

private:
    qint64 allocate(qint64 bytes);
    void start_writeback();
    void write_back(); // the writeback thread


    int fd_ = -1;
    StorageFault fault_ = StorageFault::none;
    qint64 end_ = 0;         // the file's size as slots use it
    qint64 unflushed_ = 0;   // bytes written since writeback was last started

    // Starting writeback takes the kernel a while, so a thread of the file's own
    // does it, woken every so many bytes written.
    std::thread writeback_;
    std::mutex writeback_mutex_;
    std::condition_variable writeback_wake_;
    bool writeback_due_ = false; // guarded by writeback_mutex_
    bool closing_ = false;       // guarded by writeback_mutex_
    std::vector<Slot> free_; // slots come free, by offset
};

} // namespace kestrune
