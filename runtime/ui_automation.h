// SPDX-License-Identifier: GPL-3.0-or-later
// Automation: events delivered, controls operated, windows closed as a user would; images.
#pragma once

// Delivers an event to a control's callback as if the user had caused it; returns the
// callback's result (0 when the control has none).
int CallCtrlCallback(int panel, int control, int event, int eventData1 = 0, int eventData2 = 0);
// Delivers an event to a panel's callback; returns its result (0 when the panel has none).
int CallPanelCallback(int panel, int event, int eventData1 = 0, int eventData2 = 0);
// Operates a control the way a user does: a push button gets left click (3) then commit (1);
// a numeric / ring / toggle / radio / switch takes the value, then gets value changed (2)
// and commit (1). Returns 0 or a negative error.
int OperateCtrl(int panel, int control);
int OperateCtrl(int panel, int control, int newValue);
// Closes a panel's window the way the window manager does (delivers EVENT_CLOSE).
int ClosePanelWindow(int panel);
// Grabs a panel as a PNG image (for the README screenshot and for looking at the panels).
int SavePanelImage(int panel, const char* path);
