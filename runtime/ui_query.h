// SPDX-License-Identifier: GPL-3.0-or-later
// Read-only look into the user-interface run-time, for tests and tools.
//
// What kind of control sits under a number, its object name and the callback it is wired to.
#pragma once

#include <string>
#include <vector>

#include "runtime/ui_panels.h"

// False when the panel or control does not exist.
bool GetCtrlInfo(int panel, int control, CtrlKind& kind, std::string& name, CtrlCallbackPtr& callback);
// Control numbers of every control of a panel, those from its form first, in creation order.
std::vector<int> GetPanelCtrls(int panel);
// Title of a panel's window.
std::string GetPanelTitle(int panel);
