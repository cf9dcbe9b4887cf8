// SPDX-License-Identifier: GPL-3.0-or-later
// Device link: frames, opening the port, start-up and the line check, the receive path and the
// answer waits, one exchange at a time, and the direct reads, against the simulated controller.

#include <thread>

#include <termios.h>

#include <QLineEdit>
#include <QSignalSpy>

#include "support/harness.h"

namespace {

using Bytes = std::vector<uint8_t>;
using I = std::vector<int>;
using F = zep4sim::Faults;
const char* const kFirmware = "ZEP4-SIM Firmware V1.07 (simulated controller)";

// How long the next request would wait for the line.
double LineFreeAfter() {
    const double t0 = Timer();
    WaitLineFree();
    return Timer() - t0;
}
// Writes a set-0 request the way the senders do; the answer is left to the receive path.
void SendRequest(int code, double limit = TIMEOUT) {
    CopyVarsToPP(0);
    FillTxBuf(code, pp);
    FlushInQ(com);
    rx_flag = 0;
    nBytesW = WriteRequest(com, limit);
}

class Link : public ::testing::Test {
protected:
    void TearDown() override { CloseCom(com); }
    // A controller and the front end started against it.
    void Up(const zep4sim::Options& options = zep4sim::defaultOptions()) {
        host = StartSim(options);
        StartFrontEnd();
    }
    std::unique_ptr<zep4sim::PtyHost> host;
};

} // namespace

TEST(LinkFrames, BytesOnTheWireAndBackAndTheAwaitedAnswer) {
    uint16_t words[PNUM];
    for (int i = 0; i < PNUM; ++i) words[i] = uint16_t(0x1020 * (i + 1) + i);
    std::fill(szWriteBuf, szWriteBuf + 40, char(0x77));
    FillTxBuf(0x10000 | ORD_INFOBLOCK, words); // only the low 16 bits of the code travel
    Bytes want = {0x00, 0x55, 0x00, 0x14};
    for (uint16_t w : words) want.push_back(uint8_t(w >> 8)), want.push_back(uint8_t(w));
    want.push_back(0x77);
    EXPECT_EQ(Bytes(szWriteBuf, szWriteBuf + FRAME_LEN + 1), want);
    // Answer words are unsigned and big-endian; bytes 0..3 play no part, nor do words past the count.
    for (int i = 0; i < 40; ++i) szReadBuf[i] = char(0xF0 - 3 * i);
    std::fill(pp, pp + PNUM, uint16_t{7});
    GetRxBuf(3);
    EXPECT_EQ(I(pp, pp + 4), I({0xE4E1, 0xDEDB, 0xD8D5, 7}));

    const std::pair<int, const char*> texts[] = {
        {-1, "Unknown system error"}, {-2, "Invalid port number"}, {-3, "Port is not open"}, {-4, "Unknown I/0 error"},
        {-6, "No serial port found"}, {-7, "Cannot open port"},    {-13, "Invalid parameter"}, {-99, "Timeout"},
        {-5, "RS-232 error!"},        {-12, "RS-232 error!"}};
    for (const auto& [code, text] : texts) EXPECT_STREQ(ComErrorText(code), text) << code;

    // The wait for a frame, without a line: an answer counts only when it names the set waited
    // for, one already in counts even past the limit, and a raised stop ends the wait first.
    const int raised = 1;
    const struct { int rx, word0, wanted; const int* stop; Awaited want; } cases[] = {
        {1, 0, 0, nullptr, Awaited::Taken},  {1, 1, 0, nullptr, Awaited::Timeout}, {1, 0, 1, nullptr, Awaited::Timeout},
        {1, 7, -1, nullptr, Awaited::Taken}, {0, 0, -1, nullptr, Awaited::Timeout}, {1, 0, 0, &raised, Awaited::Stopped}};
    for (const auto& c : cases) {
        rx_flag = c.rx, pp[0] = uint16_t(c.word0), tstart = Timer() - 1.0; // the limit has passed
        EXPECT_EQ(int(AwaitFrame(0.5, c.wanted, c.stop)), int(c.want)) << int(&c - cases);
    }
    rx_flag = 0;
}

