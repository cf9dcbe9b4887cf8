// SPDX-License-Identifier: GPL-3.0-or-later
// Device link: frames, opening the port, start-up and the line check, the receive path and the
// answer waits, one exchange at a time, and the direct reads, against the simulated controller.

#include <QAbstractItemView>
#include <QComboBox>
#include <QSerialPort>

#include <sys/resource.h>
#include <termios.h>

#include "support/harness.h"

namespace {

using Bytes = std::vector<uint8_t>;
using I = std::vector<int>;
using F = zep4sim::Faults;
const char* const kFirmware = "ZEP4-SIM Firmware V1.07 (simulated controller)";

// 36 bytes: the given leading bytes, then zeros.
Bytes Frame(std::initializer_list<int> head) {
    Bytes b(FRAME_LEN, 0);
    std::copy(head.begin(), head.end(), b.begin());
    return b;
}
Bytes Sent() { return Bytes(szWriteBuf, szWriteBuf + FRAME_LEN); }
I Words(const zep4sim::Words& w, int n = PNUM) { return I(w.begin(), w.begin() + n); }
I Pp(int n = PNUM) { return I(pp, pp + n); }
double CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
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

TEST(LinkFrames, BytesOnTheWireAndBack) {
    uint16_t words[PNUM];
    for (int i = 0; i < PNUM; ++i) words[i] = uint16_t(0x1020 * (i + 1) + i);
    std::fill(szWriteBuf, szWriteBuf + 40, char(0x77));
    FillTxBuf(0x10000 | ORD_INFOBLOCK, words); // only the low 16 bits of the code travel
    Bytes want = {0x00, 0x55, 0x00, 0x14};
    for (uint16_t w : words) want.push_back(uint8_t(w >> 8)), want.push_back(uint8_t(w));
    want.push_back(0x77);
    EXPECT_EQ(Bytes(szWriteBuf, szWriteBuf + FRAME_LEN + 1), want);
    // Answer words are unsigned and big-endian; bytes 0..3 play no part, nor do words past 16.
    for (int i = 0; i < 40; ++i) szReadBuf[i] = char(0xF0 - 3 * i);
    std::fill(pp, pp + PNUM, uint16_t{7});
    GetRxBuf(3);
    EXPECT_EQ(Pp(4), I({0xE4E1, 0xDEDB, 0xD8D5, 7}));
    GetRxBuf(20);
    EXPECT_EQ(Pp()[15], 0x8A87);

    const std::pair<int, const char*> texts[] = {
        {-1, "Unknown system error"}, {-2, "Invalid port number"}, {-3, "Port is not open"}, {-4, "Unknown I/0 error"},
        {-6, "No serial port found"}, {-7, "Cannot open port"},    {-13, "Invalid parameter"}, {-99, "Timeout"},
        {-5, "RS-232 error!"},        {-12, "RS-232 error!"}};
    for (const auto& [code, text] : texts) EXPECT_STREQ(ComErrorText(code), text) << code;
}

TEST_F(Link, OpeningThePortAt19200Baud8N1) {
    host = StartSim(zep4sim::Options());
    ResetFrontEnd();
    EXPECT_EQ(OpenComConfig(1, "", 19200, 0, 9, 1, 4096, 4096), kRS_InvalidParameter);
    EXPECT_EQ(OpenComConfig(0, "", 19200, 0, 8, 1, 4096, 4096), kRS_InvalidPortNum);
    EXPECT_EQ(OpenComConfig(ListSerialPorts().back().number + 1, "", 19200, 0, 8, 1, 4096, 4096), kRS_InvalidPortNum);
    EXPECT_EQ(OpenComConfig(1, "", 19200, 0, 8, 1, 4096, 4096) + OpenComConfig(1, "", 19200, 0, 8, 1, 4096, 4096), 0);
    EXPECT_EQ(CloseCom(1), 0);
    EXPECT_EQ(CloseCom(1) + ComWrt(1, "x", 1), 2 * kRS_PortNotOpen);

    // Held by someone else, then free again; then a device that is not there.
    QSerialPort other(QString::fromStdString(host->devicePath()));
    ASSERT_TRUE(other.open(QIODevice::ReadWrite));
    InitRS232(1);
    EXPECT_EQ(StatusText(), "Cannot open port");
    EXPECT_TRUE(host->requests().empty());
    other.close();
    InitRS232(1);
    EXPECT_EQ(StatusText(), kFirmware);
    const int fd = ::open(host->devicePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    termios tio{};
    ASSERT_EQ(::tcgetattr(fd, &tio), 0);
    ::close(fd);
    EXPECT_EQ(I({int(cfgetospeed(&tio)), int(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS))}), I({B19200, CS8}));
    SetPort1("/dev/zep4-no-such-device");
    InitRS232(1);
    EXPECT_EQ(StatusText(), "Cannot open port");
}

// Start-up checks the line with the panel's set 0, fetches both RAM sets onto the panels and
// shows the firmware text; a set that does not come is named instead.
TEST_F(Link, StartUpShowsTheControllersValues) {
    host = StartSim(zep4sim::Options());
    const zep4sim::Words ram0 = {0, 501, 602, 103, 904, 25, 6, 107, 8, 2, 1, 3, 1, 2, 514, 15},
                         ram1 = {1, 701, 742, 73, 704};
    host->engine().setRamSet(0, ram0), host->engine().setRamSet(1, ram1);
    ResetFrontEnd();
    refA = 4321;
    Choose(panelHandle, PANEL_RBTEEPROM, 1);
    CopyText(szStatus, "before");
    const double t0 = Timer();
    InitRS232(com);
    EXPECT_LT(Timer() - t0, 1.5); // each answer frees the line at once: no request waits out a deadline
    EXPECT_EQ(StatusText(), kFirmware);
    EXPECT_EQ(Orders(*host), I({ORD_ECHO, ORD_READ_RAM, ORD_READ_RAM, ORD_VERSION}));
    const auto echo = host->requests().front().words;
    EXPECT_EQ(I({echo[0], echo[2]}), I({0, 4321}));
    EXPECT_EQ(target, RAM);
    GetPanelValues(); // the panels hold the controller's sets
    CopyVarsToPP(0);
    EXPECT_EQ(Pp(), Words(ram0));
    CopyVarsToPP(1);
    EXPECT_EQ(Pp(5), Words(ram1, 5));
    EXPECT_LT(tdiff, 1.0); // the firmware text was taken as soon as it was in

    CloseCom(com);
    host = StartSim(WithFaults(MakeFaults(&F::silentAfter, 2))); // echo, set 0, then nothing
    host->engine().setRamSet(0, ram0);
    ResetFrontEnd();
    InitRS232(com);
    EXPECT_EQ(StatusText(), "No answer for parameter set 1 (CH-B)!");
    EXPECT_EQ(refA, ram0[2]);
}

TEST_F(Link, LineCheck) {
    const struct {
        zep4sim::Faults faults;
        const char* status;
        double minSeconds; // the port's own time-out
    } cases[] = {
        {MakeFaults(&F::silent, true), "Timeout < 36 Bytes", 2.0},
        {MakeFaults(&F::shortBy, 1), "Timeout < 36 Bytes", 2.0},
        {MakeFaults(&F::wrongEcho, true), "read error - not sync byte 0xAA!", 0.0},
        {MakeFaults(&F::echoHighByte, true), "read error - not sync byte 0xAA!", 0.0},
    };
    for (const auto& c : cases) {
        const double t0 = Timer();
        Up(WithFaults(c.faults));
        EXPECT_EQ(StatusText(), c.status);
        EXPECT_GE(Timer() - t0, c.minSeconds);
        EXPECT_EQ(Orders(*host), I{ORD_ECHO}); // no start-up exchanges
        CloseCom(com);
    }
    Up();
    EXPECT_EQ(CheckComLine(com), 1);
    EXPECT_EQ(StatusText(), "Echo Check - Line Ok!");
}

// A port change closes the port in use and starts up on the chosen one; inside another exchange
// the ring goes back to the port in use.
TEST_F(Link, PortChange) {
    auto silent = StartSim(WithFaults(MakeFaults(&F::silent, true)));
    host = StartSim(zep4sim::Options());
    setenv("ZEP4_SERIAL_PORTS", (silent->devicePath() + ":" + host->devicePath()).c_str(), 1);
    StartFrontEnd();
    EXPECT_EQ(StatusText(), "Timeout < 36 Bytes");
    {
        ExchangeHold other;
        Choose(panelHandle, PANEL_DROPDCOM, 2);
    }
    EXPECT_EQ(I({com, CtrlInt(panelHandle, PANEL_DROPDCOM)}), I({1, 1}));
    SetCtrlVal(panelHandle, PANEL_DROPDCOM, 2);
    Event(panelHandle, PANEL_DROPDCOM, EVENT_LEFT_CLICK); // neither commit nor a new value
    EXPECT_EQ(com, 1);
    SetCtrlVal(panelHandle, PANEL_DROPDCOM, 1);
    Choose(panelHandle, PANEL_DROPDCOM, 2);
    EXPECT_EQ(com, 2);
    EXPECT_EQ(StatusText(), kFirmware);
    EXPECT_EQ(ComWrt(1, "x", 1), kRS_PortNotOpen);
}

TEST_F(Link, FirmwareTexts) {
    zep4sim::Options o;
    o.firmwareText = std::string(60, 'F') + "0123456789"; // 70 characters
    for (bool noZero : {false, true}) {                   // zero after the text / none in 72
        o.faults.firmwareNoZero = noZero;
        Up(o);
        EXPECT_EQ(StatusText(), o.firmwareText.substr(0, 67)) << noZero;
    }
    Up(WithFaults(MakeFaults(&F::overlongBy, 2))); // more than the text on the line is no text
    EXPECT_EQ(StatusText(), "Error reading firmware-info!");

    const double cpu0 = CpuSeconds(), t0 = Timer();
    Up(WithFaults(MakeFaults(&F::silentOrders, std::set<int>{ORD_VERSION})));
    EXPECT_GE(Timer() - t0, 2.0);
    EXPECT_LT((CpuSeconds() - cpu0) / (Timer() - t0), 0.5); // the wait sleeps between its looks
    EXPECT_EQ(StatusText(), "Error reading firmware-info!");
    SendRequest(ORD_READ_RAM); // the receive callback is back on
    EXPECT_EQ(WaitRxFull(), 1);
    EXPECT_EQ(pp[2], zep4sim::initialRamSet(0)[2]);
}

TEST_F(Link, DataBlocks) {
    Up();
    InstallComCallback(com, 0, FRAME_LEN, sync, nullptr, nullptr);
    std::fill(yArrayA, yArrayA + 256, uint16_t{9999});
    std::fill(yArrayB, yArrayB + 256, uint16_t{9999});
    // Each start word fills its own quarter.
    const int quarters[][3] = {{64, 0, 64}, {192, 1, 64}, {0, 0, 0}, {128, 1, 0}};
    for (auto [start, channel, at] : quarters) {
        EXPECT_EQ(ReadData64(start, 1, ORD_DATA64), 64);
        EXPECT_EQ(Sent(), Frame({0x00, 0x55, 0x00, 0x09, start >> 8, start & 0xFF, 0x00, 0x01}));
        const uint16_t* curve = channel ? yArrayB : yArrayA;
        for (int i = 0; i < 64; ++i) ASSERT_EQ(curve[at + i], zep4sim::dataSample(channel, 1, at + i)) << start;
        EXPECT_EQ(I({yArrayA[128], yArrayB[128]}), I({9999, 9999}));
        if (start == 64) { EXPECT_EQ(yArrayA[0], 9999); } // not yet read
    }
    EXPECT_EQ(StatusText(), "Data[64] block received!");
    const std::vector<uint16_t> before(yArrayA, yArrayA + 256);
    EXPECT_EQ(ReadData64(32, 0, ORD_DATA64), 64); // read and dropped
    EXPECT_EQ(std::vector<uint16_t>(yArrayA, yArrayA + 256), before);
    // An answer nobody took, still waiting on the line, is no part of the next answer.
    for (int block : {1, 0}) {
        FillTxBuf(ORD_LIVE, pp);
        ComWrt(com, szWriteBuf, FRAME_LEN);
        ASSERT_TRUE(PumpUntil([] { return GetInQLen(com) == FRAME_LEN; }, 1.0));
        if (block) {
            EXPECT_EQ(ReadData64(32, 0, ORD_DATA64), 64);
        } else {
            GetVERSIONInfo();
            EXPECT_EQ(StatusText(), zep4sim::defaultOptions().firmwareText);
        }
        const double t0 = Timer();
        WaitLineFree(); // answered: the next request need not wait
        EXPECT_LT(Timer() - t0, 0.2);
    }

    host->setFaults(MakeFaults(&F::overlongBy, 2)); // only its own place is cleared
    EXPECT_EQ(ReadData64(64, 1, ORD_DATA64), 0);
    EXPECT_EQ(StatusText(), "Data[64] block too long - dropped!");
    EXPECT_EQ(I({yArrayA[63], yArrayA[64], yArrayA[127], yArrayB[64]}),
              I({before[63], 0, 0, zep4sim::dataSample(1, 1, 64)}));
    host->setFaults(MakeFaults(&F::silentOrders, std::set<int>{ORD_DATA64}));
    const double cpu0 = CpuSeconds(), t0 = Timer();
    EXPECT_EQ(ReadData64(0, 0, ORD_DATA64), 0);
    EXPECT_LT((CpuSeconds() - cpu0) / (Timer() - t0), 0.5); // the wait sleeps between its looks
    EXPECT_GE(tdiff, TIMEOUT);
    EXPECT_EQ(StatusText(), "Timeout-RS-232 while reading 64 data-words!");
    EXPECT_EQ(std::count(yArrayA, yArrayA + 129, 0) + std::count(yArrayB, yArrayB + 129, 0), 256);
}

TEST_F(Link, InfoBlock) {
    Up();
    SetComTime(com, 0.3);
    const struct { zep4sim::Faults faults; int result; const char* status; } cases[] = {
        {{}, 1, "ok:  SendInfoBlockToFlash!"},
        {MakeFaults(&F::wrongEcho, true), -2, "error : unknown F801 echo at order-20!"},
        {MakeFaults(&F::echoHighByte, true), -2, "error : unknown F801 echo at order-20!"},
        {MakeFaults(&F::silent, true), -1, "Timeout: SendInfoBlockToFlash < 36 Bytes"},
    };
    for (const auto& c : cases) {
        host->setFaults(c.faults);
        EXPECT_EQ(SendInfoBlockToFlash(0x1234, 0x0567), c.result);
        EXPECT_EQ(Sent(), Frame({0x00, 0x55, 0x00, 0x14, 0x05, 0x67, 0x12, 0x34}));
        EXPECT_STREQ(szStatus, c.status);
        const double t0 = Timer();
        WaitLineFree(); // answered or given up: the line is free
        EXPECT_LT(Timer() - t0, 0.2);
    }
}

// The receive notification takes one whole frame for its event, flags it and frees the line;
// whatever else waits is dropped.
TEST_F(Link, ReceivePathAndAnswerWaits) {
    Up();
    rx_flag = 1; // already set: one pump, no waiting
    double t0 = Timer();
    EXPECT_EQ(WaitRxFull(), 1);
    EXPECT_LT(Timer() - t0, 0.5);

    SendRequest(ORD_READ_RAM); // answered while nobody waits: still taken in
    pp[2] = 0, graphrefresh = 0;
    EXPECT_TRUE(PumpUntil([] { return rx_flag == 1; }, 1.0));
    EXPECT_EQ(I({graphrefresh, pp[2]}), I({1, zep4sim::initialRamSet(0)[2]}));

    // Two answers at once: the first is taken, the second dropped.
    InstallComCallback(com, 0, FRAME_LEN, sync, nullptr, nullptr);
    for (int set : {0, 1}) CopyVarsToPP(uint16_t(set)), FillTxBuf(ORD_READ_RAM, pp), ComWrt(com, szWriteBuf, FRAME_LEN);
    EXPECT_TRUE(PumpUntil([] { return GetInQLen(com) >= 2 * FRAME_LEN; }, 1.0));
    RX_Receive_Function(com, LWRS_RXFLAG, nullptr); // not its event
    EXPECT_EQ(GetInQLen(com), 2 * FRAME_LEN);
    pp[0] = 9, rx_flag = 0;
    InstallComCallback(com, eventMask, FRAME_LEN, sync, RX_Receive_Function, nullptr);
    EXPECT_TRUE(PumpUntil([] { return rx_flag == 1; }, 1.0));
    PumpFor(0.05);
    EXPECT_EQ(I({pp[0], GetInQLen(com)}), I({0, 0}));

    // A short answer never makes a notification; a notification whose read comes up short takes nothing.
    host->setFaults(MakeFaults(&F::shortBy, 1));
    SendRequest(ORD_READ_RAM);
    graphrefresh = 0;
    EXPECT_EQ(WaitRxFull(), 0);
    InstallComCallback(com, 0, FRAME_LEN, sync, nullptr, nullptr);
    SendRequest(ORD_READ_RAM);
    pp[2] = 4321;
    PumpUntil([] { return GetInQLen(com) >= FRAME_LEN - 1; }, 1.0);
    SetComTime(com, 0.2);
    RX_Receive_Function(com, LWRS_RECEIVE, nullptr);
    EXPECT_EQ(I({rx_flag, graphrefresh, pp[2]}), I({0, 0, 4321}));

    host->setFaults(MakeFaults(&F::silent, true));
    ShowStatus("before");
    SendRequest(ORD_READ_RAM);
    EXPECT_EQ(WaitRxFull(), 0);
    EXPECT_GE(tdiff, TIMEOUT);
    EXPECT_STREQ(szStatus, "Timeout-RS-232...");
    EXPECT_EQ(StatusText(), "before"); // stored, not shown
}

// While a hold lives the starters are held off, and Stop too unless the exchange is stoppable;
// a nested hold changes nothing. A request keeps the line until its answer or its deadline.
TEST_F(Link, OneExchangeAtATime) {
    Up();
    const std::pair<int, int> starters[] = {{panelHandle, PANEL_BTNRUN},       {panelHandle, PANEL_BTNDATA},
                                            {panelHandle, PANEL_BTNSEND},      {panelHandle, PANEL_BTNGET},
                                            {panelHandle, PANEL_BUTTONTEACH},  {panelHandle, PANEL_BUTTONRESET},
                                            {panelHandle, PANEL_BUTTONREFRESH}, {panelHandle, PANEL_DROPDCOM},
                                            {panelPopUp, POPUP_RECSTART},      {panelHandle, PANEL_BTNSTOP},
                                            {panelPopUp, POPUP_RECSTOP}};
    auto state = [&] {
        I s = {ExchangeBusy(), StopHeld()};
        for (auto [panel, control] : starters) s.push_back(CtrlAttr(panel, control, Attr::Locked));
        return s;
    };
    const I idle(13, 0);
    for (bool stoppable : {false, true}) {
        I held(13, 1);
        held[1] = held[11] = held[12] = !stoppable;
        {
            ExchangeHold outer(stoppable);
            EXPECT_EQ(state(), held) << stoppable;
            {
                ExchangeHold inner;
                EXPECT_EQ(state(), held) << stoppable;
            }
            EXPECT_EQ(state(), held) << stoppable;
        }
        EXPECT_EQ(state(), idle) << stoppable;
    }
    const struct {
        double delay, limit;
        bool taken;
        double min, max;
    } waits[] = {{0.3, 2.0, false, 0.25, 1.2}, {-1, 0.4, false, 0.35, 1.5}, {-1, 5.0, true, 0, 0.2}};
    for (const auto& w : waits) {
        host->setAnswerDelay(w.delay);
        host->setFaults(MakeFaults(&F::silent, w.delay < 0));
        SendRequest(ORD_READ_RAM, w.limit);
        if (w.taken) AnswerTaken();
        const double t0 = Timer();
        WaitLineFree();
        EXPECT_GE(Timer() - t0, w.min);
        EXPECT_LT(Timer() - t0, w.max);
    }
}

TEST_F(Link, HangUpMidRun) {
    Up();
    host->setFaults(MakeFaults(&F::hangupAfter, static_cast<int>(host->requests().size()) + 1));
    SendRequest(ORD_LIVE); // answered, then the line drops
    EXPECT_EQ(WaitRxFull(), 1);
    EXPECT_TRUE(PumpUntil([&] { return host->hungUp(); }, 1.0));
    const double cpu0 = CpuSeconds(), t0 = Timer();
    PumpFor(1.0);
    EXPECT_LT((CpuSeconds() - cpu0) / (Timer() - t0), 0.5); // the dead port does not spin
    EXPECT_EQ(ComWrt(com, szWriteBuf, FRAME_LEN), kRS_PortNotOpen);
    EXPECT_EQ(CheckComLine(com), 0);
    EXPECT_EQ(StatusText(), "Timeout < 36 Bytes");
    EXPECT_LT(GetVERSIONInfo(), FIRMWARE_LEN);
    EXPECT_EQ(StatusText(), "Timeout - reading firmware info!");
}

// A controller whose device appears only after start-up (an adapter plugged in later), then goes
// and comes back: opening the port ring shows it there, and choosing it reaches the controller.
TEST_F(Link, PortThatAppearsLaterIsChosenFromTheRingAgainAndAgain) {
    const std::string dir = MakeTempDir("zep4-plug");
    zep4sim::Options o;
    o.linkPath = dir + "/zep4.tty";
    SetPort1(o.linkPath);
    StartFrontEnd();
    SetCtrlVal(panelHandle, PANEL_DROPDCOM, 1); // the ring as a fresh start shows it
    EXPECT_EQ(StatusText(), "Cannot open port");
    auto* ring = PanelWidget(panelHandle)->findChild<QComboBox*>("PANEL_DROPDCOM");
    ASSERT_NE(ring, nullptr);
    auto look = [&] { // opens the list and says what port 1 is
        QTest::keyClick(ring, Qt::Key_F4);
        return ring->itemText(0).toStdString();
    };
    EXPECT_EQ(look(), "1: " + o.linkPath + " (ZEP4_SERIAL_PORTS, not present)");
    QTest::keyClick(ring->view(), Qt::Key_Escape);
    for (int plugged = 1; plugged <= 2; ++plugged) {
        host = std::make_unique<zep4sim::PtyHost>(o);
        ASSERT_TRUE(host->start());
        ShowStatus("before");
        EXPECT_EQ(look(), "1: " + o.linkPath + " (ZEP4_SERIAL_PORTS)");
        EXPECT_EQ(StatusText(), "before"); // nothing reopened the port
        QTest::keyClick(ring->view(), Qt::Key_Return); // port 1 chosen
        EXPECT_EQ(StatusText(), kFirmware) << plugged;
        host->stop(); // unplugged: the device and its link are gone
        host.reset();
    }
    std::filesystem::remove_all(dir);
}
