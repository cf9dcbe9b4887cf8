// SPDX-License-Identifier: GPL-3.0-or-later
// Transfer targets (controller RAM, EEPROM, parameter file) and the parameter file itself.
#include <algorithm>
#include <string>

#include "link/com232.h"
#include "panel/panel.h"
#include "params/params.h"
#include "runtime/files.h"
#include "runtime/timing.h"
#include "runtime/ui.h"

namespace {

// One target is always selected; RAM is the fall-back whenever the chosen one is switched off.
// The exchange under way keeps the target it started with.
void SelectTarget(int panel, int control, int chosen) {
    if (ExchangeBusy()) {
        ShowTarget();
    } else if (CtrlValue(panel, control) == 1) {
        target = chosen;
        for (int other : {PANEL_RBTRAM, PANEL_RBTEEPROM, PANEL_RBTFILE})
            if (other != control) SetCtrlVal(panelHandle, other, false);
    } else {
        target = RAM;
        SetCtrlVal(panelHandle, PANEL_RBTRAM, true);
    }
}

// Lets the user choose the parameter file; the choice replaces file_name only when made.
int ChooseParaFile(SelectButton button) {
    char chosen[MAX_PATHNAME_LEN] = "";
    const int result = ChooseFile("ZEP4para.cfg", "*.cfg", "K-VEX-ZEP4 Parameter File", button, true, chosen);
    if (result > 0) CopyText(file_name, chosen);
    return result;
}

} // namespace

int CC_RBTRam(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_VAL_CHANGED) SelectTarget(panel, control, RAM);
    return 0;
}

int CC_RBTEeprom(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_VAL_CHANGED) SelectTarget(panel, control, EEPROM);
    return 0;
}

int CC_RBTFile(int panel, int control, int event, void*, int, int) {
    if (event == EVENT_VAL_CHANGED) SelectTarget(panel, control, DATFILE);
    return 0;
}

void ShowTarget() {
    SetCtrlVal(panelHandle, PANEL_RBTRAM, target == RAM);
    SetCtrlVal(panelHandle, PANEL_RBTEEPROM, target == EEPROM);
    SetCtrlVal(panelHandle, PANEL_RBTFILE, target == DATFILE);
}

// Acts on the left click, which the mouse press and the Space or Enter key both give first;
// the commit that follows must not send a second time.
int CC_BTNSend(int, int, int event, void*, int, int) {
    if (event != EVENT_LEFT_CLICK || ExchangeBusy()) return 0;
    ExchangeHold exchange;
    ShowStatus("Transmit...");
    if (target == DATFILE) {
        if (ChooseParaFile(SelectButton::Ok) > 0) SendParaToFile();
        return 0;
    }
    // No answer is awaited: set 1 goes out 0.1 s after set 0 whether or not the controller
    // answers writes. Their answers keep the line for a while, out of the next exchange.
    const int code = (target == EEPROM) ? ORD_WRITE_EEPROM : ORD_WRITE_RAM;
    GetPanelValues();
    CopyVarsToPP(0);
    SendRequest(com, code, pp, kWriteAnswerWait); // the line is free before set 0
    if (nBytesW == FRAME_LEN) ShowStatus("Transmit para1 Ok!");
    // Nothing runs between the two frames: the controller stores set 0 before it takes set 1.
    Delay(0.1);
    CopyVarsToPP(1);
    WriteFrame(com, code, pp, kWriteAnswerWait);
    if (nBytesW == FRAME_LEN) ShowStatus("Transmit para Ok!");
    return 0;
}

// The panels change only by what was fetched: a cancelled, failed or partial Get leaves the
// user's unsent edits where nothing came to replace them.
int CC_BTNGet(int, int, int event, void*, int, int) {
    if (ExchangeBusy()) return 0;
    if (event == EVENT_LEFT_CLICK) {
        ShowStatus("Receive...");
    } else if (event == EVENT_COMMIT) {
        ExchangeHold exchange;
        const int from = target; // both sets from one memory
        if (from == DATFILE) {
            if (ReadParaFromFile()) SetPanelValues();
        } else {
            const int got0 = PushGET(from, 0);
            const int got1 = PushGET(from, 1); // even when set 0 timed out
            ShowFetchedSets(got0, got1);
            ShowStatus(FetchFailureText(got0, got1));
        }
    }
    return 0;
}

void SendParaToFile() {
    GetPanelValues();
    int rc = WriteParaFile(file_name);
    if (rc != kFile_Ok)
        ShowStatus((std::string("Parameter file not written: ") + FileErrorReason(rc)).c_str());
}

// A file that cannot be read whole changes nothing: either all 32 values load or none.
int ReadParaFromFile() {
    if (ChooseParaFile(SelectButton::Load) <= 0) return 0;
    int rc = ReadParaFile(file_name);
    if (rc != kFile_Ok) {
        ShowStatus((std::string("Parameter file not read: ") + FileErrorReason(rc)).c_str());
        return 0;
    }
    return 1;
}
