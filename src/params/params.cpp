// SPDX-License-Identifier: GPL-3.0-or-later
// Parameter variables, their place in the two 16-word sets, the GET exchange and the
// command that makes the controller change set 0.
#include "params/params.h"

#include <algorithm>

#include "link/com232.h"
#include "runtime/files.h"

uint16_t powerA, powerB, refA, refB, tolA, tolB, hysteresis, polarity, hold, hwmode, average, evalmode,
    triglvlA, triglvlB, trigmode, sdelay, outmode, anamode, maxmode;
uint16_t ref10Bit, tol10Bit;

int target;
char file_name[MAX_PATHNAME_LEN];

// Set 0 carries channel A and the common settings, set 1 channel B; word 0 is the set number.
void CopyVarsToPP(uint16_t set) {
    pp[0] = set;
    if (set == 0) {
        pp[1] = powerA;
        pp[2] = refA;
        pp[3] = tolA;
        pp[4] = triglvlA;
        pp[5] = hysteresis;
        pp[6] = polarity;
        pp[7] = hold;
        pp[8] = average;
        pp[9] = hwmode;
        pp[10] = evalmode;
        pp[11] = trigmode;
        pp[12] = outmode;
        pp[13] = anamode;
        pp[14] = sdelay;
        pp[15] = maxmode;
    } else {
        pp[1] = powerB;
        pp[2] = refB;
        pp[3] = tolB;
        pp[4] = triglvlB;
        std::fill(pp + 5, pp + PNUM, uint16_t{0});
    }
}

// Word 0 is not checked: the block is taken as the set the caller asked for.
void CopyPPtoVars(uint16_t set) {
    if (set == 0) {
        powerA = pp[1];
        refA = pp[2];
        tolA = pp[3];
        triglvlA = pp[4];
        hysteresis = pp[5];
        polarity = pp[6];
        hold = pp[7];
        average = pp[8];
        hwmode = pp[9];
        evalmode = pp[10];
        trigmode = pp[11];
        outmode = pp[12];
        anamode = pp[13];
        sdelay = pp[14];
        maxmode = pp[15];
    } else {
        powerB = pp[1];
        refB = pp[2];
        tolB = pp[3];
        triglvlB = pp[4];
    }
}

int PushGET(int from, uint16_t set) {
    if (from == DATFILE) return 0; // files go through ReadParaFromFile
    CopyVarsToPP(set);
    SendRequest(com, from == EEPROM ? ORD_READ_EEPROM : ORD_READ_RAM, pp, TIMEOUT);
    if (nBytesW == FRAME_LEN) ShowStatus("Waiting for parameter-frame ...");
    // Only an answer that names this set is taken: a late answer to the other set, a live
    // answer or noise shifted into a frame is dropped and the wait goes on.
    if (AwaitFrame(TIMEOUT, set) != Awaited::Taken) {
        CopyText(szStatus, "Timeout-RS-232...");
        ShowStatus(szStatus);
        return 0;
    }
    CopyPPtoVars(set);
    ShowStatus("Parameter-frame received! - Line Ok!");
    return 1;
}

int SendCommand(int code, bool teach) {
    CopyVarsToPP(0);
    SendRequest(com, code, pp, TIMEOUT);
    if (nBytesW == FRAME_LEN) ShowStatus("Line Ok!");
    if (teach) ShowStatus("New setpoint value teached!");
    // What the controller now uses is fetched, or the next send would undo it.
    const int fetched = AwaitFrame(TIMEOUT) == Awaited::Taken ? PushGET(RAM, 0) : 0;
    // Covers both a silent command and a fetch that timed out.
    if (!fetched) ShowStatus("Timeout RS-232!!");
    return fetched;
}
