// SPDX-License-Identifier: GPL-3.0-or-later
// Panels and controls: event and result codes, callbacks, loading panels, controls made later.
#pragma once

#include <vector>

// Event codes passed to control and panel callbacks.
enum : int {
    EVENT_COMMIT = 1,
    EVENT_VAL_CHANGED = 2,
    EVENT_LEFT_CLICK = 3,
    EVENT_CLOSE = 11,
};

using CtrlCallbackPtr = int (*)(int panel, int control, int event, void* callbackData, int eventData1,
                                int eventData2);
using PanelCallbackPtr = int (*)(int panel, int event, void* callbackData, int eventData1, int eventData2);

// Results of the user-interface calls: 0 (or a handle / count) on success, negative on failure.
enum : int {
    UIE_BAD_PANEL = -42,
    UIE_BAD_CONTROL = -43,
    UIE_BAD_ATTRIBUTE = -45,
    UIE_BAD_VALUE = -46,
    UIE_NO_RESOURCE = -47,
    UIE_FILE_ERROR = -48,
};

// A panel resource is a form registered under a resource file name and panel number; the
// builder creates the panel's controls (see runtime/panel_builder.h).
using PanelBuilder = void (*)(int panel);
void RegisterPanelResource(const char* file, int resourcePanel, PanelBuilder builder,
                           PanelCallbackPtr callback);

// Returns a panel handle (> 0) or a negative error.
int LoadPanel(int parentPanel, const char* file, int resourcePanel);
int DisplayPanel(int panel);
int HidePanel(int panel);
int DiscardPanel(int panel);

enum class CtrlKind {
    Numeric,        // integer input with label
    NumericDisplay, // integer display
    Ring,           // list of labelled integer values
    CommandButton,
    ToggleButton,
    RadioButton,
    BinarySwitch,
    Led,
    TextDisplay,    // one line of text, shown only
    TextBox,        // several lines of text, shown only
    TextMessage,    // a label with no frame
    StripChart,
    XYGraph,
    Picture,
    Decoration,     // a coloured area
    ProgressBar,
};
// Creates a control on a panel at run time; returns its control number (> 0).
int NewCtrl(int panel, CtrlKind kind, const char* label, int top, int left);
// Control numbers of every control made with NewCtrl on a panel, in creation order.
std::vector<int> GetNewCtrls(int panel);
