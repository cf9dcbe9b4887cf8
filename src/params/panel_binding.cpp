// Binding of the parameter variables to the controls of the main panel and the popup.
#include "app/app.h"
#include "app/panels.h"
#include "params/params.h"
#include "platform/ui.h"

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

void GetPanelValues() {
    GetCtrlVal(panelHandle, PANEL_POWERA, powerA);
    GetCtrlVal(panelHandle, PANEL_POWERB, powerB);
    GetCtrlVal(panelHandle, PANEL_REFA, refA);
    GetCtrlVal(panelHandle, PANEL_REFB, refB);
    GetCtrlVal(panelHandle, PANEL_TOLA, tolA);
    GetCtrlVal(panelHandle, PANEL_TOLB, tolB);
    GetCtrlVal(panelHandle, PANEL_HYSTERESIS, hysteresis);
    GetCtrlVal(panelHandle, PANEL_HWMODE, hwmode);

    GetCtrlVal(panelPopUp, POPUP_MAXMODE, maxmode);
    GetCtrlVal(panelPopUp, POPUP_AVERAGE, average);
    GetCtrlVal(panelPopUp, POPUP_POLARITY, polarity);
    GetCtrlVal(panelPopUp, POPUP_HOLD, hold);
    GetCtrlVal(panelPopUp, POPUP_EVALMODE, evalmode);
    GetCtrlVal(panelPopUp, POPUP_TRIGLVLA, triglvlA);
    GetCtrlVal(panelPopUp, POPUP_TRIGLVLB, triglvlB);
    GetCtrlVal(panelPopUp, POPUP_TRIGMODE, trigmode);
    GetCtrlVal(panelPopUp, POPUP_SDELAY, sdelay);
    GetCtrlVal(panelPopUp, POPUP_OUTMODE, outmode);
    GetCtrlVal(panelPopUp, POPUP_ANAMODE, anamode);

    ShowModeTexts();
}

void SetPanelValues() {
    SetCtrlVal(panelHandle, PANEL_POWERA, int(powerA));
    SetCtrlVal(panelHandle, PANEL_POWERB, int(powerB));
    SetCtrlVal(panelHandle, PANEL_REFA, int(refA));
    SetCtrlVal(panelHandle, PANEL_REFB, int(refB));
    SetCtrlVal(panelHandle, PANEL_TOLA, int(tolA));
    SetCtrlVal(panelHandle, PANEL_TOLB, int(tolB));
    SetCtrlVal(panelHandle, PANEL_HYSTERESIS, int(hysteresis));
    SetCtrlVal(panelHandle, PANEL_HWMODE, int(hwmode));

    SetCtrlVal(panelPopUp, POPUP_MAXMODE, int(maxmode));
    SetCtrlVal(panelPopUp, POPUP_AVERAGE, int(average));
    SetCtrlVal(panelPopUp, POPUP_EVALMODE, int(evalmode));
    SetCtrlVal(panelPopUp, POPUP_TRIGLVLA, int(triglvlA));
    SetCtrlVal(panelPopUp, POPUP_TRIGLVLB, int(triglvlB));
    SetCtrlVal(panelPopUp, POPUP_POLARITY, int(polarity));
    SetCtrlVal(panelPopUp, POPUP_HOLD, int(hold));
    SetCtrlVal(panelPopUp, POPUP_OUTMODE, int(outmode));
    SetCtrlVal(panelPopUp, POPUP_TRIGMODE, int(trigmode));
    SetCtrlVal(panelPopUp, POPUP_SDELAY, int(sdelay));
    SetCtrlVal(panelPopUp, POPUP_ANAMODE, int(anamode));

    // Evaluation mode 2 judges A + B against one reference and one tolerance.
    const bool joint = evalmode == 2;
    SetCtrlAttribute(panelHandle, PANEL_REFB, Attr::Dimmed, joint ? 1 : 0);
    SetCtrlAttribute(panelHandle, PANEL_TOLB, Attr::Dimmed, joint ? 1 : 0);
    SetCtrlAttribute(panelHandle, PANEL_REFA, Attr::LabelText, joint ? "REFERENCE" : "REFERENCE-CHA");
    SetCtrlAttribute(panelHandle, PANEL_TOLA, Attr::LabelText, joint ? "TOLERANCE" : "TOLERANCE-CHA");

    ShowModeTexts();
}

int CC_BINSWpower(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_VAL_CHANGED) return 0;
    int on = 0;
    GetCtrlVal(panel, control, on);
    if (on == 1) {
        SetCtrlAttribute(panelHandle, PANEL_POWERB, Attr::Visible, 0);
        SetCtrlAttribute(panelHandle, PANEL_POWERA, Attr::Visible, 1);
    } else {
        SetCtrlAttribute(panelHandle, PANEL_POWERA, Attr::Visible, 0);
        SetCtrlAttribute(panelHandle, PANEL_POWERB, Attr::Visible, 1);
    }
    return 0;
}

int CC_TOGBTNparaII(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_VAL_CHANGED) return 0;
    int shown = 0;
    GetCtrlVal(panel, control, shown);
    if (shown)
        DisplayPanel(panelPopUp);
    else
        HidePanel(panelPopUp);
    return 0;
}

// Trigger mode 2 only works with the joint evaluation, so it pulls the evaluation ring to 2
// and any other trigger mode pulls it away from 2.
int CC_DropTrigmode(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    int trig = 0, eval = 0;
    GetCtrlVal(panelPopUp, POPUP_TRIGMODE, trig);
    GetCtrlVal(panelPopUp, POPUP_EVALMODE, eval);
    if (trig == 2)
        SetCtrlVal(panelPopUp, POPUP_EVALMODE, 2);
    else if (eval == 2)
        SetCtrlVal(panelPopUp, POPUP_EVALMODE, 0);
    return 0;
}

// The evaluation mode is taken with the other values at the next GetPanelValues.
int CC_DROP_EvalMode(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    int eval = 0;
    GetCtrlVal(panel, control, eval);
    return 0;
}
