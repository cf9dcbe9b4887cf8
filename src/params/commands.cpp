// SPDX-License-Identifier: GPL-3.0-or-later
// The teach, reset and refresh buttons: one command frame carrying the panels' set 0, then a
// fetch of set 0 from RAM once the controller has answered, so the panels show what the
// controller now uses.
#include "link/com232.h"
#include "panel/panel.h"
#include "params/params.h"
#include "runtime/ui.h"

namespace {

// The panels' values go out; channel B's controls keep what the user typed meanwhile.
void SendCommandFromPanels(int code, bool teach) {
    ExchangeHold exchange;
    GetPanelValues();
    ShowFetchedSets(SendCommand(code, teach), 0);
}

} // namespace

int CC_ButtonTeach(int, int, int event, void*, int, int) {
    if (ExchangeBusy()) return 0;
    if (event == EVENT_LEFT_CLICK)
        ShowStatus("Teach new Reference-Value ...");
    else if (event == EVENT_COMMIT)
        SendCommandFromPanels(ORD_TEACH, true);
    return 0;
}

int CC_ButtonReset(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT && !ExchangeBusy()) SendCommandFromPanels(ORD_RESET, false);
    return 0;
}

int CC_ButtonRefresh(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT && !ExchangeBusy()) SendCommandFromPanels(ORD_REFRESH, false);
    return 0;
}
