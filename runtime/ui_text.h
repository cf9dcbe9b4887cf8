// SPDX-License-Identifier: GPL-3.0-or-later
// Text boxes and pictures: lines of a text box by number, a picture from an image file.
#pragma once

#include <string>

// Text boxes: replace one line (0-based) or the whole content.
int ReplaceTextBoxLine(int panel, int control, int line, const char* text);
int ResetTextBox(int panel, int control, const char* text);
int GetTextBoxLine(int panel, int control, int line, std::string& text);

int DisplayImageFile(int panel, int control, const char* path);
