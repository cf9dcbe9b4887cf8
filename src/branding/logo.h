// SPDX-License-Identifier: GPL-3.0-or-later
// Branding: the brand band, logo and text lines at the top of the main panel.
#pragma once

#include "runtime/files.h"

void ShowLogo(int brand);
// Where a logo bitmap lies for a program in programDir: beside it (the build tree), else in
// the installed data directory (<prefix>/share/kvex-zep4 for <prefix>/bin). 0 when found;
// -1 leaves the path beside the program, which then fails to load like any missing file.
int LogoPath(const char* programDir, const char* file, char (&path)[MAX_PATHNAME_LEN]);
void ShowInfoText(int background, int textColour, const char* text, int left, int top, int pointSize);
