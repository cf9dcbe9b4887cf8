// Serial run-time: when the receive notification is delivered, and direct reads that never
// run past the receive buffer.
#include <gtest/gtest.h>

#include "link/com232.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "platform/ui.h"
#include "support/harness.h"

namespace {

int calls = 0;
int readPerCall = FRAME_LEN;

void Counting(int port, int events, void*) {
    ++calls;
    EXPECT_TRUE(events & LWRS_RECEIVE);
    if (readPerCall > 0) ComRd(port, szReadBuf, readPerCall);
}

void Request() { // leaves the input queue alone
    FillTxBuf(ORD_READ_RAM, pp);
    ComWrt(com, szWriteBuf, FRAME_LEN);
}

class SerialNotify : public ::testing::Test {
protected:
    void SetUp() override {
        host = StartSim(zep4sim::Options());
        ResetFrontEnd();
        ASSERT_EQ(OpenComConfig(com, "", 19200, 0, 8, 1, 4096, 4096), 0);
        InstallComCallback(com, eventMask, FRAME_LEN, sync, Counting, nullptr);
        calls = 0;
        readPerCall = FRAME_LEN;
    }
    void TearDown() override { CloseCom(com); }
    std::unique_ptr<zep4sim::PtyHost> host;
};

} // namespace

TEST_F(SerialNotify, OncePerNotifyCountWhileItTakesTheBytes) {
    Request();
    Request();
    EXPECT_TRUE(PumpUntil([] { return calls >= 2; }, 1.0));
    PumpFor(0.1);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(GetInQLen(com), 0);

    readPerCall = 0; // a callback that leaves the bytes gets no second call for them
    Request();
    EXPECT_TRUE(PumpUntil([] { return calls >= 3; }, 1.0));
    PumpFor(0.1);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(GetInQLen(com), FRAME_LEN);
}

TEST_F(SerialNotify, NeverDuringDirectCalls) {
    Request();
    const double t0 = Timer();
    while (GetInQLen(com) < FRAME_LEN && Timer() - t0 < 1.0) Delay(0.002);
    EXPECT_EQ(calls, 0);
    ProcessSystemEvents(); // held back, then delivered with the next events
    ProcessSystemEvents();
    EXPECT_EQ(calls, 1);

    Request(); // a direct read leaves nothing to announce
    EXPECT_EQ(ComRd(com, szReadBuf, FRAME_LEN), FRAME_LEN);
    PumpFor(0.1);
    EXPECT_EQ(calls, 1);

    InstallComCallback(com, 0, FRAME_LEN, sync, nullptr, nullptr);
    Request();
    PumpFor(0.2);
    EXPECT_EQ(calls, 1);
    InstallComCallback(com, eventMask, FRAME_LEN, sync, Counting, nullptr); // switched on with bytes waiting
    PumpFor(0.05);
    EXPECT_EQ(calls, 2);
}

TEST(LinkBuffers, DirectReadsNeverPassTheReceiveBuffer) {
    zep4sim::Options o;
    o.faults.noiseBytes = 1000; // answers of 1128 and 1072 bytes
    auto host = StartSim(o);
    StartFrontEnd();
    InstallComCallback(com, 0, FRAME_LEN, sync, nullptr, nullptr);
    // The whole answer is normally in when the wait ends, but the pty may hand it over in parts.
    EXPECT_EQ(ReadData64(0, 0, ORD_DATA64), 0);
    EXPECT_GT(nBytesR, DATA64_LEN);
    EXPECT_LE(nBytesR, 1024);

    CopyText(szStatus, "kept");
    EXPECT_GT(GetVERSIONInfo(), FIRMWARE_LEN);
    EXPECT_GT(nBytesR, FIRMWARE_LEN);
    EXPECT_LE(nBytesR, 1024);
    EXPECT_STREQ(szStatus, "kept");
    CloseCom(com);
}
