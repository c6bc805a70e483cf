// SPDX-License-Identifier: MIT
#pragma once
// Undo and redo of the user's own edits in the receive box. Appended data makes
// no record; since it only ever goes to the end, the positions of the records
// stay valid across appends.

#include <QString>

#include <optional>
#include <vector>

namespace kestrune {

class EditHistory
{
public:
    // How an edit may join the step before it: typing joins typing right after
    // it, Backspace and Delete join a run of the same key; other edits stand alone.
    enum class Kind { Typing, Backspace, Delete, Other };

    struct Edit {
        qint64 pos;
        QString removed;
        QString inserted;
        qint64 anchor_before; // the selection before the edit, restored by undo
        qint64 caret_before;
    };

    void record(Edit edit, Kind kind);
    void end_step() { joinable_ = false; } // the next edit starts a new step

    bool can_undo() const { return !undo_.empty(); }
    bool can_redo() const { return !redo_.empty(); }
    // The step to revert (undo) or to do again (redo); it moves to the other stack.
    std::optional<Edit> take_undo();
    std::optional<Edit> take_redo();
    void clear();

private:
    std::vector<Edit> undo_;
    std::vector<Edit> redo_;
    Kind last_kind_ = Kind::Other;
    bool joinable_ = false;
};

} // namespace kestrune
