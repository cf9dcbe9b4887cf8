// SPDX-License-Identifier: GPL-3.0-or-later
// The line as the program opens it: at start-up and on a port change the line is checked and
// both sets fetched; a device that went away and came back is opened and checked again.
#include "app/app.h"
#include "link/com232.h"
#include "params/params.h"
#include "runtime/serial.h"
#include "runtime/ui.h"

namespace {

// During an exchange the exchange has its say first; the hold's end tells the loss.
int LineLost(int port) {
    if (port != com || ExchangeBusy()) return 0;
    ShowLineLost();
    return 1;
}

// The device is back: opened and checked as a port change does it, but the sets are not
// fetched (the panels may hold edits not sent yet), and nothing that ran starts again.
int LineBack(int port) {
    if (ExchangeBusy()) return 0; // at the next look
    ExchangeHold exchange;
    ShowStatus("Init COM-Port ...");
    const int r = OpenLine(port);
    if (r < 0) {
        ShowLineLost();
        return 0;
    }
    com = port;
    SetCtrlVal(panelHandle, PANEL_DROPDCOM, com);
    CopyVarsToPP(0);
    if (CheckComLine(port) == 1) ShowStatus("Echo Check - Line Ok! Get fetches the parameters.");
    return 1;
}

} // namespace

void InitRS232(int port) {
    ExchangeHold exchange;
    SetComReplug(LineLost, LineBack);
    szFirmware[0] = '\0'; // another controller may answer now
    const int r = OpenLine(port);
    if (r < 0) {
        CopyText(szStatus, ComErrorText(r));
    } else {
        CopyVarsToPP(0);
        if (CheckComLine(port) == 1) {
            target = RAM;
            ShowTarget();
            const int got0 = PushGET(RAM, 0);
            const int got1 = PushGET(RAM, 1);
            ShowFetchedSets(got0, got1);
            if (GetVERSIONInfo() != FIRMWARE_LEN) CopyText(szStatus, "Error reading firmware-info!");
            // Panels that do not show the controller's values matter more than its name.
            if (!got0 || !got1) CopyText(szStatus, FetchFailureText(got0, got1));
        }
    }
    ShowStatus(szStatus);
}

int CC_DropDCom(int /*panel*/, int /*control*/, int event, void* /*callbackData*/, int /*eventData1*/,
                int /*eventData2*/) {
    // One choice gives a value change and a commit; only the commit acts, and it comes also
    // when the port in use is chosen again, which checks the line anew.
    if (event != EVENT_COMMIT) return 0;
    if (ExchangeBusy()) {
        // Not now: the ring goes back to the port in use.
        SetCtrlVal(panelHandle, PANEL_DROPDCOM, com);
        return 0;
    }
    ExchangeHold exchange;
    WaitLineFree();
    CloseCom(com);
    GetCtrlVal(panelHandle, PANEL_DROPDCOM, com);
    ShowStatus("Init COM-Port ...");
    InitRS232(com);
    return 0;
}
