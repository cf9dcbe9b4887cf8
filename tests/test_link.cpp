// Device link: frames, opening the port, the line check, the answer wait and the direct reads,
// against the simulated controller on a real pty.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QSerialPort>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/panels.h"
#include "link/com232.h"
#include "params/params.h"
#include "platform/panel_builder.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "platform/ui.h"
#include "support/harness.h"

namespace {

using Bytes = std::vector<uint8_t>;
const char* const kFirmware = "ZEP4-SIM Firmware V1.07 (simulated controller)";

// 36 bytes: the given leading bytes, then zeros.
Bytes Frame(std::initializer_list<int> head) {
    Bytes b(FRAME_LEN, 0);
    std::copy(head.begin(), head.end(), b.begin());
    return b;
}

Bytes Sent() { return Bytes(szWriteBuf, szWriteBuf + FRAME_LEN); }

double CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

// Writes a set-0 request the way the senders do; the answer is left to the receive path.
void SendRequest(int code) {
    CopyVarsToPP(0);
    FillTxBuf(code, pp);
    FlushInQ(com);
    FlushOutQ(com);
    rx_flag = 0;
    nBytesW = ComWrt(com, szWriteBuf, FRAME_LEN);
}

std::vector<int> Orders(const zep4sim::PtyHost& host) {
    std::vector<int> out;
    for (const auto& r : host.requests()) out.push_back(r.order);
    return out;
}

using F = zep4sim::Faults;

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

TEST(LinkFrames, BytesOnTheWire) {
    uint16_t words[PNUM] = {0x1234, 0xFFFE};
    words[15] = 0xABCD;
    order = 3;
    FillTxBuf(0x10000 | ORD_INFOBLOCK, words); // only the low 16 bits of the code travel
    Bytes want = Frame({0x00, 0x55, 0x00, 0x14, 0x12, 0x34, 0xFF, 0xFE});
    want[34] = 0xAB, want[35] = 0xCD;
    EXPECT_EQ(Sent(), want);
    EXPECT_EQ(order, 3);

    // Answer words are unsigned; bytes 0..3 play no part.
    auto decode = [](std::initializer_list<int> head) {
        Bytes b = Frame(head);
        b[4] = 0xFF, b[5] = 0xFE, b[34] = 0x80, b[35] = 0x01;
        std::copy(b.begin(), b.end(), szReadBuf);
        GetRxBuf(PNUM);
        return std::vector<uint16_t>(pp, pp + PNUM);
    };
    const auto plain = decode({0x00, 0x55, 0x00, 0x02});
    EXPECT_EQ(plain[0], 65534);
    EXPECT_EQ(plain[15], 0x8001);
    EXPECT_EQ(decode({0xDE, 0xAD, 0xBE, 0xEF}), plain);
}

TEST(LinkFrames, OpenErrorTexts) {
    const std::pair<int, const char*> table[] = {
        {-1, "Unknown system error"}, {-2, "Invalid port number"}, {-3, "Port is not open"},
        {-4, "Unknown I/0 error"},    {-6, "No serial port found"}, {-7, "Cannot open port"},
        {-13, "Invalid parameter"},   {-99, "Timeout"},             {-5, "RS-232 error!"},
        {-12, "RS-232 error!"},
    };
    for (const auto& [code, text] : table) EXPECT_STREQ(ComErrorText(code), text) << code;
}

TEST_F(Link, OpeningThePort) {
    host = StartSim(zep4sim::Options());
    ResetFrontEnd();
    EXPECT_EQ(OpenComConfig(1, "", 19200, 0, 9, 1, 4096, 4096), kRS_InvalidParameter);
    EXPECT_EQ(OpenComConfig(0, "", 19200, 0, 8, 1, 4096, 4096), kRS_InvalidPortNum);
    const int beyond = ListSerialPorts().back().number + 1;
    EXPECT_EQ(OpenComConfig(beyond, "", 19200, 0, 8, 1, 4096, 4096), kRS_InvalidPortNum);
    EXPECT_EQ(OpenComConfig(1, "", 19200, 0, 8, 1, 4096, 4096), 0);
    EXPECT_EQ(OpenComConfig(1, "", 19200, 0, 8, 1, 4096, 4096), 0); // open again: reopened
    EXPECT_EQ(CloseCom(1), 0);
    CloseCom(1);
    EXPECT_EQ(ComWrt(1, "x", 1), kRS_PortNotOpen);

    // Held by someone else, then free again.
    QSerialPort other(QString::fromStdString(host->devicePath()));
    ASSERT_TRUE(other.open(QIODevice::ReadWrite));
    InitRS232(1);
    EXPECT_EQ(StatusText(), "Cannot open port");
    EXPECT_TRUE(host->requests().empty());
    other.close();
    InitRS232(1);
    EXPECT_EQ(StatusText(), kFirmware);

    SetPort1("/dev/zep4-no-such-device");
    InitRS232(1);
    EXPECT_EQ(StatusText(), "Cannot open port");
}

TEST_F(Link, StartUpWithAGoodController) {
    host = StartSim(zep4sim::Options());
    ResetFrontEnd();
    const uint16_t panelRefA = refA;
    InitRS232(com);
    EXPECT_EQ(StatusText(), kFirmware);
    EXPECT_EQ(Orders(*host), (std::vector<int>{ORD_ECHO, ORD_READ_RAM, ORD_READ_RAM, ORD_VERSION}));
    // The echo request carries set 0 as the panel had it; both RAM sets were fetched.
    EXPECT_EQ(host->requests().front().words[0], 0);
    EXPECT_EQ(host->requests().front().words[2], panelRefA);
    EXPECT_EQ(refA, zep4sim::initialRamSet(0)[2]);
    EXPECT_EQ(refB, zep4sim::initialRamSet(1)[2]);
}

TEST_F(Link, LineCheckFailures) {
    const struct {
        zep4sim::Faults faults;
        const char* status;
        double minSeconds;
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
        EXPECT_LT(Timer() - t0, 3.5);
        EXPECT_EQ(Orders(*host), std::vector<int>{ORD_ECHO}); // no start-up exchanges
        CloseCom(com);
    }
}

TEST_F(Link, PortChangeRestoresTheLink) {
    auto silent = StartSim(WithFaults(MakeFaults(&F::silent, true)));
    host = StartSim(zep4sim::Options());
    setenv("ZEP4_SERIAL_PORTS", (silent->devicePath() + ":" + host->devicePath()).c_str(), 1);
    StartFrontEnd();
    EXPECT_EQ(StatusText(), "Timeout < 36 Bytes");
    EXPECT_EQ(OperateCtrl(panelHandle, PANEL_DROPDCOM, 2), 0);
    EXPECT_EQ(com, 2);
    EXPECT_EQ(StatusText(), kFirmware);
    SendRequest(ORD_READ_RAM);
    EXPECT_EQ(WaitRxFull(), 1);
}

TEST_F(Link, FirmwareTexts) {
    zep4sim::Options o;
    o.firmwareText = std::string(60, 'F') + "0123456789"; // 70 characters
    for (bool noZero : {false, true}) {                   // zero after the text / none in 72
        o.faults.firmwareNoZero = noZero;
        Up(o);
        EXPECT_EQ(StatusText(), o.firmwareText.substr(0, 67)) << noZero;
    }

    // More than the text on the line is no firmware text.
    Up(WithFaults(MakeFaults(&F::overlongBy, 2)));
    EXPECT_EQ(StatusText(), "Error reading firmware-info!");

    const double t0 = Timer();
    Up(WithFaults(MakeFaults(&F::silentOrders, std::set<int>{ORD_VERSION})));
    EXPECT_GE(Timer() - t0, 2.0);
    EXPECT_EQ(StatusText(), "Error reading firmware-info!");
    SendRequest(ORD_READ_RAM); // the receive callback is back on
    EXPECT_EQ(WaitRxFull(), 1);
    EXPECT_EQ(pp[2], zep4sim::initialRamSet(0)[2]);
}

TEST_F(Link, DataBlocks) {
    Up();
    InstallComCallback(com, 0, FRAME_LEN, sync, nullptr, nullptr);
    EXPECT_EQ(ReadData64(128, 1, ORD_DATA64), 64);
    EXPECT_EQ(Sent(), Frame({0x00, 0x55, 0x00, 0x09, 0x00, 0x80, 0x00, 0x01}));
    EXPECT_EQ(StatusText(), "Data[64] block received!");

    std::fill(yArrayA, yArrayA + 256, uint16_t{9999});
    std::fill(yArrayB, yArrayB + 256, uint16_t{9999});
    for (int start : {0, 64, 128, 192}) ASSERT_EQ(ReadData64(start, 0, ORD_DATA64), 64);
    for (int i = 0; i < 128; ++i) {
        ASSERT_EQ(yArrayA[i], zep4sim::dataSample(0, 0, i)) << i;
        ASSERT_EQ(yArrayB[i], zep4sim::dataSample(1, 0, i)) << i;
    }
    const std::vector<uint16_t> before(yArrayA, yArrayA + 256);
    EXPECT_EQ(ReadData64(32, 0, ORD_DATA64), 64); // read and dropped
    EXPECT_EQ(std::vector<uint16_t>(yArrayA, yArrayA + 256), before);

    host->setFaults(MakeFaults(&F::silentOrders, std::set<int>{ORD_DATA64}));
    EXPECT_EQ(ReadData64(0, 0, ORD_DATA64), 0);
    EXPECT_GE(tdiff, TIMEOUT);
    EXPECT_EQ(StatusText(), "Timeout-RS-232 while reading 64 data-words!");
    EXPECT_TRUE(std::all_of(yArrayA, yArrayA + 128, [](uint16_t v) { return v == 0; }));
    EXPECT_TRUE(std::all_of(yArrayB, yArrayB + 128, [](uint16_t v) { return v == 0; }));
    EXPECT_EQ(yArrayB[128], 9999);
}

TEST_F(Link, InfoBlock) {
    Up();
    SetComTime(com, 0.3);
    const struct {
        zep4sim::Faults faults;
        int result;
        const char* status;
    } cases[] = {
        {{}, 1, "ok:  SendInfoBlockToFlash!"},
        {MakeFaults(&F::wrongEcho, true), -2, "error : unknown F801 echo at order-20!"},
        {MakeFaults(&F::silent, true), -1, "Timeout: SendInfoBlockToFlash < 36 Bytes"},
    };
    for (const auto& c : cases) {
        host->setFaults(c.faults);
        EXPECT_EQ(SendInfoBlockToFlash(0x1234, 1), c.result);
        EXPECT_EQ(Sent(), Frame({0x00, 0x55, 0x00, 0x14, 0x00, 0x01, 0x12, 0x34}));
        EXPECT_STREQ(szStatus, c.status);
        PumpFor(0.05);
    }
}

TEST_F(Link, AnswerWaits) {
    Up();
    rx_flag = 1; // already set: one pump, no waiting
    double t0 = Timer();
    EXPECT_EQ(WaitRxFull(), 1);
    EXPECT_LT(Timer() - t0, 0.5);

    SendRequest(ORD_READ_RAM); // answered while nobody waits: still taken in
    pp[2] = 0;
    EXPECT_TRUE(PumpUntil([] { return rx_flag == 1; }, 1.0));
    EXPECT_EQ(graphrefresh, 1);
    EXPECT_EQ(pp[2], zep4sim::initialRamSet(0)[2]);

    host->setFaults(MakeFaults(&F::silent, true));
    ShowStatus("before");
    SendRequest(ORD_READ_RAM);
    t0 = Timer();
    EXPECT_EQ(WaitRxFull(), 0);
    EXPECT_GE(tdiff, TIMEOUT);
    EXPECT_LT(Timer() - t0, 2.5);
    EXPECT_STREQ(szStatus, "Timeout-RS-232...");
    EXPECT_EQ(StatusText(), "before"); // stored, not shown
}

TEST_F(Link, ShortAnswersAreNotTaken) {
    Up();
    host->setFaults(MakeFaults(&F::shortBy, 1));
    graphrefresh = 0;
    SendRequest(ORD_READ_RAM); // 35 bytes never make a notification
    pp[2] = 4321;
    EXPECT_EQ(WaitRxFull(), 0);

    // A notification whose read comes up short takes nothing either.
    InstallComCallback(com, 0, FRAME_LEN, sync, nullptr, nullptr);
    SendRequest(ORD_READ_RAM);
    pp[2] = 4321;
    PumpUntil([] { return GetInQLen(com) >= FRAME_LEN - 1; }, 1.0);
    SetComTime(com, 0.2);
    RX_Receive_Function(com, LWRS_RECEIVE, nullptr);
    EXPECT_EQ(rx_flag, 0);
    EXPECT_EQ(graphrefresh, 0);
    EXPECT_EQ(pp[2], 4321);
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
    SendRequest(ORD_LIVE);
    EXPECT_EQ(WaitRxFull(), 0);
    EXPECT_STREQ(szStatus, "Timeout-RS-232...");
    EXPECT_LT(GetVERSIONInfo(), FIRMWARE_LEN);
    EXPECT_EQ(StatusText(), "Timeout - reading firmware info!");
}

// A controller whose device appears only after start-up (an adapter plugged in later), then goes
// and comes back: opening the port ring shows it there, choosing it reaches the controller, and
// it can be chosen again after being plugged in anew, without a restart.
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
        EXPECT_TRUE(ring->view()->isVisible());
        return ring->itemText(0).toStdString();
    };
    EXPECT_EQ(look(), "1: " + o.linkPath + " (ZEP4_SERIAL_PORTS, not present)");
    QTest::keyClick(ring->view(), Qt::Key_Escape);
    for (int plugged = 1; plugged <= 2; ++plugged) {
        SCOPED_TRACE(plugged);
        host = std::make_unique<zep4sim::PtyHost>(o);
        ASSERT_TRUE(host->start());
        ShowStatus("before");
        EXPECT_EQ(look(), "1: " + o.linkPath + " (ZEP4_SERIAL_PORTS)");
        EXPECT_EQ(CtrlInt(panelHandle, PANEL_DROPDCOM), 1);
        EXPECT_EQ(StatusText(), "before"); // nothing reopened the port
        EXPECT_TRUE(host->requests().empty());
        QTest::keyClick(ring->view(), Qt::Key_Return); // port 1 chosen
        EXPECT_EQ(StatusText(), kFirmware);
        EXPECT_EQ(Orders(*host).front(), ORD_ECHO);
        host->stop(); // unplugged: the device and its link are gone
        host.reset();
    }
    std::filesystem::remove_all(dir);
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
