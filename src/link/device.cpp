// SPDX-License-Identifier: GPL-3.0-or-later
// Exchanges whose answers are read straight from the port: firmware text, data block and
// info block.
#include <algorithm>
#include <cstring>
#include <string>

#include "link/com232.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/timing.h"

namespace {

// The direct waits do not pump events; they sleep on the line until their bytes or their
// limit. Only a port that is not open comes back at once: a short pause keeps that off the CPU.
constexpr double kPollPause = 0.001;

// Builds a frame with the usual header, two data words and zeros.
void FillShortFrame(int code, int word0, int word1) {
    uint16_t words[PNUM] = {};
    words[0] = static_cast<uint16_t>(word0);
    words[1] = static_cast<uint16_t>(word1);
    FillTxBuf(code, words);
}

// Once an answer's count is in, a byte more within this time makes it too long. On a line
// paced at 19200 baud the bytes after the count are still on their way when it is reached;
// 20 ms is 38 byte times, and longer than a USB adapter's pause between bursts (16 ms).
constexpr double kQuietAfterAnswer = 0.02;

// Sleeps on the line until count bytes have come and no more followed within the quiet time,
// or limit seconds have passed since tstart; returns what waits.
int WaitForAnswer(int count, double limit, const char* timeoutText) {
    const double deadline = tstart + limit;
    int n = 0;
    for (;;) {
        const bool counted = n >= count;
        const int now = std::max(WaitInQLen(com, counted ? n + 1 : count,
                                            counted ? std::min(Timer() + kQuietAfterAnswer, deadline) : deadline),
                                 0);
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

// Reads what waits, never past szReadBuf.
int ReadWaiting(int n) {
    n = std::clamp(n, 0, static_cast<int>(sizeof szReadBuf));
    return ComRd(com, szReadBuf, n);
}

} // namespace

char szFirmware[68];

int GetVERSIONInfo() {
    WaitLineFree();
    // The text is read directly, which holds the receive notification back meanwhile.
    FlushInQ(com);
    FlushOutQ(com);
    order = ORD_VERSION;
    FillTxBuf(ORD_VERSION, pp);
    nBytesW = WriteRequest(com, 2.0);
    ShowStatus("Waiting for firmware info ...");
    tstart = Timer();
    const int n = WaitForAnswer(FIRMWARE_LEN, 2.0, "Timeout - reading firmware info!");
    nBytesR = ReadWaiting(n);
    AnswerTaken(); // it came, or its time is up
    if (nBytesR == FIRMWARE_LEN) {
        // The text ends at its first zero, or at the end of the 72 bytes; szStatus keeps 67
        // characters of it.
        CopyText(szStatus, std::string(szReadBuf, strnlen(szReadBuf, FIRMWARE_LEN)).c_str());
        CopyText(szFirmware, szStatus);
    } else if (n > FIRMWARE_LEN) {
        // More than the text: something else shared the line, so the text cannot be trusted.
        CopyText(szStatus, "Error reading firmware-info!");
    }
    // Nothing is flushed after the read: every exchange flushes before its own request.
    ShowStatus(szStatus);
    return n;
}

int ReadData64(int start, int kind, int code) {
    int result = 0;
    WaitLineFree();
    FillShortFrame(code, start, kind);
    FlushInQ(com);
    FlushOutQ(com);
    nBytesW = WriteRequest(com, TIMEOUT);
    ShowStatus("Waiting for Data[64] ...");
    tstart = Timer();
    const int n = WaitForAnswer(DATA64_LEN, TIMEOUT, "Timeout-RS-232 while reading 64 data-words!");
    if (n < DATA64_LEN) {
        std::fill(yArrayA, yArrayA + 128, uint16_t{0});
        std::fill(yArrayB, yArrayB + 128, uint16_t{0});
    }
    nBytesR = ReadWaiting(n);
    AnswerTaken(); // it came, or its time is up
    uint16_t* dest = nullptr;
    switch (start) {
    case 0: dest = yArrayA; break;
    case 64: dest = yArrayA + 64; break;
    case 128: dest = yArrayB; break;
    case 192: dest = yArrayB + 64; break;
    default: break;
    }
    if (nBytesR == DATA64_LEN) {
        CopyText(szStatus, "Data[64] block received!");
        result = 64;
        const auto* b = reinterpret_cast<const unsigned char*>(szReadBuf);
        if (dest)
            for (int i = 0; i < 64; ++i) dest[i] = static_cast<uint16_t>((b[2 * i] << 8) | b[2 * i + 1]);
    } else if (n > DATA64_LEN) {
        // An overlong answer is no block: its place must not keep the last view's samples.
        CopyText(szStatus, "Data[64] block too long - dropped!");
        if (dest) std::fill(dest, dest + 64, uint16_t{0});
    }
    ShowStatus(szStatus);
    return result;
}

int SendInfoBlockToFlash(int first, int second) {
    order = ORD_INFOBLOCK;
    int result = 1;
    FillShortFrame(ORD_INFOBLOCK, second, first);
    nBytesW = WriteRequest(com, 2.0);
    nBytesR = ComRd(com, szReadBuf, FRAME_LEN); // waits up to the port's time-out for all of it
    AnswerTaken();
    const auto* b = reinterpret_cast<const unsigned char*>(szReadBuf);
    if (nBytesR != FRAME_LEN) {
        CopyText(szStatus, "Timeout: SendInfoBlockToFlash < 36 Bytes");
        result = -1;
    } else if (((b[4] << 8) | b[5]) == 0x00AA) {
        CopyText(szStatus, "ok:  SendInfoBlockToFlash!");
    } else {
        CopyText(szStatus, "error : unknown F801 echo at order-20!");
        result = -2;
    }
    return result;
}
