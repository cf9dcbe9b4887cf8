// SPDX-License-Identifier: GPL-3.0-or-later
// Serial run-time: opening a port with its line settings, port numbers, the receive notification
// (when it comes, with which events and data, never inside a direct call), the line's wake-up
// threshold, direct reads and writes with their time-outs, flushes, and a line that hangs up.

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <termios.h>

#include <thread>

#include "support/harness.h"

namespace {

using I = std::vector<int>;
int calls = 0, readPerCall = FRAME_LEN;
I taken, events; // bytes each notification read, and the events it was given
double calledAt; // when the last notification came

void Counting(int port, int e, void* data) {
    ++calls, events.push_back(e), calledAt = Timer();
    if (data) ++*static_cast<int*>(data);
    if (readPerCall > 0 || calls > 50) taken.push_back(ComRd(port, szReadBuf, readPerCall > 0 ? readPerCall : 4096));
}

// A notification that installs itself again and pumps events: never called inside itself.
int depth = 0, deepest = 0;
void Nesting(int port, int, void*) {
    ++depth, ++calls, deepest = std::max(deepest, depth);
    ComRd(port, szReadBuf, 4);
    if (calls == 1) InstallComCallback(port, LWRS_RECEIVE, 4, 0x55, Nesting, nullptr), PumpFor(0.05);
    --depth;
}

// A pty nobody serves: the test writes and reads the controller's side itself.
class Pty : public ::testing::Test {
protected:
    void SetUp() override {
        Open();
        Listen(FRAME_LEN);
        events.clear();
    }
    void TearDown() override {
        CloseCom(1);
        HangUp();
    }
    // A fresh pty as port 1.
    void Open() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(::grantpt(master) + ::unlockpt(master), 0);
        SetPort1(::ptsname(master));
        ASSERT_EQ(OpenComConfig(1, "", 19200, 0, 8, 1, 0, 0), 0);
    }
    void HangUp() { ::close(std::exchange(master, -1)); } // -1: nothing to close
    static int Install(int notify) { return InstallComCallback(1, LWRS_RECEIVE, notify, 0x55, Counting, nullptr); }
    // From an empty line: a notification per `notify` bytes, each reading `perCall` of them.
    void Listen(int notify, int perCall = FRAME_LEN) {
        FlushInQ(1);
        calls = 0, readPerCall = perCall, taken.clear();
        Install(notify);
    }
    void Send(int n) { ASSERT_EQ(::write(master, std::string(n, 'x').data(), n), n); }
    void Send(const std::string& s) { ASSERT_EQ(::write(master, s.data(), s.size()), ssize_t(s.size())); }
    // Sends bytes and lets what they bring about run; the notifications so far.
    template <class Bytes>
    int CallsAfter(const Bytes& bytes) {
        const int before = calls;
        Send(bytes);
        PumpUntil([&] { return calls > before; }, 0.5);
        PumpFor(0.05);
        return calls;
    }
    static ComWatch Watch() {
        ComWatch w{false, -2};
        EXPECT_EQ(GetComWatch(1, &w), 0);
        return w;
    }
    // The line's settings (termios on the master reach the pty), and the wake-up threshold the program left there.
    termios Line() const {
        termios tio{};
        EXPECT_EQ(::tcgetattr(master, &tio), 0);
        return tio;
    }
    int LineMin() const { return Line().c_cc[VMIN]; }
    int master = -1;
};

} // namespace

