// Fault matrix: every operation against every way the controller or the line can fail.
// Each case checks the status text, that the program still answers events afterwards, and
// that a port change to a fresh, sound controller brings back normal work without a restart.
#include <gtest/gtest.h>

#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/panels.h"
#include "link/com232.h"
#include "live/live.h"
#include "params/params.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "platform/ui.h"
#include "recorder/recorder.h"
#include "support/harness.h"

namespace {

const std::string kFirmware = zep4sim::defaultOptions().firmwareText;
const char* const kReceived = "Parameter-frame received! - Line Ok!";
constexpr int kStartupRequests = 4; // echo, set 0, set 1, firmware text

// The live loop's answers are counted here; Stop is pressed once enough came.
int liveAnswers = 0, stopAfterAnswers = 0;
void CountingReceive(int port, int events, void* data) {
    RX_Receive_Function(port, events, data);
    if (!(events & 0x8000) || !rx_flag) return;
    if (++liveAnswers == stopAfterAnswers) Event(panelHandle, PANEL_BTNSTOP, EVENT_COMMIT);
}

bool Dimmed(int panel, int control) {
    int v = -1;
    GetCtrlAttribute(panel, control, Attr::Dimmed, v);
    return v != 0;
}

// One event-loop round trip: a zero-time timer fires within a short pump.
bool Responsive() {
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    return PumpUntil([&] { return fired; }, 1.0);
}

zep4sim::Faults NoFault() { zep4sim::Faults f; return f; }
zep4sim::Faults Silent() { zep4sim::Faults f; f.silent = true; return f; }
zep4sim::Faults SilentAfter(int n) { zep4sim::Faults f; f.silentAfter = n; return f; }
zep4sim::Faults ShortBy(int n) { zep4sim::Faults f; f.shortBy = n; return f; }
zep4sim::Faults WrongEcho() { zep4sim::Faults f; f.wrongEcho = true; return f; }
zep4sim::Faults Noise(int n) { zep4sim::Faults f; f.noiseBytes = n; return f; }
zep4sim::Faults Split(int pieces, double pause) {
    zep4sim::Faults f;
    f.splitPieces = pieces;
    f.splitPauseSeconds = pause;
    return f;
}
zep4sim::Faults NoZero() { zep4sim::Faults f; f.firmwareNoZero = true; return f; }
// The status line keeps the first 67 characters of a text that fills all 72 bytes.
std::string NoZeroText() {
    std::string fill;
    while (fill.size() < 67) fill += kFirmware + ' ';
    return fill.substr(0, 67);
}
zep4sim::Faults HangupAfter(int n) { zep4sim::Faults f; f.hangupAfter = n; return f; }

enum class Op { Startup, PortChange, GetRam, GetEeprom, SendRam, SendEeprom, SendThenGet, Teach, Reset, Refresh, Run, Data, Record };

struct Case {
    const char* name;
    Op op;
    zep4sim::Faults faults;
    double delay;            // answer delay, seconds
    std::string status;      // the status line afterwards
    int recordLines = -1;    // data lines of a recording (-1: not checked)
    double maxSeconds = 6;   // loose bound on the operation
};

class FaultMatrix : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zep4-faults-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        CloseCom(com);
        std::filesystem::remove_all(dir);
    }

    // Runs one operation on a front end already up; returns its length in seconds.
    double Perform(Op op) {
        const double t0 = Timer();
        switch (op) {
        case Op::Startup:
        case Op::PortChange:
            break;
        case Op::GetRam: Press(panelHandle, PANEL_BTNGET); break;
        case Op::GetEeprom:
            Choose(panelHandle, PANEL_RBTEEPROM, 1);
            Press(panelHandle, PANEL_BTNGET);
            break;
        case Op::SendRam: Press(panelHandle, PANEL_BTNSEND); break;
        case Op::SendEeprom:
            Choose(panelHandle, PANEL_RBTEEPROM, 1);
            Press(panelHandle, PANEL_BTNSEND);
            break;
        case Op::SendThenGet: // the two answers to a send come back to back
            Choose(panelHandle, PANEL_RBTEEPROM, 1);
            Press(panelHandle, PANEL_BTNSEND);
            PumpFor(0.2);
            Press(panelHandle, PANEL_BTNGET);
            break;
        case Op::Teach: Press(panelHandle, PANEL_BUTTONTEACH); break;
        case Op::Reset: Press(panelHandle, PANEL_BUTTONRESET); break;
        case Op::Refresh: Press(panelHandle, PANEL_BUTTONREFRESH); break;
        case Op::Run:
            liveAnswers = 0;
            stopAfterAnswers = 4;
            InstallComCallback(com, eventMask, FRAME_LEN, sync, CountingReceive, nullptr);
            Event(panelHandle, PANEL_BTNRUN, EVENT_COMMIT);
            InstallComCallback(com, eventMask, FRAME_LEN, sync, RX_Receive_Function, nullptr);
            break;
        case Op::Data: Event(panelHandle, PANEL_BTNDATA, EVENT_COMMIT); break;
        case Op::Record:
            CopyText(recfile_name, (dir + "/rec.dat").c_str());
            SetCtrlVal(panelPopUp, POPUP_RECINTERVAL, 0);
            SetCtrlVal(panelPopUp, POPUP_RECSAMPLES, 5);
            Event(panelPopUp, POPUP_RECSTART, EVENT_COMMIT);
            break;
        }
        return Timer() - t0;
    }

    int RecordLines() const {
        std::ifstream in(dir + "/rec.dat", std::ios::binary);
        std::string line;
        int n = -1; // the header
        while (std::getline(in, line)) ++n;
        return n;
    }

    // A port change to a fresh, sound controller; then a Get must work.
    void Recover() {
        zep4sim::Options options;
        auto fresh = StartSim(options);
        SetCtrlVal(panelHandle, PANEL_DROPDCOM, 1);
        Event(panelHandle, PANEL_DROPDCOM, EVENT_COMMIT);
        EXPECT_EQ(StatusText(), kFirmware) << "the port change to a sound controller failed";
        Press(panelHandle, PANEL_BTNGET);
        EXPECT_EQ(StatusText(), kReceived) << "no good exchange after the fault";
        EXPECT_EQ(refA, zep4sim::initialRamSet(0)[2]) << "the controller's RAM set did not arrive";
        CloseCom(com);
        fresh.reset();
    }

    void RunCase(const Case& c) {
        SCOPED_TRACE(c.name);
        zep4sim::Options options;
        const bool faultyFromStart = c.op == Op::Startup;
        if (faultyFromStart) options.faults = c.faults;
        auto sim = StartSim(options);
        std::unique_ptr<zep4sim::PtyHost> second;
        double took = 0;
        if (faultyFromStart) {
            const double t0 = Timer();
            StartFrontEnd();
            took = Timer() - t0;
        } else {
            StartFrontEnd();
            ASSERT_EQ(StatusText(), kFirmware) << "start-up on a sound controller";
            Choose(panelHandle, PANEL_RBTRAM, 1); // radio buttons outlive a case
            if (c.op == Op::PortChange) {
                zep4sim::Options o2;
                o2.faults = c.faults;
                o2.answerDelaySeconds = c.delay;
                second = StartSim(o2);
                SetCtrlVal(panelHandle, PANEL_DROPDCOM, 1);
                const double t0 = Timer();
                Event(panelHandle, PANEL_DROPDCOM, EVENT_COMMIT);
                took = Timer() - t0;
            } else {
                sim->setAnswerDelay(c.delay);
                sim->setFaults(c.faults);
                took = Perform(c.op);
            }
        }
        EXPECT_EQ(StatusText(), c.status);
        EXPECT_LT(took, c.maxSeconds) << "the operation did not give up in time";
        if (c.recordLines >= 0) {
            EXPECT_EQ(RecordLines(), c.recordLines);
        }
        if (c.op == Op::Run || c.op == Op::Record) {
            EXPECT_FALSE(Dimmed(panelHandle, PANEL_BTNRUN));
            EXPECT_EQ(stop_flag, 1);
        }
        if (c.op == Op::Data) {
            EXPECT_FALSE(Dimmed(panelHandle, PANEL_BTNDATA));
        }
        EXPECT_TRUE(Responsive()) << "events are no longer processed";
        EXPECT_EQ(szStatus[sizeof szStatus - 1], '\0');
        Recover();
        sim.reset();
        second.reset();
    }

    std::string dir;
};

