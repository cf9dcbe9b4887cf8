// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the receive path and the direct reads with arbitrary byte streams from the line.
// The front end runs on the slave side of an in-process pty; a small responder thread on the
// master side answers requests. Byte 0 picks what the rest of the input is:
//   0  bytes arriving unasked (the receive callback, through WaitRxFull / event processing)
//   1  the answer to the firmware-text request (GetVERSIONInfo)
//   2  the answer to a data-block request (ReadData64; byte 1 picks the start word)
//   3  the answer to a parameter-set request (PushGET)
//   4  the answer to an info-block request (SendInfoBlockToFlash)
// Answers are padded to the length the exchange waits for, so no execution sits out a
// time-out; longer answers stay as they are.
#include <QApplication>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "app/app.h"
#include "app/panels.h"
#include "link/com232.h"
#include "params/params.h"
#include "platform/serial.h"
#include "platform/ui.h"

namespace {

int master = -1;
std::mutex armLock;
std::deque<std::vector<uint8_t>> armed; // the answers to the next requests, in order

void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// Bytes toward the front end; what does not fit on the line is lost, as on a real line.
ssize_t Send(const uint8_t* p, size_t n) { return ::write(master, p, n); }

// Answers every whole request with the next armed answer; requests always come whole.
void Responder() {
    size_t held = 0;
    uint8_t buf[512];
    for (;;) {
        pollfd pfd{master, POLLIN, 0};
        const ssize_t n = ::poll(&pfd, 1, 100) > 0 ? ::read(master, buf, sizeof buf) : 0;
        for (held += static_cast<size_t>(std::max<ssize_t>(n, 0)); held >= FRAME_LEN; held -= FRAME_LEN) {
            std::vector<uint8_t> answer;
            {
                std::lock_guard<std::mutex> g(armLock);
                if (armed.empty()) continue;
                answer.swap(armed.front());
                armed.pop_front();
            }
            Send(answer.data(), answer.size());
        }
    }
}

// The answer to the next request not yet answered: these bytes, padded to what the exchange waits for.
void Arm(const uint8_t* p, size_t n, size_t atLeast) {
    std::lock_guard<std::mutex> g(armLock);
    armed.emplace_back(p, p + n);
    armed.back().resize(std::max(n, atLeast), 0);
}

// Lets what is still in flight arrive, then empties the front end's input queue.
void Settle() {
    for (int i = 0; i < 3; ++i) ProcessSystemEvents();
    FlushInQ(com);
    rx_flag = 0;
    std::lock_guard<std::mutex> g(armLock);
    armed.clear();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication app(*argc, *argv);
    master = ::open("/dev/ptmx", O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) Fail("no pty");
    setenv("ZEP4_SERIAL_PORTS", ::ptsname(master), 1);
    std::thread(Responder).detach();
    // Start-up: the line check's echo word, the two parameter sets (word 0 names each), the firmware text.
    const uint8_t echo[] = {0, 0x55, 0, ORD_ECHO, 0x00, 0xAA}, set1[] = {0, 0x55, 0, ORD_READ_RAM, 0, 1};
    Arm(echo, sizeof echo, FRAME_LEN);
    Arm(set1, 4, FRAME_LEN);
    Arm(set1, sizeof set1, FRAME_LEN);
    Arm(reinterpret_cast<const uint8_t*>("FUZZ firmware"), 13, FIRMWARE_LEN);

    RegisterPanels();
    panelHandle = LoadPanel(0, kPanelResourceFile, PANEL);
    panelPopUp = LoadPanel(0, kPanelResourceFile, POPUP);
    if (panelHandle <= 0 || panelPopUp <= 0) Fail("panels did not load");
    GetProjectDir(proj_dir);
    InitVars();
    InitRS232(com);
    if (std::strcmp(szStatus, "FUZZ firmware") != 0) Fail("start-up did not finish");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int mode = data[0] % 5;
    const uint8_t* body = data + 1;
    const size_t n = size - 1;
    Settle();
    static uint16_t beforeA[256], beforeB[256];
    std::memcpy(beforeA, yArrayA, sizeof yArrayA);
    std::memcpy(beforeB, yArrayB, sizeof yArrayB);

    switch (mode) {
    case 0: {
        uint16_t ppBefore[PNUM];
        std::memcpy(ppBefore, pp, sizeof pp);
        Send(body, n);
        if (n >= static_cast<size_t>(FRAME_LEN)) {
            if (WaitRxFull() != 1) Fail("a whole frame was not taken in");
            for (int i = 0; i < PNUM; ++i)
                if (pp[i] != ((body[4 + 2 * i] << 8) | body[5 + 2 * i])) Fail("frame words decoded wrongly");
        } else {
            for (int i = 0; i < 5; ++i) ProcessSystemEvents();
            if (rx_flag != 0) Fail("fewer than 36 bytes counted as an answer");
            if (std::memcmp(ppBefore, pp, sizeof pp) != 0) Fail("a part frame changed pp");
        }
        break;
    }
    case 1: {
        Arm(body, n, FIRMWARE_LEN);
        const int got = GetVERSIONInfo();
        if (got < FIRMWARE_LEN) Fail("firmware answer not seen");
        if (got == FIRMWARE_LEN) {
            char text[FIRMWARE_LEN + 1] = {};
            std::memcpy(text, body, std::min(n, static_cast<size_t>(FIRMWARE_LEN)));
            if (std::strncmp(szStatus, text, sizeof szStatus - 1) != 0) Fail("firmware text garbled");
        }
        break;
    }
    case 2: {
        static const int starts[] = {0, 64, 128, 192, 1, 63, 256, -64, 65535, 32768};
        const int start = starts[body[0] % 10];
        Arm(body + 1, n - 1, DATA64_LEN);
        order = ORD_DATA64;
        ReadData64(start, body[0] >> 7, ORD_DATA64);
        break;
    }
    case 3:
        Arm(body, n, FRAME_LEN);
        PushGET(RAM, body[0] & 1);
        break;
    case 4:
        Arm(body, n, FRAME_LEN);
        SendInfoBlockToFlash(body[0], n > 1 ? body[1] : 0);
        break;
    }
    if (GetInQLen(com) < 0) Fail("the port was closed by what came down the line");
    if (mode == 1 || mode == 2) {
        // These two show szStatus itself: the status line must give back exactly its bytes.
        std::string shown;
        GetCtrlVal(panelHandle, PANEL_STATUS, shown);
        if (shown != szStatus) Fail("the status line differs from szStatus");
    }
    // Only a data block may change the curves, and only their entries 0..127 (a write past the
    // arrays is ASan's to find).
    const size_t kept = mode == 2 ? 128 : 0, keptBytes = sizeof yArrayA - kept * sizeof(uint16_t);
    if (std::memcmp(beforeA + kept, yArrayA + kept, keptBytes) != 0 || std::memcmp(beforeB + kept, yArrayB + kept, keptBytes) != 0)
        Fail("data arrays changed where this exchange may not write");
    return 0;
}
