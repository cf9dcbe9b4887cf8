// SPDX-License-Identifier: GPL-3.0-or-later
// The file chooser, and the hooks that let tests answer it instead of a person.
#pragma once

#include <functional>
#include <string>

#include "runtime/files.h"

enum : int { VAL_EXISTING_FILE_SELECTED = 1, VAL_NEW_FILE_SELECTED = 2, VAL_NO_FILE_SELECTED = 0 };
enum class SelectButton { Ok, Load, Save, Select };
struct FileSelectRequest {
    std::string defaultDirectory;
    std::string defaultFile;
    std::string filter;        // e.g. "*.cfg"
    std::string title;
    SelectButton button;
    bool restrictDirectory;
    bool restrictExtension;
    bool allowCancel;
    bool allowMakeDirectory;
    bool confirmReplace;       // ask before an existing file is chosen for writing
};
// Opens a file chooser. Result 1 existing file, 2 new name, 0 cancelled, negative on error;
// the chosen full path goes to path.
int FileSelectPopup(const FileSelectRequest& request, char (&path)[MAX_PATHNAME_LEN]);
// Lets tests and automation answer file choosers instead of a person. The hook returns the
// result and fills the path; an empty hook restores the real chooser.
using FileSelectHook = std::function<int(const FileSelectRequest&, std::string& path)>;
void SetFileSelectHook(FileSelectHook hook);

// Answers the question the chooser asks before a file is replaced (1 yes, 0 no) instead of a
// person; an empty hook restores the real question.
using ConfirmHook = std::function<int(const std::string& title, const std::string& message)>;
void SetConfirmHook(ConfirmHook hook);