// Fault timing: at start-up 4 exchanges have passed, so "after n" counts from there.
constexpr int S = kStartupRequests;
// A Get that misses a set says which.
constexpr const char* kNeither = "No answer for parameter sets 0 and 1!";
constexpr const char* kNoSetB = "No answer for parameter set 1 (CH-B)!";

TEST_F(FaultMatrix, EveryOperationAgainstEveryFault) {
    const std::vector<Case> cases = {
        // Start-up: the line check decides; what follows it fails on its own time-out.
        {"start-up, silent", Op::Startup, Silent(), 0, "Timeout < 36 Bytes"},
        {"start-up, short answers", Op::Startup, ShortBy(1), 0, "Timeout < 36 Bytes"},
        {"start-up, wrong echo word", Op::Startup, WrongEcho(), 0, "read error - not sync byte 0xAA!"},
        {"start-up, noise before answers", Op::Startup, Noise(3), 0, "read error - not sync byte 0xAA!"},
        {"start-up, answers in pieces", Op::Startup, Split(3, 0.05), 0, kFirmware},
        {"start-up, firmware text never comes", Op::Startup, SilentAfter(3), 0, "Error reading firmware-info!"},
        {"start-up, firmware text fills all 72 bytes", Op::Startup, NoZero(), 0, NoZeroText()},
        // Port change to a controller that fails.
        {"port change, silent", Op::PortChange, Silent(), 0, "Timeout < 36 Bytes"},
        {"port change, wrong echo word", Op::PortChange, WrongEcho(), 0, "read error - not sync byte 0xAA!"},
        // Parameter sets.
        {"get RAM, silent", Op::GetRam, Silent(), 0, kNeither},
        {"get EEPROM, silent after set 0", Op::GetEeprom, SilentAfter(1), 0, kNoSetB},
        {"get RAM, noise before answers", Op::GetRam, Noise(3), 0, kNeither},
        {"get RAM, answers in pieces", Op::GetRam, Split(4, 0.1), 0, kReceived},
        {"teach, pieces past the time-out", Op::Teach, Split(4, 0.6), 0, "Timeout RS-232!!"},
        {"get RAM, answers just under the time-out", Op::GetRam, NoFault(), 1.3, kReceived},
        {"get RAM, line hangs up after set 0", Op::GetRam, HangupAfter(S + 1), 0, kNoSetB},
        {"send RAM, silent", Op::SendRam, Silent(), 0, "Transmit para Ok!"},
        {"send EEPROM, short answers", Op::SendEeprom, ShortBy(5), 0, "Transmit para Ok!"},
        {"send EEPROM, then get on the same line", Op::SendThenGet, NoFault(), 0, kReceived},
        {"send EEPROM with noise, then get", Op::SendThenGet, Noise(3), 0, kNeither},
        // Commands and their fetch.
        {"teach, silent", Op::Teach, Silent(), 0, "Timeout RS-232!!"},
        {"teach, fetch silent", Op::Teach, SilentAfter(1), 0, "Timeout RS-232!!"},
        {"teach, answers in pieces", Op::Teach, Split(3, 0.1), 0, kReceived},
        {"reset, answers just under the time-out", Op::Reset, NoFault(), 1.3, kReceived},
        {"reset, noise shifting the fetch's answer", Op::Reset, Noise(2), 0, "Timeout RS-232!!"},
        {"refresh, answers just over the time-out", Op::Refresh, NoFault(), 1.7, "Timeout RS-232!!"},
        {"refresh, short answers", Op::Refresh, ShortBy(1), 0, "Timeout RS-232!!"},
        // The live loop: Stop is pressed after four answers.
        {"run, silent", Op::Run, Silent(), 0, "Timeout RS232-Line!"},
        {"run, silent after two answers", Op::Run, SilentAfter(2), 0, "Timeout RS232-Line!"},
        {"run, noise before answers", Op::Run, Noise(3), 0, "Line Ok!"},
        {"run, answers in pieces", Op::Run, Split(4, 0.05), 0, "Line Ok!"},
        {"run, answers just under the time-out", Op::Run, NoFault(), 1.8, "Line Ok!", -1, 9},
        {"run, answers just over the time-out", Op::Run, NoFault(), 2.2, "Timeout RS232-Line!"},
        {"run, line hangs up", Op::Run, HangupAfter(S + 2), 0, "Timeout RS232-Line!"},
        // The scope view.
        {"data, answers in pieces", Op::Data, Split(2, 0.05), 0, "Data[64] block received!"},
        {"data, silent", Op::Data, Silent(), 0, "Data view incomplete: 4 of 4 blocks missing!", -1, 9},
        // Recording: interval 0, five samples.
        {"record, silent", Op::Record, Silent(), 0, "Timeout RS232-Line!", 0},
        {"record, silent after three answers", Op::Record, SilentAfter(3), 0, "Timeout RS232-Line!", 3},
        {"record, line hangs up", Op::Record, HangupAfter(S + 2), 0, "Timeout RS232-Line!", 2},
        {"record, answers just under the time-out", Op::Record, NoFault(), 1.3, "Line Ok!", 5, 9},
        {"record, answers just over the time-out", Op::Record, NoFault(), 1.7, "Timeout RS232-Line!", 0},
        {"record, noise before answers", Op::Record, Noise(3), 0, "Line Ok!", 5},
        {"record, answers in pieces", Op::Record, Split(3, 0.05), 0, "Line Ok!", 5},
    };
    // Counts the failures each case adds, for the summary line.
    struct FailureCounter : ::testing::EmptyTestEventListener {
        int failures = 0;
        void OnTestPartResult(const ::testing::TestPartResult& r) override { failures += r.failed(); }
    };
    auto* counter = new FailureCounter;
    auto& listeners = ::testing::UnitTest::GetInstance()->listeners();
    listeners.Append(counter);
    int passed = 0;
    for (const Case& c : cases) {
        const int before = counter->failures;
        RunCase(c);
        passed += counter->failures == before;
    }
    delete listeners.Release(counter);
    std::printf("fault cases run %zu, passed %d\n", cases.size(), passed);
}

