// SPDX-License-Identifier: GPL-3.0-or-later
// Application core: the program's entry, the run-time defaults and the panel callbacks.
#pragma once

#include "platform/files.h"

extern int panelHandle; // main panel
extern int panelPopUp;  // parameter / recorder popup
extern char proj_dir[MAX_PATHNAME_LEN];

extern char szSoftname[64];
extern char szSoftversion[64];

// The program's entry: loads both panels, gives every run-time variable its default, opens
// the link, runs the event loop until the main panel is closed. 0 after a normal run, -1 when
// a panel cannot be loaded. Needs a QApplication to exist.
int WinMain(int argc, char** argv);
void InitVars();
// A control's value; 0 when the panel or the control does not exist.
int CtrlValue(int panel, int control);

int CC_PANEL(int panel, int event, void* callbackData, int eventData1, int eventData2);
int CC_POPUP(int panel, int event, void* callbackData, int eventData1, int eventData2);
