// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of a chart or graph: its context menu and the picture files it writes.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Gives a strip chart or XY graph a context menu with "Save picture…" (the mouse's right
// button, or the context-menu key once Tab has brought the keyboard to it). The callback
// gets the panel and the control.
using PictureMenuPtr = void (*)(int panel, int control);
int SetPictureMenu(int panel, int control, PictureMenuPtr callback);

enum class PictureFormat { Png, Svg };
// Writes what the control shows, its title above it, to path: PNG at the screen's pixels
// times scale, or SVG. Each text pair goes into the file: PNG text chunks; in SVG the
// description, one "key: value" line each, under the control's title.
int SavePicture(int panel, int control, const char* path, PictureFormat format, double scale,
                const std::vector<std::pair<std::string, std::string>>& texts);