// The port opens at 19200 baud 8N1. Start-up checks the line with the
// panel's set 0, fetches both RAM sets onto the panels and shows the firmware text; a set that
// does not come is named instead.
TEST_F(Link, StartUpShowsTheControllersValues) {
    host = StartSim(zep4sim::Options());
    const zep4sim::Words ram0 = {0, 501, 602, 103, 904, 25, 6, 107, 8, 2, 1, 3, 1, 2, 514, 15},
                         ram1 = {1, 701, 742, 73, 704};
    host->engine().setRamSet(0, ram0), host->engine().setRamSet(1, ram1);
    ResetFrontEnd();
    refA = 4321;
    Choose(panelHandle, PANEL_RBTEEPROM, 1);
    const double t0 = Timer();
    InitRS232(com);
    EXPECT_LT(Timer() - t0, 1.5); // each answer frees the line at once: no request waits out a deadline
    EXPECT_EQ(StatusText(), kFirmware);
    const int fd = ::open(host->devicePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    termios tio{};
    ASSERT_EQ(::tcgetattr(fd, &tio), 0);
    ::close(fd);
    EXPECT_EQ(I({int(cfgetospeed(&tio)), int(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS))}), I({B19200, CS8}));
    EXPECT_EQ(Orders(*host), I({ORD_ECHO, ORD_READ_RAM, ORD_READ_RAM, ORD_VERSION}));
    const auto echo = host->requests().front().words;
    EXPECT_EQ(I({echo[0], echo[2], target}), I({0, 4321, RAM}));
    GetPanelValues(); // the panels hold the controller's sets
    EXPECT_EQ(I({refA, refB}), I({ram0[2], ram1[2]}));

    Up(WithFaults(MakeFaults(&F::silentAfter, 2))); // echo, set 0, then nothing
    EXPECT_EQ(StatusText(), "No answer for parameter set 1 (CH-B)!");
    EXPECT_EQ(refA, zep4sim::initialRamSet(0)[2]); // set 0 still reaches the panels
}

// A line check and an info block against the same faulty answers; each frees the line. Then a
// port change to a sound controller, where both succeed.
TEST_F(Link, LineCheckInfoBlockAndPortChange) {
    // minSeconds: the port's own time-out
    const struct { zep4sim::Faults faults; const char* line; double minSeconds; int info; const char* infoStatus; } cases[] = {
        {MakeFaults(&F::shortBy, 1), "Timeout < 36 Bytes", 2.0, -1, "Timeout: SendInfoBlockToFlash < 36 Bytes"},
        {MakeFaults(&F::wrongEcho, true), "read error - not sync byte 0xAA!", 0.0, -2,
         "error : unknown F801 echo at order-20!"},
        {MakeFaults(&F::echoHighByte, true), "read error - not sync byte 0xAA!", 0.0, -2,
         "error : unknown F801 echo at order-20!"},
    };
    for (const auto& c : cases) {
        const double t0 = Timer();
        Up(WithFaults(c.faults));
        EXPECT_EQ(StatusText(), c.line);
        EXPECT_TRUE(Timer() - t0 >= c.minSeconds && Timer() - t0 < c.minSeconds + 1.5) << Timer() - t0;
        EXPECT_EQ(Orders(*host), I{ORD_ECHO}); // no start-up exchanges
        SetComTime(com, 0.3);
        EXPECT_EQ(SendInfoBlockToFlash(0x1234, 0x0567), c.info);
        EXPECT_EQ(Bytes(szWriteBuf, szWriteBuf + 8), Bytes({0x00, 0x55, 0x00, 0x14, 0x05, 0x67, 0x12, 0x34}));
        EXPECT_STREQ(szStatus, c.infoStatus);
        EXPECT_LT(LineFreeAfter(), 0.2); // answered or given up
    }
    // A port change from the last of them starts up on the chosen port; inside another exchange
    // the ring goes back to the port in use.
    auto faulty = std::move(host);
    host = StartSim();
    SetPort1(faulty->devicePath() + ":" + host->devicePath());
    StartFrontEnd();
    {
        ExchangeHold other;
        Choose(panelHandle, PANEL_DROPDCOM, 2);
    }
    EXPECT_EQ(I({com, CtrlInt(panelHandle, PANEL_DROPDCOM)}), I({1, 1}));
    Choose(panelHandle, PANEL_DROPDCOM, 2);
    EXPECT_EQ(I({com, CheckComLine(com), SendInfoBlockToFlash(0x1234, 0x0567)}), I({2, 1, 1}));
    // The info block shows nothing: the line check's text stays.
    EXPECT_EQ(StatusText() + " | " + szStatus, "Echo Check - Line Ok! | ok:  SendInfoBlockToFlash!");
}

