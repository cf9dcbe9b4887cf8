// SPDX-License-Identifier: GPL-3.0-or-later
// For the panel forms only: the controls of a panel being loaded, and their widgets to lay out.
//
// Everything else addresses controls through ui.h.
#pragma once

#include <string>
#include <vector>

#include "runtime/ui.h"

class QWidget;

struct RingItem {
    const char* label;
    int value;
};

// Rings whose items change while the program runs (the serial ports): the source is asked again
// each time the user opens the ring or moves to it. The value chosen stays chosen, listed even
// when the source has dropped it, and no event goes out.
struct RingChoice {
    std::string label;
    int value;
};
using RingSource = std::vector<RingChoice> (*)();

struct CtrlSpec {
    int id;                  // control number on its panel (> 0)
    CtrlKind kind;
    const char* name;        // object name, e.g. "PANEL_STATUS"
    const char* label;       // visible label; also the accessible name unless accessibleName is set
    CtrlCallbackPtr callback = nullptr;
    int initial = 0;         // initial value of numeric controls, rings, switches
    int minimum = 0;
    int maximum = 65535;
    std::vector<RingItem> items = {}; // rings
    // What screen readers call it when the label alone does not tell which it is (its channel,
    // its group); kept when the label changes.
    const char* accessibleName = nullptr;
    RingSource source = nullptr; // rings whose items change: given instead of items
};

// Creates a control on the panel being built and returns the widget to place in a layout.
// The widget carries the label (for kinds that have one) inside it.
QWidget* AddCtrl(int panel, const CtrlSpec& form);
// The panel's top-level widget, for the form's layout.
QWidget* PanelWidget(int panel);
void SetPanelTitle(int panel, const char* title);
