// SPDX-License-Identifier: GPL-3.0-or-later
// Binding of the parameter variables to the controls of the main panel and the popup.
#include "panel/panel.h"
#include "params/params.h"
#include "runtime/ui.h"

const char* TrigModeText(unsigned mode) {
    return mode == 3 ? "EXT-IN0-HIGH" : "CONTINOUS";
}

const char* EvalModeText(unsigned mode) {
    switch (mode) {
    case 1: return "NORM (A & B)";
    case 2: return "NORM (A + B)";
    default: return "NORM-A: A/Amax";
    }
}

const char* AnaModeText(unsigned mode) {
    switch (mode) {
    case 1: return "MAXIMA-value";
    case 2: return "MINIMA-value";
    case 3: return "OFF";
    default: return "DIRECT 0 .. 10V";
    }
}

const char* OutModeText(unsigned mode) {
    return mode == 1 ? "BINARY A,B,/A&B" : "TOLERANCE HI,LO,OK";
}

static void ShowModeTexts() {
    ReplaceTextBoxLine(panelHandle, PANEL_TRIGMODETEXT, 0, TrigModeText(trigmode));
    ReplaceTextBoxLine(panelHandle, PANEL_EVALMODETEXT, 0, EvalModeText(evalmode));
    ReplaceTextBoxLine(panelHandle, PANEL_ANAMODETEXT, 0, AnaModeText(anamode));
    ReplaceTextBoxLine(panelHandle, PANEL_OUTMODETEXT, 0, OutModeText(outmode));
}

namespace {

// Which control carries which variable, and the set the variable travels in.
struct Binding {
    bool popup;
    int control;
    uint16_t* var;
    uint16_t set;
};
const Binding kBindings[] = {
    {false, PANEL_POWERA, &powerA, 0},     {false, PANEL_POWERB, &powerB, 1},
    {false, PANEL_REFA, &refA, 0},         {false, PANEL_REFB, &refB, 1},
    {false, PANEL_TOLA, &tolA, 0},         {false, PANEL_TOLB, &tolB, 1},
    {false, PANEL_HYSTERESIS, &hysteresis, 0}, {false, PANEL_HWMODE, &hwmode, 0},
    {true, POPUP_MAXMODE, &maxmode, 0},    {true, POPUP_AVERAGE, &average, 0},
    {true, POPUP_POLARITY, &polarity, 0},  {true, POPUP_HOLD, &hold, 0},
    {true, POPUP_EVALMODE, &evalmode, 0},  {true, POPUP_TRIGLVLA, &triglvlA, 0},
    {true, POPUP_TRIGLVLB, &triglvlB, 1},  {true, POPUP_TRIGMODE, &trigmode, 0},
    {true, POPUP_SDELAY, &sdelay, 0},      {true, POPUP_OUTMODE, &outmode, 0},
    {true, POPUP_ANAMODE, &anamode, 0},
};

int PanelOf(const Binding& b) { return b.popup ? panelPopUp : panelHandle; }

// Writes one set's variables to their controls; set 0 also brings its evaluation-mode layout.
void ShowSet(uint16_t set) {
    for (const Binding& b : kBindings)
        if (b.set == set) SetCtrlVal(PanelOf(b), b.control, int(*b.var));
    if (set != 0) return;
    // Evaluation mode 2 judges A + B against one reference and one tolerance.
    const bool joint = evalmode == 2;
    SetCtrlAttribute(panelHandle, PANEL_REFB, Attr::Dimmed, joint);
    SetCtrlAttribute(panelHandle, PANEL_TOLB, Attr::Dimmed, joint);
    SetCtrlAttribute(panelHandle, PANEL_REFA, Attr::LabelText, joint ? "REFERENCE" : "REFERENCE-CHA");
    SetCtrlAttribute(panelHandle, PANEL_TOLA, Attr::LabelText, joint ? "TOLERANCE" : "TOLERANCE-CHA");
    ShowModeTexts();
}

} // namespace

void GetPanelValues() {
    for (const Binding& b : kBindings) GetCtrlVal(PanelOf(b), b.control, *b.var);
    ShowModeTexts();
}

void SetPanelValues() {
    ShowSet(1);
    ShowSet(0);
}

void ShowFetchedSets(int got0, int got1) {
    if (got1) ShowSet(1);
    if (got0) ShowSet(0);
}

const char* FetchFailureText(int got0, int got1) {
    if (!got0 && !got1) return "No answer for parameter sets 0 and 1!";
    if (!got0) return "No answer for parameter set 0 (CH-A)!";
    if (!got1) return "No answer for parameter set 1 (CH-B)!";
    return "Parameter-frame received! - Line Ok!";
}

int CC_BINSWpower(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_VAL_CHANGED) return 0;
    if (CtrlValue(panel, control) == 1) {
        SetCtrlAttribute(panelHandle, PANEL_POWERB, Attr::Visible, false);
        SetCtrlAttribute(panelHandle, PANEL_POWERA, Attr::Visible, true);
    } else {
        SetCtrlAttribute(panelHandle, PANEL_POWERA, Attr::Visible, false);
        SetCtrlAttribute(panelHandle, PANEL_POWERB, Attr::Visible, true);
    }
    return 0;
}

int CC_TOGBTNparaII(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_VAL_CHANGED) return 0;
    if (CtrlValue(panel, control))
        DisplayPanel(panelPopUp);
    else
        HidePanel(panelPopUp);
    return 0;
}

// Trigger mode 2 only works with the joint evaluation, so it pulls the evaluation ring to 2
// and any other trigger mode pulls it away from 2.
int CC_DropTrigmode(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    if (CtrlValue(panelPopUp, POPUP_TRIGMODE) == 2)
        SetCtrlVal(panelPopUp, POPUP_EVALMODE, 2);
    else if (CtrlValue(panelPopUp, POPUP_EVALMODE) == 2)
        SetCtrlVal(panelPopUp, POPUP_EVALMODE, 0);
    return 0;
}

// The evaluation mode is taken with the other values at the next GetPanelValues.
int CC_DROP_EvalMode(int, int, int, void*, int, int) { return 0; }
