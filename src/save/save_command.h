// SPDX-License-Identifier: MIT
#pragma once

#include "save/dialog_and_questions.h"

#include <QString>

#include <functional>

class QIODevice;

namespace kestrune {

// Streams a box's whole text, as GBK bytes, into the file being written.
using BoxContent = std::function<void(QIODevice &out)>;

// The file a save writes for the path the dialog confirmed: trailing ASCII and
// full-width spaces removed, ".txt" appended unless the file's own name (not its
// folders) contains ".txt" in any letter case.
QString save_file_name(const QString &chosen);

// Why a file could not be written, for the message: the common causes (no
// permission, disk full, read-only file system, name too long, no such folder, a
// folder of that name) in Chinese from the system's error code, the system's own
// text for other codes, and `file_text` (the file's own error text) when no code
// is known (0).
QString save_failure_reason(int error_code, const QString &file_text);

// save_box_to_file, shared by both save buttons; the box is told apart by its content.
class SaveCommand
{
public:
    SaveCommand(SaveDialog &dialog, SaveQuestions &questions);

    // Asks for a path, then writes the box there. The content is read only after the
    // dialog (and any question) has closed, so it includes what arrived meanwhile.
    void save_box_to_file(const BoxContent &content);

private:
    SaveDialog &dialog_;
    SaveQuestions &questions_;
};

} // namespace kestrune
