// SPDX-License-Identifier: GPL-3.0-or-later
// Every exchange zep4ctl has with the controller, through the front end's own link and
// parameter code. Outcome texts are the link's own: the last status text.
#include <algorithm>

#include "ctl/ctl.h"
#include "link/com232.h"
#include "live/live.h"
#include "params/params.h"
#include "runtime/serial.h"
#include "runtime/timing.h"

namespace ctl {

int Open(int port) {
    const int r = OpenLine(port);
    if (r < 0) return r;
    com = port;
    return 0;
}

const char* OpenErrorText(int code) { return ComErrorText(code); }

bool CheckLine() {
    CopyVarsToPP(0);
    return CheckComLine(com) == 1;
}

bool ReadFirmware(std::string& text) {
    if (GetVERSIONInfo() != FIRMWARE_LEN) return false;
    text = szFirmware;
    return true;
}

bool Fetch(bool eeprom, int set) { return PushGET(eeprom ? EEPROM : RAM, static_cast<uint16_t>(set)) == 1; }

// As the Send button does it: set 0, a pause for the controller to store it, set 1.
bool Write(bool eeprom) {
    const int code = eeprom ? ORD_WRITE_EEPROM : ORD_WRITE_RAM;
    CopyVarsToPP(0);
    const bool first = SendRequest(com, code, pp, kWriteAnswerWait) == FRAME_LEN;
    Delay(0.1);
    CopyVarsToPP(1);
    const bool whole = WriteFrame(com, code, pp, kWriteAnswerWait) == FRAME_LEN && first;
    if (!whole) ShowStatus("Transmit failed!");
    return whole;
}

bool Command(int code) { return SendCommand(code, false) == 1; }

bool LiveAnswer(double limit) {
    CopyVarsToPP(0);
    SendRequest(com, ORD_LIVE, pp, limit);
    if (AwaitFrame(limit) != Awaited::Taken) {
        ShowStatus("Timeout RS232-Line!");
        return false;
    }
    DecodeLiveAnswer();
    return true;
}

// Blocks at start words 0, 64 (channel A) and 128, 192 (channel B).
bool DataBlocks(int kind, uint16_t (&samples)[256]) {
    for (int b = 0; b < 4; ++b) {
        if (ReadData64(64 * b, kind, ORD_DATA64) != 64) return false;
    }
    std::copy(yArrayA, yArrayA + 128, samples);
    std::copy(yArrayB, yArrayB + 128, samples + 128);
    return true;
}

std::string Status() { return LastStatus(); }

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
