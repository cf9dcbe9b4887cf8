// SPDX-License-Identifier: GPL-3.0-or-later
// The status line without a user interface of its own: texts and holds go where the program
// said, so the link and the parameter code run with panels and without.
#include "panel/status.h"

#include <string>

namespace {

StatusLine statusLine;
std::string lastStatus;

} // namespace

void SetStatusLine(StatusLine line) { statusLine = line; }

void ShowStatus(const char* text) {
    lastStatus = text ? text : "";
    if (statusLine.show) statusLine.show(lastStatus.c_str());
}

const char* LastStatus() { return lastStatus.c_str(); }

void HoldStarters(bool held, bool stopsHeld) {
    if (statusLine.hold) statusLine.hold(held, stopsHeld);
}
