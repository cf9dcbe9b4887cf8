// SPDX-License-Identifier: GPL-3.0-or-later
// One exchange at a time. The line carries one request and its answer; nothing in a frame
// tells a late or stray answer from the awaited one. So while an exchange runs, the controls
// that would start another are held off (shown dimmed, their callbacks ignore them), and a
// request only goes out once the last one was answered or given up.
#include <algorithm>
#include <utility>

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
// Every control whose callback writes a request, and the targets, which say where one goes.
constexpr Starter kStarters[] = {
    {false, PANEL_BTNRUN},      {false, PANEL_BTNDATA},       {false, PANEL_BTNSEND},
    {false, PANEL_BTNGET},      {false, PANEL_BUTTONTEACH},   {false, PANEL_BUTTONRESET},
    {false, PANEL_BUTTONREFRESH}, {false, PANEL_DROPDCOM},    {true, POPUP_RECSTART},
    {false, PANEL_RBTRAM},      {false, PANEL_RBTEEPROM},     {false, PANEL_RBTFILE},
};
// The two stop buttons act inside the live loop and a recording, and nowhere else.
constexpr Starter kStoppers[] = {{false, PANEL_BTNSTOP}, {true, POPUP_RECSTOP}};

bool stopsHeld;
int answersDue;         // answers to the requests written that have not come yet
double requestDeadline; // ... and are given up at this time
void (*afterExchange)(); // an action that came during an exchange, run at its end

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
    if (void (*action)() = std::exchange(afterExchange, nullptr)) action();
}

void WhenNoExchange(void (*action)()) {
    if (exchange_busy > 0)
        afterExchange = action;
    else
        action();
}

bool ExchangeEnding() { return afterExchange != nullptr; }

bool ExchangeBusy() { return exchange_busy > 0; }

bool StopHeld() { return exchange_busy > 0 && stopsHeld; }

int WriteRequest(int port, double limit) {
    const int written = ComWrt(port, szWriteBuf, FRAME_LEN);
    if (written != FRAME_LEN) return written; // no whole request, no answer to wait for
    const double now = Timer();
    const bool open = answersDue > 0 && now < requestDeadline; // another answer still due
    answersDue = open ? answersDue + 1 : 1;
    requestDeadline = open ? std::max(requestDeadline, now + limit) : now + limit;
    return written;
}

void AnswerTaken() { answersDue = std::max(answersDue - 1, 0); }

// Requests given up stay due, but their deadline has passed. What is left of their answers
// then (a piece, or one the receive path dropped with another) is dropped with them.
void WaitLineFree() {
    while (answersDue > 0 && Timer() < requestDeadline) ProcessSystemEvents(requestDeadline);
    if (answersDue > 0) FlushInQ(com);
    answersDue = 0;
}