TEST_F(Pty, OpeningChecksItsSettingsAndSetsTheLine) {
    // line: speed, odd, mark/space, two stop bits (a pty keeps 8 data bits whatever is asked). Past each
    // range by one; below the lower ends the valid cases show a comparison turned round.
    const struct { long baud; int parity, bits, stop, in, out, result; I line; } cases[] = {
        {0, 0, 8, 1, 0, 0, kRS_InvalidParameter, {}},       {4000001, 0, 8, 1, 0, 0, kRS_InvalidParameter, {}},
        {9600, 5, 8, 1, 0, 0, kRS_InvalidParameter, {}},    {9600, 0, 9, 1, 0, 0, kRS_InvalidParameter, {}},
        {9600, 0, 8, 3, 0, 0, kRS_InvalidParameter, {}},    {1, 0, 8, 1, 0, 0, 0, {CBAUDEX, 0, 0, 0}},
        {19200, 0, 8, 1, 0, 0, 0, {B19200, 0, 0, 0}},      {4000000, 3, 5, 2, 4096, 4096, 0, {B4000000, 1, 1, 1}},
        {300, 1, 7, 1, 1, 1, 0, {B300, 1, 0, 0}},          {57600, 4, 6, 2, 0, 0, 0, {B57600, 0, 1, 1}},
    };
    for (const auto& c : cases) { // each opening closes the port first
        EXPECT_EQ(OpenComConfig(1, "", c.baud, c.parity, c.bits, c.stop, c.in, c.out), c.result) << c.baud << " " << c.parity;
        if (c.result != 0) continue;
        const termios tio = Line();
        EXPECT_EQ(I({int(cfgetospeed(&tio)), !!(tio.c_cflag & PARODD), !!(tio.c_cflag & CMSPAR), !!(tio.c_cflag & CSTOPB)}),
                  c.line) << c.baud;
    }
    EXPECT_EQ(CloseCom(1), 0);
    const int closed[] = {GetComWatch(1, nullptr), SetComTime(1, 1), SetCTSMode(1, 0), InstallComCallback(1, 0, 0, 0, nullptr, nullptr), FlushInQ(1),
                          FlushOutQ(1), ComWrt(1, "x", 1), ComRd(1, szReadBuf, 1), GetInQLen(1), CloseCom(1)};
    EXPECT_EQ(I(std::begin(closed), std::end(closed)), I(10, kRS_PortNotOpen));
}

// The notification comes once its bytes are in, with its events and data, while it takes them.
TEST_F(Pty, NotificationWhenItsBytesAddUp) {
    // 40 bytes: the notification takes 36, and the 4 left over count towards the next one. An empty
    // line wakes at its first byte, then sleeps through the rest.
    EXPECT_EQ(I({CallsAfter(40), LineMin(), CallsAfter(32)}), I({1, FRAME_LEN - 4, 2}));
    EXPECT_EQ(taken, I({FRAME_LEN, FRAME_LEN}));
    // Switched off (no mask, or no callback), the line wakes the program for every byte.
    Send(20);
    EXPECT_TRUE(PumpUntil([] { return GetInQLen(1) == 20; }, 0.5));
    for (auto [mask, callback] : {std::pair<int, ComCallbackPtr>{0, Counting}, {LWRS_RECEIVE, nullptr}}) {
        Install(FRAME_LEN);
        EXPECT_EQ(I({InstallComCallback(1, mask, FRAME_LEN, 0x55, callback, nullptr), LineMin()}), I({0, 0})) << mask;
    }
    // Switched on with bytes waiting, only the missing ones are waited for, up to the 255 the line can
    // count. Flow control set again leaves the line at the notification's threshold, not at Qt's own; a
    // flush drops what the notification had towards its count.
    Install(400);
    EXPECT_EQ(SetCTSMode(1, 1), 0);
    EXPECT_EQ(I({!!(Line().c_cflag & CRTSCTS), LineMin()}), I({1, 255}));
    EXPECT_EQ(I({FlushInQ(1), FlushOutQ(1), LineMin()}), I({0, 0, 0}));
    // A callback that leaves the bytes gets no second call for them, also not after a direct call (the
    // count) or when nothing more comes; a count of 1 comes once per byte, a count of 0 never.
    for (auto [notify, perCall, expected] : {std::array{4, 0, 1}, {1, 1, 4}, {0, 1, 0}}) {
        Listen(notify, perCall);
        EXPECT_EQ(I({CallsAfter(4), GetInQLen(1), CallsAfter("")}), I({expected, 4 - expected * perCall, expected})) << notify;
    }
    EXPECT_EQ(I({Install(-1), Install((1 << 20) + 1), Install(1 << 20), Install(0)}),
              I({kRS_InvalidParameter, kRS_InvalidParameter, 0, 0}));
}

