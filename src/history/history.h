// SPDX-License-Identifier: MIT
#pragma once
// The receive box's history: every character appended or typed, exactly as it
// came (CR and LF are separate characters, nothing is normalised). The box
// reads it in segments and edits it anywhere; where it is kept is up to the
// implementation: all in memory, or mostly in a temporary file.

#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory> // std::addressof
#include <type_traits>
#include <utility>

class QIODevice;

namespace kestrune {

// A callable passed down without a copy or an allocation; it must outlive the call.
template <typename Signature>
class FunctionRef;

template <typename R, typename... Args>
class FunctionRef<R(Args...)>
{
public:
    template <typename F>
        requires(!std::is_same_v<std::remove_cvref_t<F>, FunctionRef> && std::is_invocable_r_v<R, F &, Args...>)
    FunctionRef(F &&f) // NOLINT: converts implicitly, like a function pointer
        : object_(const_cast<void *>(static_cast<const void *>(std::addressof(f)))),
          call_([](void *object, Args... args) -> R {
              return (*static_cast<std::remove_reference_t<F> *>(object))(std::forward<Args>(args)...);
          })
    {
    }
    R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

private:
    void *object_;
    R (*call_)(void *, Args...);
};

// Why the history is kept in memory although it was meant to go to a file.
enum class StorageFault {
    none,
    no_folder,    // no cache folder could be made
    no_file,      // the folder is there, the file could not be created in it
    disk_full,    // ENOSPC
    quota,        // EDQUOT
    too_large,    // EFBIG: the file reached the largest size allowed
    write_failed, // any other write error
};

class History
{
public:
    // A run of characters stored together: exactly one of latin1 / utf16 is set.
    // The pointers hold only while the visitor runs.
    struct Segment {
        qint64 start;
        const char *latin1;
        const char16_t *utf16;
        qsizetype size;
    };
    using Visit = FunctionRef<bool(const Segment &)>;

    History() = default;
    History(const History &) = delete;
    History &operator=(const History &) = delete;
    virtual ~History() = default;

    virtual qint64 size() const = 0;
    virtual void append(QStringView text) = 0;
    virtual void insert(qint64 pos, QStringView text) = 0;
    virtual void remove(qint64 pos, qint64 count) = 0;
    // Everything goes, and so does the room it took.
    virtual void clear() = 0;

    virtual char16_t at(qint64 pos) const = 0; // 0 outside the text
    // Calls visit for the segments covering [from, to) in order, until it returns false.
    virtual void visit_segments(qint64 from, qint64 to, Visit visit) const = 0;
    // Streams the text as GBK; a character GBK lacks becomes "?".
    virtual void write_gbk(QIODevice &out) const = 0;

    virtual qint64 heap_bytes() const = 0; // memory the text takes
    virtual qint64 disk_bytes() const { return 0; }
    // none while the history is where it was meant to be.
    virtual StorageFault fault() const { return StorageFault::none; }

    bool is_empty() const { return size() == 0; }
    QString mid(qint64 pos, qint64 count) const;
    QString text() const { return mid(0, size()); }
};

// Where the file goes: $XDG_CACHE_HOME/kestrune, ~/.cache/kestrune, then the
// system's temporary folder.
QStringList history_folders();

} // namespace kestrune
