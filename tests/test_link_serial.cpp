// Serial run-time: when the receive notification is delivered (against the simulated controller
// and on a bare pty whose line only wakes the program for whole notifications), and direct
// reads that see every byte in time but never run past the receive buffer.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "link/com232.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "platform/ui.h"
#include "support/harness.h"

namespace {

int calls = 0;
int readPerCall = FRAME_LEN;
std::vector<int> taken; // bytes each notification found and read

void Counting(int port, int events, void*) {
    ++calls;
    EXPECT_TRUE(events & LWRS_RECEIVE);
    if (readPerCall > 0) taken.push_back(ComRd(port, szReadBuf, readPerCall));
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
        taken.clear();
    }
    void TearDown() override { CloseCom(com); }
    std::unique_ptr<zep4sim::PtyHost> host;
};

// A pty nobody serves: the test writes the controller's side itself.
class SerialWake : public ::testing::Test {
protected:
    void SetUp() override {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(::grantpt(master), 0);
        ASSERT_EQ(::unlockpt(master), 0);
        SetPort1(::ptsname(master));
        ASSERT_EQ(OpenComConfig(1, "", 19200, 0, 8, 1, 4096, 4096), 0);
        SetComTime(1, 2.0);
        InstallComCallback(1, LWRS_RECEIVE, FRAME_LEN, 0x55, Counting, nullptr);
        calls = 0;
        readPerCall = FRAME_LEN;
        taken.clear();
    }
    void TearDown() override {
        CloseCom(1);
        if (master >= 0) ::close(master);
    }
    void Send(int n) {
        const std::string bytes(n, 'x');
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), n);
    }
    // The wake-up threshold the program left on the line (termios on the master reach the pty).
    int LineMin() const {
        termios tio{};
        EXPECT_EQ(::tcgetattr(master, &tio), 0);
        return tio.c_cc[VTIME] == 0 ? tio.c_cc[VMIN] : -1;
    }
    int master = -1;
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

TEST_F(SerialWake, NotificationWhenItsBytesAddUp) {
    EXPECT_EQ(LineMin(), FRAME_LEN); // the line sleeps through a notification's bytes
    Send(20);
    PumpFor(0.1);
    EXPECT_EQ(calls, 0);
    Send(16);
    EXPECT_TRUE(PumpUntil([] { return calls == 1; }, 0.5));

    // 40 bytes: the notification takes 36, and the 4 left over count towards the next one, so
    // 32 more must be enough.
    Send(40);
    EXPECT_TRUE(PumpUntil([] { return calls == 2; }, 0.5));
    PumpFor(0.05);
    Send(32);
    EXPECT_TRUE(PumpUntil([] { return calls == 3; }, 0.5));
    PumpFor(0.1);
    EXPECT_EQ(taken, (std::vector<int>{FRAME_LEN, FRAME_LEN, FRAME_LEN}));
    EXPECT_EQ(GetInQLen(1), 0);

    // Switched off, the line wakes the program for every byte again.
    InstallComCallback(1, 0, FRAME_LEN, 0x55, nullptr, nullptr);
    EXPECT_LE(LineMin(), 1);
    Send(5);
    PumpFor(0.05);
    EXPECT_EQ(GetInQLen(1), 5);
    // Switched on with bytes waiting: only the missing ones are waited for.
    InstallComCallback(1, LWRS_RECEIVE, FRAME_LEN, 0x55, Counting, nullptr);
    EXPECT_EQ(LineMin(), FRAME_LEN - 5);
    Send(31);
    EXPECT_TRUE(PumpUntil([] { return calls == 4; }, 0.5));
    EXPECT_EQ(taken.back(), FRAME_LEN);

    SetCTSMode(1, 0); // flow control set again must not leave the line at Qt's own threshold
    EXPECT_EQ(LineMin(), FRAME_LEN);
}

TEST_F(SerialWake, DirectReadsSeeShortAnswersWithTheNotificationInstalled) {
    SetComTime(1, 0.3);
    Send(35); // one byte short of an answer
    const double t0 = Timer();
    EXPECT_EQ(ComRd(1, szReadBuf, FRAME_LEN), 35);
    EXPECT_GT(Timer() - t0, 0.25); // held to its time-out, not longer
    EXPECT_LT(Timer() - t0, 1.0);

    // A direct read that ends early has its bytes at once, not only at the threshold.
    Send(12);
    const double t1 = Timer();
    EXPECT_EQ(ComRd(1, szReadBuf, 12), 12);
    EXPECT_LT(Timer() - t1, 0.2);

    PumpFor(0.05);
    EXPECT_EQ(calls, 0); // never inside the direct calls, and nothing left to announce
    EXPECT_EQ(LineMin(), FRAME_LEN);
    Send(FRAME_LEN);
    EXPECT_TRUE(PumpUntil([] { return calls == 1; }, 0.5));
}

TEST(LinkBuffers, DirectReadsNeverPassTheReceiveBuffer) {
    auto host = StartSim(WithFaults(MakeFaults(&zep4sim::Faults::noiseBytes, 1000))); // 1128- and 1072-byte answers
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
    EXPECT_STREQ(szStatus, "Error reading firmware-info!");
    CloseCom(com);
}
// Port numbers: a device keeps its number while it comes and goes, a new one takes the next free
// number, ZEP4_SERIAL_PORTS keeps the first ones. The system's ports are made up here; numbers
// are counted from the first one given, as others may have been numbered before.
TEST(LinkPorts, NumbersStayWithTheirDevicesWhileTheyComeAndGo) {
    const std::string env = "/dev/zep4-fake-env";
    SetPort1(env);
    using System = std::vector<std::pair<std::string, std::string>>;
    int base = 0;
    auto numbering = [&](const System& system) {
        std::vector<std::string> out;
        for (const SerialPortEntry& e : NumberSerialPorts(system)) {
            if (e.device.rfind("/dev/zep4-fake", 0) != 0) continue;
            if (base == 0 && e.number > 1) base = e.number;
            out.push_back((e.number == 1 ? "1" : "+" + std::to_string(e.number - base)) + " " + e.device + " (" +
                          e.description + ")");
        }
        return out;
    };
    const std::pair<std::string, std::string> a{"/dev/zep4-fake-usb0", "Adapter A"}, b{"/dev/zep4-fake-usb1", "Adapter B"},
        c{"/dev/zep4-fake-usb2", "Adapter C"}, d{"/dev/zep4-fake-usb3", "Adapter D"};
    const std::string envLine = "1 " + env + " (ZEP4_SERIAL_PORTS, not present)";
    const struct {
        System system;
        std::vector<std::string> listed;
    } steps[] = {
        {{b}, {envLine, "+0 /dev/zep4-fake-usb1 (Adapter B)"}},
        {{a, b, {env, "listed by the system too"}},
         {envLine, "+0 /dev/zep4-fake-usb1 (Adapter B)", "+1 /dev/zep4-fake-usb0 (Adapter A)"}},
        {{a}, {envLine, "+0 /dev/zep4-fake-usb1 (not present)", "+1 /dev/zep4-fake-usb0 (Adapter A)"}},
        {{d, b, c, a},
         {envLine, "+0 /dev/zep4-fake-usb1 (Adapter B)", "+1 /dev/zep4-fake-usb0 (Adapter A)",
          "+2 /dev/zep4-fake-usb2 (Adapter C)", "+3 /dev/zep4-fake-usb3 (Adapter D)"}},
    };
    for (size_t i = 0; i < std::size(steps); ++i) EXPECT_EQ(numbering(steps[i].system), steps[i].listed) << i;
}
