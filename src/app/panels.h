// SPDX-License-Identifier: GPL-3.0-or-later
// The panel forms: the two panels of the panel resource, laid out in panels.cpp.
#pragma once

#include "panel/controls.h"

// Registers both panel forms with the run-time (done once, before the first LoadPanel).
void RegisterPanels();
