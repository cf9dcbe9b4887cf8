// SPDX-License-Identifier: GPL-3.0-or-later
// Transfer targets (controller RAM, EEPROM, parameter file) and the parameter file itself.
#include <algorithm>
#include <string>

#include "app/app.h"
#include "app/panels.h"
#include "link/com232.h"
#include "params/params.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "platform/ui.h"

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
int ChooseParaFile(SelectButton button, bool forWriting) {
    FileSelectRequest request;
    request.defaultDirectory = proj_dir;
    request.defaultFile = "ZEP4para.cfg";
    request.filter = "*.cfg";
    request.title = "K-VEX-ZEP4 Parameter File";
    request.button = button;
    request.restrictDirectory = false;
    request.restrictExtension = true;
    request.allowCancel = true;
    request.allowMakeDirectory = true;
    request.confirmReplace = forWriting;
    char chosen[MAX_PATHNAME_LEN] = "";
    int result = FileSelectPopup(request, chosen);
    if (result > 0) CopyText(file_name, chosen);
    return result;
}

// No answer is awaited: set 1 goes out 0.1 s after set 0 whether or not the controller
// answers writes. Its answers keep the line for a while, out of the next exchange.
void SendParaSet(uint16_t set) {
    CopyVarsToPP(set);
    FillTxBuf(order, pp);
    nBytesW = WriteRequest(com, kWriteAnswerWait);
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
    ExchangeHold hold;
    ShowStatus("Transmit...");
    if (target == DATFILE) {
        if (ChooseParaFile(SelectButton::Ok, true) > 0) SendParaToFile();
        return 0;
    }
    WaitLineFree(); // an earlier answer would land amid the writes
    order = (target == EEPROM) ? ORD_WRITE_EEPROM : ORD_WRITE_RAM;
    GetPanelValues();
    SendParaSet(0);
    if (nBytesW == FRAME_LEN) ShowStatus("Transmit para1 Ok!");
    // Nothing runs between the two frames: the controller stores set 0 before it takes set 1.
    Delay(0.1);
    SendParaSet(1);
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
        ExchangeHold hold;
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
    if (ChooseParaFile(SelectButton::Load, false) <= 0) return 0;
    int rc = ReadParaFile(file_name);
    if (rc != kFile_Ok) {
        ShowStatus((std::string("Parameter file not read: ") + FileErrorReason(rc)).c_str());
        return 0;
    }
    return 1;
}
