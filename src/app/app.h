// SPDX-License-Identifier: GPL-3.0-or-later
// Application core: the program's entry, the run-time defaults and the panel callbacks.
#pragma once

#include "app/panels.h"
#include "panel/panel.h"

// The program's entry: loads both panels, gives every run-time variable its default, opens
// the link, runs the event loop until the main panel is closed. 0 after a normal run, -1 when
// a panel cannot be loaded. Needs a QApplication to exist.
int WinMain(int argc, char** argv);
void InitVars();

// Opens port, checks the line and, when a controller answers, fetches both sets from its RAM
// and reads its firmware text; the outcome stays on the status line.
void InitRS232(int port);
int CC_DropDCom(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

int CC_PANEL(int panel, int event, void* callbackData, int eventData1, int eventData2);
int CC_POPUP(int panel, int event, void* callbackData, int eventData1, int eventData2);
