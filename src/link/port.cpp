// SPDX-License-Identifier: GPL-3.0-or-later
// The serial port: opening it, the receive path, the answer wait and the line check.
#include "link/com232.h"
#include "runtime/files.h"
#include "runtime/event_loop.h"
#include "runtime/serial.h"
#include "runtime/timing.h"

const char* ComErrorText(int code) {
    switch (code) {
    case -1: return "Unknown system error";
    case -2: return "Invalid port number";
    case -3: return "Port is not open";
    case -4: return "Unknown I/0 error";
    case -6: return "No serial port found";
    case -7: return "Cannot open port";
    case -13: return "Invalid parameter";
    case -99: return "Timeout";
    default: return "RS-232 error!";
    }
}

// Opened without flow control; the line check flushes both queues before its request.
int OpenLine(int port) {
    const int r = OpenComConfig(port, "", 19200, 0, 8, 1, 4096, 4096);
    if (r < 0) return r;
    SetComTime(port, 2.0);
    InstallComCallback(port, eventMask, FRAME_LEN, com232::sync, RX_Receive_Function, nullptr);
    return r;
}

void ShowLineLost() { ShowStatus("RS-232 line lost - waiting for the device ..."); }

// Whatever an exchange tried while the device is away, it is still awaited.
void ShowLineLostAfterExchange() {
    if (ComAwaited() == com) ShowLineLost();
}

void RX_Receive_Function(int /*port*/, int events, void* /*data*/) {
    if (!(events & 0x8000)) return;
    // A short read (the line went away, or the bytes were flushed) is no answer: the buffer
    // would hold the rest of an older frame.
    const int n = ComRd(com, szReadBuf, FRAME_LEN);
    if (n == FRAME_LEN) {
        GetRxBuf(PNUM);
        rx_flag = 1;
        graphrefresh = 1;
        AnswerTaken();
    }
    FlushInQ(com);
}

// Counts from its own start, and pumps events at least once even when an answer is in.
int WaitRxFull() {
    tstart = Timer();
    ProcessSystemEvents(tstart + TIMEOUT);
    if (AwaitFrame(TIMEOUT) == Awaited::Taken) return 1;
    CopyText(szStatus, "Timeout-RS-232...");
    return 0;
}

int CheckComLine(int port) {
    int result = 0;
    const int building = order; // the echo is no request being built
    SendRequest(port, ORD_ECHO, pp, 2.0);
    order = building;
    nBytesR = ComRd(port, szReadBuf, FRAME_LEN); // waits up to the port's time-out for all of it
    AnswerTaken(); // read, or given up after the port's own time-out
    if (nBytesR != FRAME_LEN) {
        CopyText(szStatus, "Timeout < 36 Bytes");
    } else if (EchoWordOk()) {
        CopyText(szStatus, "Echo Check - Line Ok!");
        result = 1;
    } else {
        CopyText(szStatus, "read error - not sync byte 0xAA!");
    }
    ShowStatus(szStatus);
    return result;
}
