// SPDX-License-Identifier: GPL-3.0-or-later
// Every exchange zep4ctl has with the controller, through the front end's own link and
// parameter code. Outcome texts are the link's own (szStatus).
#include <algorithm>

#include "ctl/ctl.h"
#include "link/com232.h"
#include "live/live.h"
#include "params/params.h"
#include "platform/event_loop.h"
#include "platform/serial.h"
#include "platform/timing.h"

namespace ctl {

int Open(int port) {
    const int r = OpenComConfig(port, "", 19200, 0, 8, 1, 4096, 4096);
    if (r < 0) return r;
    SetComTime(port, 2.0);
    InstallComCallback(port, eventMask, FRAME_LEN, sync, RX_Receive_Function, nullptr);
    com = port;
    return 0;
}

const char* OpenErrorText(int code) { return ComErrorText(code); }

bool CheckLine() { return CheckComLine(com) == 1; }

bool ReadFirmware(std::string& text) {
    if (GetVERSIONInfo() != FIRMWARE_LEN) return false;
    text = szFirmware;
    return true;
}

bool Fetch(bool eeprom, int set) { return PushGET(eeprom ? EEPROM : RAM, static_cast<uint16_t>(set)) == 1; }

// As the Send button does it: set 0, a pause for the controller to store it, set 1.
bool Write(bool eeprom) {
    WaitLineFree();
    order = eeprom ? ORD_WRITE_EEPROM : ORD_WRITE_RAM;
    bool whole = true;
    for (uint16_t set : {0, 1}) {
        if (set == 1) Delay(0.1);
        CopyVarsToPP(set);
        FillTxBuf(order, pp);
        nBytesW = WriteRequest(com, kWriteAnswerWait);
        whole = whole && nBytesW == FRAME_LEN;
    }
    if (!whole) CopyText(szStatus, "Transmit failed!");
    return whole;
}

// Waits for any answer to the request just written, for at most limit seconds.
static bool AwaitAnswer(double limit, const char* timeoutText) {
    tstart = Timer();
    while (!rx_flag) {
        tdiff = Timer() - tstart;
        if (tdiff > limit) {
            CopyText(szStatus, timeoutText);
            return false;
        }
        ProcessSystemEvents(tstart + limit);
    }
    return true;
}

bool Command(int code) {
    WaitLineFree();
    FlushInQ(com);
    FlushOutQ(com);
    order = code;
    CopyVarsToPP(0);
    FillTxBuf(order, pp);
    rx_flag = 0;
    nBytesW = WriteRequest(com, TIMEOUT);
    return AwaitAnswer(TIMEOUT, "Timeout RS-232!!") && Fetch(false, 0);
}

bool LiveAnswer(double limit) {
    WaitLineFree();
    FlushInQ(com);
    FlushOutQ(com);
    order = ORD_LIVE;
    CopyVarsToPP(0);
    FillTxBuf(ORD_LIVE, pp);
    rx_flag = 0;
    nBytesW = WriteRequest(com, limit);
    if (!AwaitAnswer(limit, "Timeout RS232-Line!")) return false;
    DecodeLiveAnswer();
    return true;
}

// Blocks at start words 0, 64 (channel A) and 128, 192 (channel B).
bool DataBlocks(int kind, uint16_t (&samples)[256]) {
    for (int b = 0; b < 4; ++b) {
        order = ORD_DATA64;
        if (ReadData64(64 * b, kind, ORD_DATA64) != 64) return false;
    }
    std::copy(yArrayA, yArrayA + 128, samples);
    std::copy(yArrayB, yArrayB + 128, samples + 128);
    return true;
}

std::string Status() { return szStatus; }

void Close() {
    WaitLineFree();
    CloseCom(com);
}

Sets VarsToSets() {
    Sets s;
    for (uint16_t set : {0, 1}) {
        CopyVarsToPP(set);
        std::copy(pp, pp + PNUM, s.w[set]);
    }
    return s;
}

void SetsToVars(const Sets& s) {
    for (uint16_t set : {0, 1}) {
        std::copy(s.w[set], s.w[set] + PNUM, pp);
        CopyPPtoVars(set);
    }
}

int OrderCode(const std::string& command) {
    if (command == "teach") return ORD_TEACH;
    if (command == "reset") return ORD_RESET;
    if (command == "refresh") return ORD_REFRESH;
    return 0;
}

} // namespace ctl