// A port another process holds gives the open error, and the link comes back afterwards.
TEST_F(FaultMatrix, PortHeldByAnotherProcessCannotBeOpened) {
    zep4sim::Options options;
    auto sim = StartSim(options);
    const std::string device = sim->devicePath();
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::setenv("ZEP4_FAULTS_HOLD_FD", std::to_string(fds[1]).c_str(), 1);
        char self[] = "/proc/self/exe";
        char arg0[] = "test_faults";
        char filter[] = "--gtest_filter=FaultsHolder.HoldPortUntilKilled";
        char* argv[] = {arg0, filter, nullptr};
        const int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0) ::dup2(devnull, STDOUT_FILENO);
        ::execv(self, argv);
        std::_Exit(127);
    }
    ::close(fds[1]);
    pollfd p{fds[0], POLLIN, 0};
    char held = 0;
    ASSERT_EQ(::poll(&p, 1, 10000), 1);
    ASSERT_EQ(::read(fds[0], &held, 1), 1);
    ASSERT_EQ(held, 'H') << "the other process could not open the port";

    ResetFrontEnd();
    SetCtrlVal(panelHandle, PANEL_DROPDCOM, 1);
    Event(panelHandle, PANEL_DROPDCOM, EVENT_COMMIT);
    EXPECT_EQ(StatusText(), "Cannot open port");
    EXPECT_EQ(com, 1) << "the chosen port number is kept";
    EXPECT_TRUE(Responsive());

    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ::close(fds[0]);
    Recover();
}

// The other process of the test above: opens port 1 and holds it until killed.
TEST(FaultsHolder, HoldPortUntilKilled) {
    const char* fd = std::getenv("ZEP4_FAULTS_HOLD_FD");
    if (!fd) GTEST_SKIP() << "runs only as the other process of the held-port test";
    const int r = OpenComConfig(1, "", 19200, 0, 8, 1, 4096, 4096);
    const char mark = r >= 0 ? 'H' : 'F';
    ASSERT_EQ(::write(std::atoi(fd), &mark, 1), 1);
    for (;;) ::pause();
}

} // namespace
