// SPDX-License-Identifier: GPL-3.0-or-later
// The status line and the holding off of the controls that start exchanges, as the link and
// the layers above see them. The front end shows both on its panels; a program without panels
// (zep4ctl) installs its own or none.
#pragma once

// Shows a text on the status line (kept as the last status text as well).
void ShowStatus(const char* text);
// The last text shown on the status line ("" before the first).
const char* LastStatus();
// Holds off, or gives back, the controls that start exchanges; the stop buttons too when
// stopsHeld (an exchange that Stop does not end).
void HoldStarters(bool held, bool stopsHeld);

struct StatusLine {
    void (*show)(const char* text);
    void (*hold)(bool held, bool stopsHeld);
};
// Where the status texts and the holding off go; empty members drop them.
void SetStatusLine(StatusLine line);
