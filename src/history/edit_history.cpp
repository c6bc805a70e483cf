// SPDX-License-Identifier: MIT
#include "history/edit_history.h"

namespace kestrune {

void EditHistory::record(Edit edit, Kind kind)
{
    redo_.clear();
    if (joinable_ && kind == last_kind_ && !undo_.empty()) {
        Edit &last = undo_.back();
        switch (kind) {
        case Kind::Typing:
            if (edit.removed.isEmpty() && last.pos + last.inserted.size() == edit.pos) {
                last.inserted += edit.inserted;
                return;
            }
            break;
        case Kind::Backspace:
            if (edit.inserted.isEmpty() && last.inserted.isEmpty() && edit.pos + edit.removed.size() == last.pos) {
                last.removed.prepend(edit.removed);
                last.pos = edit.pos;
                return;
            }
            break;
        case Kind::Delete:
            if (edit.inserted.isEmpty() && last.inserted.isEmpty() && edit.pos == last.pos) {
                last.removed += edit.removed;
                return;
            }
            break;
        case Kind::Other:
            break;
        }
    }
    undo_.push_back(std::move(edit));
    last_kind_ = kind;
    joinable_ = kind != Kind::Other;
}

std::optional<EditHistory::Edit> EditHistory::take_undo()
{
    joinable_ = false;
    if (undo_.empty())
        return std::nullopt;
    Edit edit = std::move(undo_.back());
    undo_.pop_back();
    redo_.push_back(edit);
    return edit;
}

std::optional<EditHistory::Edit> EditHistory::take_redo()
{
    joinable_ = false;
    if (redo_.empty())
        return std::nullopt;
    Edit edit = std::move(redo_.back());
    redo_.pop_back();
    undo_.push_back(edit);
    return edit;
}

void EditHistory::clear()
{
    undo_.clear();
    redo_.clear();
    joinable_ = false;
}

} // namespace kestrune