// Which events the notification gets: its byte count, and the event character when asked for; a
// flush forgets a character seen. The data given at installation comes with every call.
TEST_F(Pty, NotificationEventsAndData) {
    int data = 0;
    readPerCall = 4;
    InstallComCallback(1, LWRS_RECEIVE | LWRS_RXFLAG, 4, 0x55, Counting, &data);
    EXPECT_EQ(I({CallsAfter("xxxx"), CallsAfter("xUxx"), CallsAfter("U")}), I({1, 2, 2})); // "U": short of the count
    FlushInQ(1);
    EXPECT_EQ(CallsAfter("xxxx"), 3);
    InstallComCallback(1, LWRS_RXFLAG, 4, 0x55, Counting, &data); // the event character alone
    EXPECT_EQ(CallsAfter("xxxx"), 3);
    FlushInQ(1);
    EXPECT_EQ(CallsAfter("xxUx"), 4);
    EXPECT_EQ(events, I({LWRS_RECEIVE, LWRS_RECEIVE | LWRS_RXFLAG, LWRS_RECEIVE, LWRS_RXFLAG}));
    EXPECT_EQ(data, 4);
    Listen(4);
    InstallComCallback(1, LWRS_RECEIVE, 4, 0x55, Nesting, nullptr);
    EXPECT_GE(CallsAfter(8), 1);
    EXPECT_EQ(deepest, 1);
}

// Direct reads and writes check their arguments; a read runs to its count or the port's time-out and
// sees every byte at once whatever the threshold. (That no notification comes inside a direct call
// the link's start-up shows: it reads the firmware text with its notification installed.)
TEST_F(Pty, DirectCalls) {
    const I arguments = {ComRd(1, nullptr, 1), ComRd(1, szReadBuf, -1), ComWrt(1, nullptr, 1), ComWrt(1, "x", -1),
                         ComRd(1, nullptr, 0), ComWrt(1, nullptr, 0), SetComTime(1, -0.5), SetComTime(1, 0), SetComTime(1, 0.3)};
    EXPECT_EQ(arguments, I({kRS_InvalidParameter, kRS_InvalidParameter, kRS_InvalidParameter, kRS_InvalidParameter, 0, 0,
                            kRS_InvalidParameter, 0, 0}));
    int minInRead = -2;
    // Bytes the line holds back for the notification are read at once, and a read that waits
    // takes the rest of its count, no more, woken by any byte.
    std::thread later([&] {
        Delay(0.1);
        minInRead = LineMin();
        Send(std::string(30, 'b'));
    });
    Send(std::string(12, 'a'));
    // The read's count, with the rest after the first piece.
    EXPECT_EQ(std::string(szReadBuf, ComRd(1, szReadBuf, 20)), std::string(12, 'a') + std::string(8, 'b'));
    later.join();
    EXPECT_EQ(I({GetInQLen(1), minInRead, LineMin()}), I({22, 0, FRAME_LEN - 22}));
}

// An answer that comes at the line rate, a byte at a time, in a FIFO's pieces of 8 or whole from a USB
// adapter, is announced once, whole, after its last byte, though the line is not watched while it comes,
// and wakes the program a few times, not once per piece. Bytes that come at once towards a count of 36:
// the line wakes the program again only for the rest of the count, and while more may still be on their
// way (a byte takes 10/19200 s) it is left unwatched until the last two can be in.
TEST_F(Pty, WaitingForTheRestOfTheCount) {
    for (auto [burst, wakes] : {std::pair{1, 6L}, {8, 5L}, {36, 2L}}) {
        Listen(FRAME_LEN);
        const long before = LoopSleeps();
        long atCall = -1;
        double lastSent = 0;
        std::thread paced([&, burst = burst] { // each piece when its last byte is due
            const auto t0 = std::chrono::steady_clock::now();
            for (int i = burst; i < FRAME_LEN + 4 + burst; i += burst) {
                std::this_thread::sleep_until(t0 + i * std::chrono::microseconds(521));
                if (i >= FRAME_LEN && !lastSent) lastSent = Timer();
                Send(std::min(burst, FRAME_LEN + 4 + burst - i));
            }
        });
        for (const double end = Timer() + (FRAME_LEN + 4) * 10.0 / 19200 + 0.1; Timer() < end;) {
            ProcessSystemEvents(end);
            if (calls && atCall < 0) atCall = LoopSleeps() - before;
        }
        paced.join();
        EXPECT_EQ(I({calls, GetInQLen(1), calledAt >= lastSent, atCall >= 1 && atCall <= wakes}), I({1, 4, 1, 1})) << burst << " " << atCall;
        EXPECT_EQ(taken, I({FRAME_LEN})) << burst;
    }
    auto plan = [&] { return I({LineMin(), Watch().watched, Watch().recheckMs}); };
    // first, later: VMIN, watched, re-check ms at once, and once the re-check is over
    const struct { int sent; I first, later; } cases[] = {
        {1, {35, 0, 17}, {35, 1, -1}}, {20, {16, 0, 7}, {16, 1, -1}}, {34, {2, 1, -1}, {2, 1, -1}}};
    for (const auto& c : cases) {
        Listen(FRAME_LEN);
        Send(c.sent);
        PumpUntil([] { return Watch().recheckMs > 0; }, 0.2); // not for the last two
        EXPECT_EQ(plan(), c.first) << c.sent;
        PumpFor(0.05);
        EXPECT_EQ(plan(), c.later) << c.sent;
        EXPECT_EQ(CallsAfter(FRAME_LEN - c.sent), 1) << c.sent;
        EXPECT_EQ(plan(), I({0, 1, -1})) << c.sent;
    }
    // Bytes that came while the line was unwatched count as come: the next look waits for the rest;
    // closed meanwhile, the port looks no more (until its deferred deletion, it would every 11 ms).
    Listen(FRAME_LEN);
    Send(1);
    PumpUntil([] { return Watch().recheckMs > 0; }, 0.2);
    Send(10);
    PumpUntil([] { return Watch().recheckMs != 17; }, 0.2);
    EXPECT_EQ(plan(), I({35, 0, 11}));
    CloseCom(1);
    const long before = LoopSleeps();
    for (const double end = Timer() + 0.3; Timer() < end;) ProcessSystemEvents(end);
    EXPECT_LT(LoopSleeps() - before, 10); // 4 here; 27 more if it looked on
}

