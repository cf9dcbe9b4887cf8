// SPDX-License-Identifier: GPL-3.0-or-later
// One exchange at a time. The line carries one request and its answer; nothing in a frame
// tells a late or stray answer from the awaited one. So while an exchange runs, the controls
// that would start another are held off (shown dimmed, their callbacks ignore them), and a
// request only goes out once the last one was answered or given up.
#include <algorithm>
#include <utility>

#include "link/com232.h"
#include "runtime/event_loop.h"
#include "runtime/files.h"
#include "runtime/serial.h"
#include "runtime/timing.h"

int exchange_busy;

namespace {

bool stopsHeld;
int answersDue;          // answers to the requests written that have not come yet
double requestDeadline;  // ... and are given up at this time
void (*afterExchange)(); // an action that came during an exchange, run at its end

// Once an answer's count is in, a byte more within this time makes it too long. On a line
// paced at 19200 baud the bytes after the count are still on their way when it is reached;
// 20 ms is 38 byte times, and longer than a USB adapter's pause between bursts (16 ms).
constexpr double kQuietAfterAnswer = 0.02;
// The direct waits do not pump events; they sleep on the line until their bytes or their
// limit. Only a port that is not open comes back at once: a short pause keeps that off the CPU.
constexpr double kPollPause = 0.001;

} // namespace

ExchangeHold::ExchangeHold(bool stoppable) {
    if (exchange_busy++ > 0) return;
    stopsHeld = !stoppable;
    HoldStarters(true, stopsHeld);
}

ExchangeHold::~ExchangeHold() {
    if (--exchange_busy > 0) return;
    HoldStarters(false, false);
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

int WriteFrame(int port, int code, const uint16_t* words, double limit) {
    order = code;
    FillTxBuf(code, words);
    nBytesW = WriteRequest(port, limit);
    return nBytesW;
}

int SendRequest(int port, int code, const uint16_t* words, double limit) {
    uint16_t request[PNUM]; // words may be pp, where a late answer still lands
    std::copy(words, words + PNUM, request);
    WaitLineFree();
    FlushInQ(port);
    FlushOutQ(port);
    rx_flag = 0;
    WriteFrame(port, code, request, limit);
    tstart = Timer();
    return nBytesW;
}

Awaited AwaitFrame(double limit, int word0, const int* stop) {
    for (;;) {
        if (stop && *stop) return Awaited::Stopped;
        // A new answer always brings its own word 0.
        if (rx_flag && (word0 < 0 || pp[0] == word0)) return Awaited::Taken;
        tdiff = Timer() - tstart;
        if (tdiff > limit) return Awaited::Timeout;
        ProcessSystemEvents(tstart + limit);
    }
}

int AwaitBytes(int count, double limit, const char* timeoutText) {
    const double deadline = tstart + limit;
    int n = 0;
    for (;;) {
        const bool counted = n >= count;
        const double until = counted ? std::min(Timer() + kQuietAfterAnswer, deadline) : deadline;
        const int now = std::max(WaitInQLen(com, counted ? n + 1 : count, until), 0);
        tdiff = Timer() - tstart;
        const bool quiet = counted && now == n;
        n = now;
        if (quiet) break;
        if (tdiff > limit) {
            if (n < count) CopyText(szStatus, timeoutText);
            break;
        }
        if (n < count) Delay(kPollPause);
    }
    return n;
}

bool EchoWordOk() {
    const auto* b = reinterpret_cast<const unsigned char*>(szReadBuf);
    return ((b[4] << 8) | b[5]) == 0x00AA;
}