TEST_F(Link, FirmwareTextsThenAHangUp) {
    zep4sim::Options o;
    o.firmwareText = std::string(60, 'F') + "0123456789"; // 70 characters
    for (bool noZero : {false, true}) {                   // zero after the text / none in 72
        o.faults.firmwareNoZero = noZero;
        Up(o);
        EXPECT_EQ(StatusText(), o.firmwareText.substr(0, 67)) << noZero;
    }
    o = WithFaults(MakeFaults(&F::overlongBy, 2)); // more than the text on the line is no text,
    o.paced = true;                                // also while the rest is on its way
    Up(o);
    EXPECT_EQ(StatusText(), "Error reading firmware-info!");
    EXPECT_STREQ(szFirmware, ""); // not the text of the controller before (pictures name it)

    Up(WithFaults(MakeFaults(&F::silentOrders, std::set<int>{ORD_VERSION})));
    EXPECT_EQ(StatusText(), "Error reading firmware-info!");

    // The receive callback is back on; the next request is answered, then the line drops.
    host->setFaults(MakeFaults(&F::hangupAfter, static_cast<int>(host->requests().size()) + 1));
    SendRequest(ORD_READ_RAM);
    EXPECT_EQ(WaitRxFull(), 1);
    EXPECT_TRUE(PumpUntil([&] { return host->hungUp(); }, 1.0));
    EXPECT_EQ(I({ComWrt(com, szWriteBuf, FRAME_LEN), CheckComLine(com), GetVERSIONInfo()}), I({kRS_PortNotOpen, 0, 0}));
    EXPECT_EQ(StatusText(), "Timeout - reading firmware info!");
    SendRequest(ORD_READ_RAM); // a request never written keeps nobody waiting
    EXPECT_LT(LineFreeAfter(), 0.2);
    // The wait's time-out is stored, not shown; its pumping lets the line's loss be told.
    EXPECT_EQ(WaitRxFull(), 0);
    EXPECT_EQ(StatusText() + " | " + szStatus, "RS-232 line lost - waiting for the device ... | Timeout-RS-232...");
}

