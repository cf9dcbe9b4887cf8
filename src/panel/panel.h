// SPDX-License-Identifier: GPL-3.0-or-later
// The two panels as every layer above the run-time sees them: their handles, the program's
// directory and name that the panels and choosers show, a control's value, and the file
// chooser as the program sets it up.
#pragma once

#include "panel/controls.h"
#include "panel/status.h"
#include "runtime/file_select.h"

extern int panelHandle; // main panel
extern int panelPopUp;  // parameter / recorder popup
extern char proj_dir[MAX_PATHNAME_LEN];

extern char szSoftname[64];
extern char szSoftversion[64];

// A control's value; 0 when the panel or the control does not exist.
int CtrlValue(int panel, int control);

// The program's file chooser, opened in proj_dir with a proposed name and a type list;
// cancelling and making a directory are allowed, and choosing an existing file for anything
// but loading asks before it is replaced. The result is FileSelectPopup's; the chosen path
// goes to chosen only when one was chosen.
int ChooseFile(const char* defaultFile, const char* filter, const char* title, SelectButton button,
               bool restrictExtension, char (&chosen)[MAX_PATHNAME_LEN]);
