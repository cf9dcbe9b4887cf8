// SPDX-License-Identifier: GPL-3.0-or-later
// Teach, reset and refresh: one command frame carrying set 0, then a fetch of set 0 from RAM
// once the controller has answered, so the variables hold what the controller now uses.
#include "app/app.h"
#include "app/panels.h"
#include "link/com232.h"
#include "params/params.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "platform/ui.h"

namespace {

void SendCommand(int code, bool teach) {
    ExchangeHold hold;
    WaitLineFree();
    FlushInQ(com);
    FlushOutQ(com);
    order = code;
    GetPanelValues();
    CopyVarsToPP(0);
    FillTxBuf(order, pp);
    rx_flag = 0;
    nBytesW = WriteRequest(com, TIMEOUT);
    if (nBytesW == FRAME_LEN) ShowStatus("Line Ok!");
    if (teach) ShowStatus("New setpoint value teached!");
    tstart = Timer();
    int fetched = 0;
    do {
        if (rx_flag) {
            // What the controller now uses goes onto the panels, or the next send would undo it;
            // channel B's controls keep what the user typed meanwhile.
            fetched = PushGET(RAM, 0);
            ShowFetchedSets(fetched, 0);
            break;
        }
        tdiff = Timer() - tstart;
        ProcessSystemEvents(tstart + TIMEOUT);
    } while (tdiff < TIMEOUT);
    // Covers both a silent command and a fetch that timed out.
    if (!fetched) ShowStatus("Timeout RS-232!!");
}

} // namespace

int CC_ButtonTeach(int, int, int event, void*, int, int) {
    if (ExchangeBusy()) return 0;
    if (event == EVENT_LEFT_CLICK)
        ShowStatus("Teach new Reference-Value ...");
    else if (event == EVENT_COMMIT)
        SendCommand(ORD_TEACH, true);
    return 0;
}

int CC_ButtonReset(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT && !ExchangeBusy()) SendCommand(ORD_RESET, false);
    return 0;
}

int CC_ButtonRefresh(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT && !ExchangeBusy()) SendCommand(ORD_REFRESH, false);
    return 0;
}