TEST_F(Link, DataBlocks) {
    auto up = [&](const zep4sim::Options& o) {
        Up(o);
        InstallComCallback(com, 0, FRAME_LEN, com232::sync, nullptr, nullptr);
        std::fill(yArrayA, yArrayA + 256, uint16_t{9999});
        std::fill(yArrayB, yArrayB + 256, uint16_t{9999});
    };
    up(zep4sim::defaultOptions());
    for (int start : {0, 64, 128, 192}) { // each start word fills its own quarter
        EXPECT_EQ(ReadData64(start, 1, ORD_DATA64), 64);
        EXPECT_EQ(start < 128 ? yArrayA[start + 5] : yArrayB[start - 123], zep4sim::dataSample(start / 128, 1, start % 128 + 5));
    }
    const std::vector<uint16_t> before(yArrayA, yArrayA + 256);
    // Each text the status line shows, also one overwritten before any repaint.
    QSignalSpy shown(qobject_cast<QLineEdit*>(CtrlWidget(panelHandle, PANEL_STATUS)), &QLineEdit::textChanged);
    // An answer nobody took, still waiting on the line, is no part of the next answer.
    for (int block : {1, 0}) {
        shown.clear();
        FillTxBuf(ORD_LIVE, pp);
        ComWrt(com, szWriteBuf, FRAME_LEN);
        ASSERT_TRUE(PumpUntil([] { return GetInQLen(com) == FRAME_LEN; }, 1.0));
        if (block) // read, and dropped: no quarter starts at 32
            EXPECT_EQ(ReadData64(32, 0, ORD_DATA64), 64);
        else
            GetVERSIONInfo();
        EXPECT_EQ(std::vector<uint16_t>(yArrayA, yArrayA + 256), before);
        QStringList texts;
        for (const QList<QVariant>& args : shown) texts << args[0].toString();
        EXPECT_EQ(texts, (block ? QStringList{"Waiting for Data[64] ...", "Data[64] block received!"}
                                : QStringList{"Waiting for firmware info ...", kFirmware}));
        EXPECT_LT(LineFreeAfter(), 0.2); // answered: the next request need not wait
    }

    // More than a block is no block, also at the line rate with the rest still on its way; only
    // its own place is cleared. An answer longer than the receive buffer is read up to its end.
    zep4sim::Options paced = WithFaults(MakeFaults(&F::noiseBytes, 1000)); // 1128 bytes
    paced.paced = true;
    up(paced);
    EXPECT_EQ(I({ReadData64(64, 1, ORD_DATA64), nBytesR}), I({0, int(sizeof szReadBuf)}));
    EXPECT_EQ(StatusText(), "Data[64] block too long - dropped!");
    EXPECT_EQ(I({yArrayA[63], yArrayA[64], yArrayA[127], yArrayB[64]}), I({9999, 0, 0, 9999}));
    host->setFaults(MakeFaults(&F::silentOrders, std::set<int>{ORD_DATA64}));
    EXPECT_EQ(ReadData64(0, 0, ORD_DATA64), 0);
    EXPECT_EQ(StatusText(), "Timeout-RS-232 while reading 64 data-words!");
    EXPECT_EQ(std::count(yArrayA, yArrayA + 129, 0) + std::count(yArrayB, yArrayB + 129, 0), 256);
}

// The receive notification takes one whole frame, flags it and frees the line; whatever else
// waits is dropped.
TEST_F(Link, ReceivePathAndAnswerWaits) {
    Up();
    // An answer that came while nobody pumped is taken in before a flag left from before counts.
    SendRequest(ORD_READ_RAM);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    rx_flag = 1, pp[2] = 0, graphrefresh = 0;
    EXPECT_EQ(WaitRxFull(), 1);
    EXPECT_EQ(I({graphrefresh, pp[2]}), I({1, zep4sim::initialRamSet(0)[2]}));

    // Two answers at once: the first is taken, the second dropped.
    InstallComCallback(com, 0, FRAME_LEN, com232::sync, nullptr, nullptr);
    for (int set : {0, 1}) CopyVarsToPP(uint16_t(set)), FillTxBuf(ORD_READ_RAM, pp), ComWrt(com, szWriteBuf, FRAME_LEN);
    EXPECT_TRUE(PumpUntil([] { return GetInQLen(com) >= 2 * FRAME_LEN; }, 1.0));
    pp[0] = 9, rx_flag = 0;
    InstallComCallback(com, eventMask, FRAME_LEN, com232::sync, RX_Receive_Function, nullptr);
    EXPECT_TRUE(PumpUntil([] { return rx_flag == 1; }, 1.0));
    PumpFor(0.05);
    EXPECT_EQ(I({pp[0], GetInQLen(com)}), I({0, 0}));
}

