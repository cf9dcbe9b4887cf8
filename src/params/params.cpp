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
const ParamWord kParamWords[kParamCount] = {
    {0, 1, "powerA", 'A', &powerA},       {0, 2, "refA", 'A', &refA},         {0, 3, "tolA", 'A', &tolA},
    {0, 4, "triglvlA", 'A', &triglvlA},   {0, 5, "hysteresis", 0, &hysteresis}, {0, 6, "polarity", 0, &polarity},
    {0, 7, "hold", 0, &hold},             {0, 8, "average", 0, &average},     {0, 9, "hwmode", 0, &hwmode},
    {0, 10, "evalmode", 0, &evalmode},    {0, 11, "trigmode", 0, &trigmode},  {0, 12, "outmode", 0, &outmode},
    {0, 13, "anamode", 0, &anamode},      {0, 14, "sdelay", 0, &sdelay},      {0, 15, "maxmode", 0, &maxmode},
    {1, 1, "powerB", 'B', &powerB},       {1, 2, "refB", 'B', &refB},         {1, 3, "tolB", 'B', &tolB},
    {1, 4, "triglvlB", 'B', &triglvlB},
};

// Any set number but 0 means set 1; the words no variable holds are 0.
void CopyVarsToPP(uint16_t set) {
    pp[0] = set;
    std::fill(pp + 1, pp + PNUM, uint16_t{0});
    for (const ParamWord& p : kParamWords)
        if (p.set == (set != 0)) pp[p.word] = *p.var;
}

// Word 0 is not checked: the block is taken as the set the caller asked for.
void CopyPPtoVars(uint16_t set) {
    for (const ParamWord& p : kParamWords)
        if (p.set == (set != 0)) *p.var = pp[p.word];
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
