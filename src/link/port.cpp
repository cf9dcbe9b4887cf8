// SPDX-License-Identifier: GPL-3.0-or-later
// The serial port: opening it, the receive path, the answer wait, the line check and the
// change of port from the main panel.
#include "app/app.h"
#include "app/panels.h"
#include "link/com232.h"
#include "params/params.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "platform/ui.h"

void ShowStatus(const char* text) {
    SetCtrlVal(panelHandle, PANEL_STATUS, text);
}

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

namespace {

const char* const kLineLost = "RS-232 line lost - waiting for the device ...";

// Opened without flow control; the line check flushes both queues before its request.
int OpenLine(int port) {
    const int r = OpenComConfig(port, "", 19200, 0, 8, 1, 4096, 4096);
    if (r < 0) return r;
    SetComTime(port, 2.0);
    InstallComCallback(port, eventMask, FRAME_LEN, sync, RX_Receive_Function, nullptr);
    return r;
}

// During an exchange the exchange has its say first; the hold's end tells the loss.
int LineLost(int port) {
    if (port != com || ExchangeBusy()) return 0;
    ShowStatus(kLineLost);
    return 1;
}

// The device is back: opened and checked as a port change does it, but the sets are not
// fetched (the panels may hold edits not sent yet), and nothing that ran starts again.
int LineBack(int port) {
    if (ExchangeBusy()) return 0; // at the next look
    ExchangeHold hold;
    ShowStatus("Init COM-Port ...");
    const int r = OpenLine(port);
    if (r < 0) {
        ShowStatus(kLineLost);
        return 0;
    }
    com = port;
    SetCtrlVal(panelHandle, PANEL_DROPDCOM, com);
    if (CheckComLine(port) == 1) ShowStatus("Echo Check - Line Ok! Get fetches the parameters.");
    return 1;
}

} // namespace

// Whatever an exchange tried while the device is away, it is still awaited.
void ShowLineLostAfterExchange() {
    if (ComAwaited() == com) ShowStatus(kLineLost);
}

void InitRS232(int port) {
    ExchangeHold hold;
    SetComReplug(LineLost, LineBack);
    szFirmware[0] = '\0'; // another controller may answer now
    const int r = OpenLine(port);
    if (r < 0) {
        CopyText(szStatus, ComErrorText(r));
    } else {
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

int WaitRxFull() {
    int result = 1;
    tstart = Timer();
    for (;;) {
        ProcessSystemEvents(tstart + TIMEOUT);
        tdiff = Timer() - tstart;
        if (tdiff > TIMEOUT) {
            CopyText(szStatus, "Timeout-RS-232...");
            result = 0;
            break;
        }
        if (rx_flag != 0) break;
    }
    return result;
}

int CheckComLine(int port) {
    int result = 0;
    CopyVarsToPP(0);
    FillTxBuf(ORD_ECHO, pp);
    FlushInQ(port);
    FlushOutQ(port);
    nBytesW = WriteRequest(port, 2.0);
    nBytesR = ComRd(port, szReadBuf, FRAME_LEN); // waits up to the port's time-out for all of it
    AnswerTaken(); // read, or given up after the port's own time-out
    const auto* b = reinterpret_cast<const unsigned char*>(szReadBuf);
    if (nBytesR != FRAME_LEN) {
        CopyText(szStatus, "Timeout < 36 Bytes");
    } else if (((b[4] << 8) | b[5]) == 0x00AA) {
        CopyText(szStatus, "Echo Check - Line Ok!");
        result = 1;
    } else {
        CopyText(szStatus, "read error - not sync byte 0xAA!");
    }
    ShowStatus(szStatus);
    return result;
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
    ExchangeHold hold;
    WaitLineFree();
    CloseCom(com);
    GetCtrlVal(panelHandle, PANEL_DROPDCOM, com);
    ShowStatus("Init COM-Port ...");
    InitRS232(com);
    return 0;
}
