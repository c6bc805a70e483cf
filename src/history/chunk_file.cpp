// SPDX-License-Identifier: MIT
#include "history/chunk_file.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kestrune {

namespace {

constexpr qint64 slot_grain = 4096;
// Written bytes after which their writeback to disk is started.
constexpr qint64 flush_bytes = 8 << 20;

StorageFault fault_of(int error)
{
    switch (error) {
    case ENOSPC:
        return StorageFault::disk_full;
#ifdef EDQUOT
    case EDQUOT:
        return StorageFault::quota;
#endif
    case EFBIG:
        return StorageFault::too_large;
    default:
        return StorageFault::write_failed;
    }
}

#ifdef Q_OS_UNIX
// An unlinked file in folder: O_TMPFILE where the file system has it, else a
// named file removed at once.
int open_unlinked(const QString &folder, int &error)
{
    const QByteArray dir = QFile::encodeName(folder);
    int fd = -1;
#ifdef O_TMPFILE
    fd = ::open(dir.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
#endif
    QByteArray name = dir + "/history-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    ::unlink(name.constData());
    return fd;
}
#endif

} // namespace

ChunkFile::ChunkFile(const QStringList &folders)
{
    fault_ = StorageFault::no_folder;
#ifdef Q_OS_UNIX
    for (const QString &folder : folders) {
        if (folder.isEmpty() || !QDir().mkpath(folder))
            continue;
        int error = 0;
        fd_ = open_unlinked(folder, error);
        if (fd_ >= 0) {
            fault_ = StorageFault::none;
            return;
        }
        fault_ = error == ENOSPC || error == EDQUOT ? fault_of(error) : StorageFault::no_file;
    }
#else
    Q_UNUSED(folders);
#endif
}

ChunkFile::~ChunkFile()
{
    if (writeback_.joinable()) {
        {
            const std::lock_guard lock(writeback_mutex_);
            closing_ = true;
        }
        writeback_wake_.notify_one();
        writeback_.join();
    }
#ifdef Q_OS_UNIX
    if (fd_ >= 0)
        ::close(fd_);
#endif
}

void ChunkFile::start_writeback()
{
    if (!writeback_.joinable())
        writeback_ = std::thread(&ChunkFile::write_back, this);
    {
        const std::lock_guard lock(writeback_mutex_);
        writeback_due_ = true;
    }
    writeback_wake_.notify_one();
}

void ChunkFile::write_back()
{
    std::unique_lock lock(writeback_mutex_);
    for (;;) {
        writeback_wake_.wait(lock, [this] { return writeback_due_ || closing_; });
        if (closing_)
            return;
        writeback_due_ = false;
        lock.unlock();
#if defined(Q_OS_LINUX)
        ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
#elif defined(Q_OS_UNIX)
        ::fdatasync(fd_);
#endif
        lock.lock();
    }
}

qint64 ChunkFile::allocate(qint64 bytes)
{
    const qint64 room = (bytes + slot_grain - 1) / slot_grain * slot_grain;
    for (auto it = free_.begin(); it != free_.end(); ++it) {
        if (it->bytes < room)
            continue;
        const qint64 offset = it->offset;
        it->offset += room;
        it->bytes -= room;
        if (it->bytes == 0)
            free_.erase(it);
        return offset;
    }
    const qint64 offset = end_;
    end_ += room;
    return offset;
}

bool ChunkFile::write(Slot &slot, const char *data, qint64 bytes)
{
#ifdef Q_OS_UNIX
    if (!usable())
        return false;
    Slot target = slot;
    if (target.offset < 0 || target.bytes < bytes) {
        target.offset = allocate(bytes);
        target.bytes = (bytes + slot_grain - 1) / slot_grain * slot_grain;
    }
    for (qint64 done = 0; done < bytes;) {
        const ssize_t n = ::pwrite(fd_, data + done, std::size_t(bytes - done), off_t(target.offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            fault_ = fault_of(n < 0 ? errno : ENOSPC);
            if (target.offset != slot.offset)
                release(target);
            return false;
        }
        done += n;
    }
    if (target.offset != slot.offset)
        release(slot);
    slot = target;
    // Writeback starts now rather than when the system has too many dirty pages:
    // then it would hold every writer, this window too, for up to a fifth of a second.
    unflushed_ += bytes;
    if (unflushed_ >= flush_bytes) {
        unflushed_ = 0;
        start_writeback();
    }
    return true;
#else
    Q_UNUSED(slot);
    Q_UNUSED(data);
    Q_UNUSED(bytes);
    return false;
#endif
}

bool ChunkFile::read(const Slot &slot, char *data, qint64 bytes) const
{
#ifdef Q_OS_UNIX
    if (fd_ < 0 || slot.offset < 0)
        return false;
    for (qint64 done = 0; done < bytes;) {
        const ssize_t n = ::pread(fd_, data + done, std::size_t(bytes - done), off_t(slot.offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
#else
    Q_UNUSED(slot);
    Q_UNUSED(data);
    Q_UNUSED(bytes);
    return false;
#endif
}

void ChunkFile::release(Slot &slot)
{
    if (slot.offset < 0)
        return;
    if (slot.offset + slot.bytes == end_) {
        end_ = slot.offset;
    } else {
        const Slot freed = slot;
        const auto at = std::lower_bound(free_.begin(), free_.end(), freed,
                                         [](const Slot &a, const Slot &b) { return a.offset < b.offset; });
        const auto it = free_.insert(at, freed);
        // Neighbouring free slots become one.
        if (it + 1 != free_.end() && it->offset + it->bytes == (it + 1)->offset) {
            it->bytes += (it + 1)->bytes;
            free_.erase(it + 1);
        }
        if (it != free_.begin() && (it - 1)->offset + (it - 1)->bytes == it->offset) {
            (it - 1)->bytes += it->bytes;
            free_.erase(it);
        }
    }
    // Free slots at the end shorten the file's used part.
    while (!free_.empty() && free_.back().offset + free_.back().bytes == end_) {
        end_ = free_.back().offset;
        free_.pop_back();
    }
    slot = Slot{};
}

void ChunkFile::clear()
{
#ifdef Q_OS_UNIX
    if (fd_ < 0)
        return;
    while (::ftruncate(fd_, 0) != 0 && errno == EINTR) {
    }
    end_ = 0;
    free_.clear();
    fault_ = StorageFault::none;
#endif
}

qint64 ChunkFile::disk_bytes() const
{
#ifdef Q_OS_UNIX
    struct stat info {};
    if (fd_ >= 0 && ::fstat(fd_, &info) == 0)
        return qint64(info.st_blocks) * 512;
#endif
    return 0;
}

} // namespace kestrune
