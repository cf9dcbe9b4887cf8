// SPDX-License-Identifier: GPL-3.0-or-later
// Request and answer frames, and the link's run-time state.
#include "link/com232.h"

#include <algorithm>

int com;
namespace com232 {
int sync = 0x55;
}
int order;
int rx_flag;
int graphrefresh;
int nBytesW, nBytesR;
double tstart, tdiff;
char szStatus[68];
char szWriteBuf[1024];
char szReadBuf[1024];
uint16_t pp[PNUM];

uint16_t xArray[256];
uint16_t yArrayA[256];
uint16_t yArrayB[256];

void FillTxBuf(int code, const uint16_t* words) {
    auto* b = reinterpret_cast<unsigned char*>(szWriteBuf);
    b[0] = static_cast<unsigned char>((com232::sync >> 8) & 0xFF);
    b[1] = static_cast<unsigned char>(com232::sync & 0xFF);
    b[2] = static_cast<unsigned char>((code >> 8) & 0xFF);
    b[3] = static_cast<unsigned char>(code & 0xFF);
    for (int i = 0; i < PNUM; ++i) {
        b[4 + 2 * i] = static_cast<unsigned char>((words[i] >> 8) & 0xFF);
        b[5 + 2 * i] = static_cast<unsigned char>(words[i] & 0xFF);
    }
}

void GetRxBuf(int count) {
    // Words past the frame's 16 would come from outside the answer: never more than PNUM.
    count = std::min(count, PNUM);
    const auto* b = reinterpret_cast<const unsigned char*>(szReadBuf);
    for (int i = 0; i < count; ++i)
        pp[i] = static_cast<uint16_t>((b[4 + 2 * i] << 8) | b[5 + 2 * i]);
}
