// Serial run-time: when the receive notification is delivered, and reads that never run past
// the receive buffer.
#include <gtest/gtest.h>

#include "link/com232.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "platform/ui.h"
#include "support/harness.h"

namespace {

int calls = 0;
int lastEvents = 0;
int readPerCall = FRAME_LEN;

void Counting(int port, int events, void*) {
    ++calls;
    lastEvents = events;
    if (readPerCall > 0) ComRd(port, szReadBuf, readPerCall);
}

// Writes a request without touching the input queue.
void Request(int code) {
    FillTxBuf(code, pp);
    ComWrt(com, szWriteBuf, FRAME_LEN);
}

class SerialNotify : public ::testing::Test {
protected:
    void SetUp() override {
        host = StartSim(zep4sim::Options());
        ResetFrontEnd();
        ASSERT_EQ(OpenComConfig(com, "", 19200, 0, 8, 1, 4096, 4096), 0);
        calls = 0;
        lastEvents = 0;
        readPerCall = FRAME_LEN;
    }
    void TearDown() override { CloseCom(com); }
    std::unique_ptr<zep4sim::PtyHost> host;
};

} // namespace

TEST_F(SerialNotify, OncePerNotifyCount) {
    ASSERT_EQ(InstallComCallback(com, eventMask, FRAME_LEN, sync, Counting, nullptr), 0);
    Request(ORD_READ_RAM);
    Request(ORD_READ_RAM);
    EXPECT_TRUE(PumpUntil([] { return calls >= 2; }, 1.0));
    PumpFor(0.1);
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(lastEvents & LWRS_RECEIVE);
    EXPECT_EQ(GetInQLen(com), 0);
}

TEST_F(SerialNotify, CallbackThatLeavesTheBytesIsNotCalledAgainForThem) {
    readPerCall = 0;
    InstallComCallback(com, eventMask, FRAME_LEN, sync, Counting, nullptr);
    Request(ORD_READ_RAM);
    EXPECT_TRUE(PumpUntil([] { return calls >= 1; }, 1.0));
    PumpFor(0.1);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(GetInQLen(com), FRAME_LEN);
}

TEST_F(SerialNotify, HeldBackDuringDirectCallsAndDeliveredAfter) {
    InstallComCallback(com, eventMask, FRAME_LEN, sync, Counting, nullptr);
    Request(ORD_READ_RAM);
    // The direct count pulls the answer in; the notification must wait for event processing.
    const double t0 = Timer();
    while (GetInQLen(com) < FRAME_LEN && Timer() - t0 < 1.0) Delay(0.002);
    EXPECT_EQ(calls, 0);
    ProcessSystemEvents();
    ProcessSystemEvents();
    EXPECT_EQ(calls, 1);

    // A direct read of the answer leaves nothing for the notification.
    Request(ORD_READ_RAM);
    EXPECT_EQ(ComRd(com, szReadBuf, FRAME_LEN), FRAME_LEN);
    PumpFor(0.1);
    EXPECT_EQ(calls, 1);
}

TEST_F(SerialNotify, SwitchedOff) {
    InstallComCallback(com, eventMask, FRAME_LEN, sync, Counting, nullptr);
    InstallComCallback(com, 0, FRAME_LEN, sync, nullptr, nullptr);
    Request(ORD_READ_RAM);
    PumpFor(0.2);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(GetInQLen(com), FRAME_LEN);
    // Switching it on with an answer already waiting delivers it.
    InstallComCallback(com, eventMask, FRAME_LEN, sync, Counting, nullptr);
    PumpFor(0.05);
    EXPECT_EQ(calls, 1);
}

TEST_F(SerialNotify, ReadTimesOutWithWhatCame) {
    zep4sim::Faults f;
    f.shortBy = 6;
    host->setFaults(f);
    SetComTime(com, 0.3);
    Request(ORD_READ_RAM);
    const double t0 = Timer();
    EXPECT_EQ(ComRd(com, szReadBuf, FRAME_LEN), FRAME_LEN - 6);
    EXPECT_GE(Timer() - t0, 0.25);
    EXPECT_LT(Timer() - t0, 1.5);
}

TEST(LinkBuffers, DirectReadsNeverPassTheReceiveBuffer) {
    zep4sim::Options o;
    o.faults.noiseBytes = 1000; // answers of 1128 and 1072 bytes
    auto host = StartSim(o);
    StartFrontEnd(); // the line check fails on the noise
    InstallComCallback(com, 0, FRAME_LEN, sync, nullptr, nullptr);
    EXPECT_EQ(ReadData64(0, 0, ORD_DATA64), 0);
    EXPECT_EQ(nBytesR, 1024);

    CopyText(szStatus, "kept");
    EXPECT_GE(GetVERSIONInfo(), 1024);
    EXPECT_EQ(nBytesR, 1024);
    EXPECT_STREQ(szStatus, "kept");
    CloseCom(com);
}
