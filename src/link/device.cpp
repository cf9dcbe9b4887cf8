// SPDX-License-Identifier: GPL-3.0-or-later
// Exchanges whose answers are read straight from the port: firmware text, data block and
// info block.
#include <algorithm>
#include <cstring>
#include <string>

#include "link/com232.h"
#include "runtime/files.h"
#include "runtime/serial.h"

namespace {

// A request with the usual header, two data words and zeros.
int SendShortRequest(int code, int word0, int word1, double limit) {
    uint16_t words[PNUM] = {};
    words[0] = static_cast<uint16_t>(word0);
    words[1] = static_cast<uint16_t>(word1);
    return SendRequest(com, code, words, limit);
}

// Reads what waits, never past szReadBuf.
int ReadWaiting(int n) {
    n = std::clamp(n, 0, static_cast<int>(sizeof szReadBuf));
    return ComRd(com, szReadBuf, n);
}

} // namespace

char szFirmware[68];

// The text is read directly, which holds the receive notification back meanwhile.
int GetVERSIONInfo() {
    SendRequest(com, ORD_VERSION, pp, 2.0);
    ShowStatus("Waiting for firmware info ...");
    const int n = AwaitBytes(FIRMWARE_LEN, 2.0, "Timeout - reading firmware info!");
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
    SendShortRequest(code, start, kind, TIMEOUT);
    ShowStatus("Waiting for Data[64] ...");
    const int n = AwaitBytes(DATA64_LEN, TIMEOUT, "Timeout-RS-232 while reading 64 data-words!");
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
    int result = 1;
    SendShortRequest(ORD_INFOBLOCK, second, first, 2.0);
    nBytesR = ComRd(com, szReadBuf, FRAME_LEN); // waits up to the port's time-out for all of it
    AnswerTaken();
    if (nBytesR != FRAME_LEN) {
        CopyText(szStatus, "Timeout: SendInfoBlockToFlash < 36 Bytes");
        result = -1;
    } else if (EchoWordOk()) {
        CopyText(szStatus, "ok:  SendInfoBlockToFlash!");
    } else {
        CopyText(szStatus, "error : unknown F801 echo at order-20!");
        result = -2;
    }
    return result;
}