// While a hold lives the starters are held off, and Stop too unless the exchange is stoppable;
// a nested hold changes nothing, and an action asked for meanwhile waits for the hold's end.
// A request keeps the line until its answers or its deadline.
TEST_F(Link, OneExchangeAtATime) {
    Up();
    const int mainControls[] = {PANEL_BTNRUN,      PANEL_BTNDATA,       PANEL_BTNSEND,  PANEL_BTNGET, PANEL_BUTTONTEACH,
                                PANEL_BUTTONRESET, PANEL_BUTTONREFRESH, PANEL_DROPDCOM, PANEL_BTNSTOP,
                                PANEL_RBTRAM,      PANEL_RBTEEPROM,     PANEL_RBTFILE};
    auto state = [&] {
        I s = {ExchangeBusy(), StopHeld()};
        for (int control : mainControls) s.push_back(CtrlAttr(panelHandle, control, Attr::Locked));
        for (int control : {POPUP_RECSTART, POPUP_RECSTOP}) s.push_back(CtrlAttr(panelPopUp, control, Attr::Locked));
        return s;
    };
    static int acted;
    for (bool stoppable : {false, true}) {
        I held(16, 1);
        held[1] = held[10] = held[15] = !stoppable; // Stop and the recording's stop
        acted = 0;
        {
            ExchangeHold outer(stoppable);
            ExchangeHold{}; // a nested hold changes nothing, also at its end
            WhenNoExchange([] { ++acted; });
            EXPECT_EQ(I({ExchangeEnding(), acted}), I({1, 0})) << stoppable;
            EXPECT_EQ(state(), held) << stoppable;
        }
        EXPECT_EQ(I({ExchangeEnding(), acted}), I({0, 1})) << stoppable;
        EXPECT_EQ(state(), I(16, 0)) << stoppable;
    }
    // Requests written back to back, answers taken by hand (the controller is silent: delay -1).
    const struct { double delay, limit; int requests, taken; double min, max; } waits[] = {
        {0.3, 2.0, 1, 0, 0.25, 1.2}, {-1, 0.4, 1, 0, 0.35, 1.5}, {-1, 5.0, 1, 1, 0, 0.2}, {-1, 5.0, 2, 2, 0, 0.2},
        {-1, 0.4, 2, 1, 0.35, 1.5}};
    for (const auto& w : waits) {
        host->setAnswerDelay(w.delay);
        host->setFaults(MakeFaults(&F::silent, w.delay < 0));
        for (int i = 0; i < w.requests; ++i) SendRequest(ORD_READ_RAM, w.limit);
        for (int i = 0; i < w.taken; ++i) AnswerTaken();
        const double waited = LineFreeAfter();
        EXPECT_TRUE(waited >= w.min && waited < w.max) << waited << " after a limit of " << w.limit;
    }
}

// A device pulled out and plugged back in while idle and during a run: the line's loss is told
// (after the run's own text), and back at its path the device is opened and checked once,
// nothing fetched or started again. Another device at another path is not taken.
TEST_F(Link, UnpluggedAndPluggedBack) {
    const std::string dir = MakeTempDir("zep4-plug"), lost = "RS-232 line lost - waiting for the device ...";
    zep4sim::Options o;
    o.linkPath = dir + "/line";
    host = StartSim(o);
    SetPort1(o.linkPath + ":" + dir + "/other"); // the link to the device, not the device
    StartFrontEnd();
    auto unplug = [&] { host->unplug(), host->clearRequests(); };
    for (bool running : {false, true}) {
        SCOPED_TRACE(running);
        if (running) {
            QTimer::singleShot(400, unplug);
            QTimer::singleShot(1000, [&] { host->plugIn(); }); // back before the run has given up
            Event(panelHandle, PANEL_BTNRUN, EVENT_COMMIT);
        } else {
            unplug();
            PumpFor(1.0);
            EXPECT_EQ(I({ComAwaited(), ComWrt(com, "x", 1)}), I({1, kRS_PortNotOpen}));
            host->plugIn();
        }
        EXPECT_EQ(StatusText(), lost);
        EXPECT_TRUE(PumpUntil([] { return StatusText() == "Echo Check - Line Ok! Get fetches the parameters."; }, 2.5));
        PumpFor(1.2);
        EXPECT_EQ(I({ComAwaited(), com}), I({0, 1}));
        EXPECT_EQ(Orders(*host), I{ORD_ECHO});
    }
    unplug(); // back as another device: not taken; choosing that port ends the waiting
    host->plugIn(dir + "/other");
    PumpFor(1.5);
    EXPECT_EQ(I({ComAwaited(), int(host->requests().size())}), I({1, 0}));
    Choose(panelHandle, PANEL_DROPDCOM, 2);
    EXPECT_EQ(I({ComAwaited(), com, int(host->requests().size()) > 0}), I({0, 2, 1}));
    std::filesystem::remove_all(dir);
}