// A readiness report whose read finds the bytes gone (another reader took them) and errno
// EAGAIN left from an earlier call: Qt calls it a resource error and stops reading the line;
// the program takes the reading up again.
TEST_F(Pty, ReadingGoesOnAfterAReportThatFoundNothing) {
    CloseCom(1);
    const int other = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0);
    QSocketNotifier first(other, QSocketNotifier::Read); // made before the port's: runs first
    QObject::connect(&first, &QSocketNotifier::activated, [&] { ::tcflush(other, TCIFLUSH), errno = EAGAIN; });
    ASSERT_EQ(OpenComConfig(1, "", 19200, 0, 8, 1, 0, 0), 0);
    Listen(FRAME_LEN);
    Send(3);
    PumpFor(0.05);
    first.setEnabled(false);
    EXPECT_EQ(I({Watch().watched, CallsAfter(FRAME_LEN)}), I({1, 1}));
    ::close(other);
}

// A notification queued for one opening of the port is not carried out on the next.
TEST_F(Pty, NotificationQueuedBeforeAReopeningIsDropped) {
    auto pulledIn = [&] { // read in by a direct call, which leaves their notification queued
        Send(4);
        for (const double t0 = Timer(); GetInQLen(1) < 4 && Timer() - t0 < 0.5;) Delay(0.002);
    };
    Listen(4, 0);
    pulledIn();
    ASSERT_EQ(OpenComConfig(1, "", 19200, 0, 8, 1, 0, 0), 0);
    Listen(4, 0);
    pulledIn();
    PumpFor(0.1);
    EXPECT_EQ(calls, 1);
}

// What a write left queued when its time ran out is dropped by a flush, never written later.
TEST_F(Pty, FlushDropsWhatAWriteLeftQueued) {
    SetComTime(1, 0.1);
    const std::string block(1 << 20, 'w');
    const int written = ComWrt(1, block.data(), int(block.size())); // nobody reads the other end yet
    EXPECT_LT(written, int(block.size()));
    EXPECT_EQ(FlushOutQ(1), 0);
    int drained = 0;
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    for (const double t0 = Timer(); Timer() - t0 < 0.3;) {
        PumpFor(0.01);
        for (ssize_t n; (n = ::read(master, szReadBuf, 1024)) > 0;) drained += int(n);
    }
    EXPECT_LE(drained, written);
}

// A line that hangs up: reads end at once, the port closes and tells so, no notification comes.
// The device is awaited, and its loss told from the event loop, until the port is closed.
TEST_F(Pty, LineThatHangsUp) {
    static I lost;
    lost.clear();
    SetComReplug([](int port) { return lost.push_back(port), 0; }, [](int) { return 0; });
    Send(10);
    HangUp();
    const double t0 = Timer();
    EXPECT_LE(ComRd(1, szReadBuf, FRAME_LEN), 10);
    EXPECT_EQ(CloseCom(1), kRS_PortNotOpen); // closed by the read itself
    // Noticed by a write: nothing is written, and the port closes.
    Open();
    HangUp();
    EXPECT_EQ(I({ComWrt(1, szWriteBuf, FRAME_LEN), CloseCom(1)}), I({0, kRS_PortNotOpen}));
    EXPECT_LT(Timer() - t0, 1.5); // neither the read nor the write waited out its time-out of 2 s
    // Noticed by the event loop alone: the port closes by itself.
    Open();
    Listen(FRAME_LEN);
    PumpFor(0.05);
    HangUp();
    PumpFor(0.3);
    EXPECT_EQ(I({ComAwaited(), CloseCom(1), ComAwaited(), calls}), I({1, kRS_PortNotOpen, 0, 0}));
    SetComReplug(nullptr, nullptr);
    EXPECT_EQ(lost, I({1})); // not for the two closed before the event loop ran
}

