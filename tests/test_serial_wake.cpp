// Serial run-time on a bare pty: the receive notification still comes as soon as its bytes are
// in when the line only wakes the program for whole notifications, and direct reads still see
// every byte that arrived before their time-out.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/serial.h"
#include "platform/timing.h"
#include "support/harness.h"

namespace {

constexpr int kPort = 1;
constexpr int kNotify = 36;

int calls = 0;
std::vector<int> taken; // bytes each notification found and read

void TakeNotifyCount(int port, int events, void*) {
    ++calls;
    EXPECT_TRUE(events & LWRS_RECEIVE);
    char buf[kNotify];
    taken.push_back(ComRd(port, buf, kNotify));
}

class SerialWake : public ::testing::Test {
protected:
    void SetUp() override {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(::grantpt(master), 0);
        ASSERT_EQ(::unlockpt(master), 0);
        SetPort1(::ptsname(master));
        ASSERT_EQ(OpenComConfig(kPort, "", 19200, 0, 8, 1, 4096, 4096), 0);
        SetComTime(kPort, 2.0);
        calls = 0;
        taken.clear();
    }
    void TearDown() override {
        CloseCom(kPort);
        if (master >= 0) ::close(master);
    }
    void Send(int n, char fill = 'x') {
        const std::string bytes(n, fill);
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

TEST_F(SerialWake, NotificationWhenItsBytesAddUp) {
    InstallComCallback(kPort, LWRS_RECEIVE, kNotify, 0x55, TakeNotifyCount, nullptr);
    EXPECT_EQ(LineMin(), kNotify); // the line sleeps through a notification's bytes

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
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(taken, (std::vector<int>{kNotify, kNotify, kNotify}));
    EXPECT_EQ(GetInQLen(kPort), 0);

    // Switched off, the line wakes the program for every byte again.
    InstallComCallback(kPort, 0, kNotify, 0x55, nullptr, nullptr);
    EXPECT_LE(LineMin(), 1);
    Send(5);
    PumpFor(0.05);
    EXPECT_EQ(GetInQLen(kPort), 5);
    // Switched on with bytes waiting: only the missing ones are waited for.
    InstallComCallback(kPort, LWRS_RECEIVE, kNotify, 0x55, TakeNotifyCount, nullptr);
    EXPECT_EQ(LineMin(), kNotify - 5);
    Send(31);
    EXPECT_TRUE(PumpUntil([] { return calls == 4; }, 0.5));
    EXPECT_EQ(taken.back(), kNotify);

    // Flow control set again must not leave the line at Qt's own threshold.
    SetCTSMode(kPort, 0);
    EXPECT_EQ(LineMin(), kNotify);
}

TEST_F(SerialWake, DirectReadsSeeShortAnswersWithTheNotificationInstalled) {
    InstallComCallback(kPort, LWRS_RECEIVE, kNotify, 0x55, TakeNotifyCount, nullptr);
    SetComTime(kPort, 0.3);

    Send(35); // one byte short of an answer
    char buf[kNotify] = {};
    const double t0 = Timer();
    EXPECT_EQ(ComRd(kPort, buf, kNotify), 35);
    const double waited = Timer() - t0;
    EXPECT_GT(waited, 0.25); // held to its time-out, not longer
    EXPECT_LT(waited, 1.0);

    Send(10);
    const double t1 = Timer();
    while (GetInQLen(kPort) < 10 && Timer() - t1 < 1.0) Delay(0.002);
    EXPECT_EQ(GetInQLen(kPort), 10);
    EXPECT_EQ(ComRd(kPort, buf, 10), 10);

    // A direct read that ends early has its bytes at once, not only at the threshold.
    Send(12);
    const double t2 = Timer();
    EXPECT_EQ(ComRd(kPort, buf, 12), 12);
    EXPECT_LT(Timer() - t2, 0.2);

    PumpFor(0.05);
    EXPECT_EQ(calls, 0); // never inside the direct calls, and nothing left to announce
    EXPECT_EQ(LineMin(), kNotify);
    Send(kNotify);
    EXPECT_TRUE(PumpUntil([] { return calls == 1; }, 0.5));
}
