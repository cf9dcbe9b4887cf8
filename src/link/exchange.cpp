// SPDX-License-Identifier: GPL-3.0-or-later
// One exchange at a time. The line carries one request and its answer; nothing in a frame
// tells a late or stray answer from the awaited one. So while an exchange runs, the controls
// that would start another are held off (shown dimmed, their callbacks ignore them), and a
// request only goes out once the last one was answered or given up.
#include "app/app.h"
#include "app/panels.h"
#include "link/com232.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "platform/ui.h"

int exchange_busy;

namespace {

struct Starter {
    bool popup;
    int control;
};
// Every control whose callback writes a request.
constexpr Starter kStarters[] = {
    {false, PANEL_BTNRUN},      {false, PANEL_BTNDATA},       {false, PANEL_BTNSEND},
    {false, PANEL_BTNGET},      {false, PANEL_BUTTONTEACH},   {false, PANEL_BUTTONRESET},
    {false, PANEL_BUTTONREFRESH}, {false, PANEL_DROPDCOM},    {true, POPUP_RECSTART},
};
// The two stop buttons act inside the live loop and a recording, and nowhere else.
constexpr Starter kStoppers[] = {{false, PANEL_BTNSTOP}, {true, POPUP_RECSTOP}};

bool stopsHeld;
bool requestOpen;       // the last request's answer has not come yet
double requestDeadline; // ... and is given up at this time

void Lock(const Starter& s, bool on) {
    SetCtrlAttribute(s.popup ? panelPopUp : panelHandle, s.control, Attr::Locked, on);
}

} // namespace

ExchangeHold::ExchangeHold(bool stoppable) {
    if (exchange_busy++ > 0) return;
    for (const Starter& s : kStarters) Lock(s, true);
    stopsHeld = !stoppable;
    for (const Starter& s : kStoppers) Lock(s, stopsHeld);
}

ExchangeHold::~ExchangeHold() {
    if (--exchange_busy > 0) return;
    for (const Starter& s : kStarters) Lock(s, false);
    for (const Starter& s : kStoppers) Lock(s, false);
    ShowLineLostAfterExchange();
}

bool ExchangeBusy() { return exchange_busy > 0; }

bool StopHeld() { return exchange_busy > 0 && stopsHeld; }

int WriteRequest(int port, double limit) {
    const int written = ComWrt(port, szWriteBuf, FRAME_LEN);
    requestOpen = true;
    requestDeadline = Timer() + limit;
    return written;
}

void AnswerTaken() { requestOpen = false; }

// A request given up stays open, but its deadline has passed.
void WaitLineFree() {
    while (requestOpen && Timer() < requestDeadline) ProcessSystemEvents(requestDeadline);
}