// Port numbers: a device keeps its number while it comes and goes, a new one takes the next free
// number, ZEP4_SERIAL_PORTS keeps the first ones. The system's ports are made up here; numbers
// are counted from the first one given, as others may have been numbered before.
TEST(LinkPorts, NumbersStayWithTheirDevicesWhileTheyComeAndGo) {
    setenv("ZEP4_SERIAL_PORTS", ":/dev/zep4-fake-env::/dev/null:", 1);
    NumberSerialPorts({}); // ports seen before move up past the two given here
    using System = std::vector<std::pair<std::string, std::string>>;
    int base = 0;
    auto numbering = [&](const System& system) { // the two given, then the made-up ones from the first
        std::string out;
        for (const SerialPortEntry& e : NumberSerialPorts(system)) {
            const bool made = e.device.rfind("/dev/zep4-usb", 0) == 0;
            if (made && base == 0) base = e.number;
            if (made) out += "+" + std::to_string(e.number - base) + " " + e.device + " (" + e.description + ") ";
            if (e.number <= 2) out += std::to_string(e.number) + " " + e.device + " (" + e.description + ") ";
        }
        return out;
    };
    const std::string env = "1 /dev/zep4-fake-env (ZEP4_SERIAL_PORTS, not present) 2 /dev/null (ZEP4_SERIAL_PORTS) ";
    const std::pair<std::string, std::string> a{"/dev/zep4-usb0", "A"}, b{"/dev/zep4-usb1", "B"},
        c{"/dev/zep4-usb2", "C"}, d{"/dev/zep4-usb3", "D"};
    const struct { System system; std::string listed; } steps[] = {
        {{b}, "+0 /dev/zep4-usb1 (B) "},
        {{a, b, {"/dev/null", "listed by the system too"}}, "+0 /dev/zep4-usb1 (B) +1 /dev/zep4-usb0 (A) "},
        {{a}, "+0 /dev/zep4-usb1 (not present) +1 /dev/zep4-usb0 (A) "},
        {{d, b, c, a}, "+0 /dev/zep4-usb1 (B) +1 /dev/zep4-usb0 (A) +2 /dev/zep4-usb2 (C) +3 /dev/zep4-usb3 (D) "},
    };
    for (size_t i = 0; i < std::size(steps); ++i) EXPECT_EQ(numbering(steps[i].system), env + steps[i].listed) << i;
}

// A live view of a busy sensor (inputs and values changing with every answer) wakes the program a few
// times per answer whatever pieces the answers come in: for the line, the paced refresh and its repaint,
// never once more per byte, per changed control or per request written.
TEST(LinkWakeUps, LiveViewOfABusySensor) {
    for (auto [burst, most] : {std::pair{1, 4.4}, {8, 4.4}, {36, 2.2}}) {
        zep4sim::Options o;
        o.paced = true, o.burstBytes = burst, o.sensor.inputsEveryAnswer = true, o.sensor.valueNoise = 3;
        auto host = StartSim(o);
        StartFrontEnd();
        DisplayPanel(panelHandle);
        PumpFor(0.2);
        const long before = LoopSleeps();
        QTimer::singleShot(1000, [] { Event(panelHandle, PANEL_BTNSTOP, EVENT_COMMIT); });
        Event(panelHandle, PANEL_BTNRUN, EVENT_COMMIT);
        const int answers = CountOrder(*host, zep4sim::kLive);
        EXPECT_GT(answers, 10) << burst;
        const double wakes = double(LoopSleeps() - before) / std::max(answers, 1); // the answer's own at least
        EXPECT_TRUE(wakes >= 1 && wakes <= most) << burst << ": " << wakes;
        PumpFor(0.1); // the answer in flight at Stop: the next start-up need not wait for it
        CloseCom(com);
    }
}
