// SPDX-License-Identifier: GPL-3.0-or-later
// Fault matrix: every operation against the ways the controller or the line can fail. Each case
// checks the status line, that the operation gave up in time, that the program still answers
// events, and that a port change to a fresh, sound controller brings back normal work.
#include "support/harness.h"

namespace {

using F = zep4sim::Faults;
const std::string kFirmware = zep4sim::defaultOptions().firmwareText;
const char* const kReceived = "Parameter-frame received! - Line Ok!";
const char* const kNeither = "No answer for parameter sets 0 and 1!";
const char* const kLost = "RS-232 line lost - waiting for the device ..."; // after the operation's own text
constexpr int S = 4; // requests of a start-up: "hang up after n" counts from the first

F Fault(int F::*member, int n) { return MakeFaults(member, n); }
F Split(int pieces, double pause) { F f; f.splitPieces = pieces, f.splitPauseSeconds = pause; return f; }

// The live loop's answers are counted here; Stop is pressed after the fourth.
int liveAnswers = 0;
void CountingReceive(int port, int events, void* data) {
    RX_Receive_Function(port, events, data);
    if (rx_flag && ++liveAnswers == 4) Event(panelHandle, PANEL_BTNSTOP, EVENT_COMMIT);
}

enum class Op { Startup, GetRam, SendRam, SendEeprom, SendThenGet, Teach, Run, Data, Record };

struct Case {
    const char* name;
    Op op;
    F faults;
    double delay;        // answer delay, seconds
    std::string status;  // the status line afterwards
    int lines = -1;      // data lines of a recording (-1: not checked)
    double maxSeconds = 6;
};

void Perform(Op op, const std::string& dir) {
    switch (op) {
    case Op::GetRam: Press(panelHandle, PANEL_BTNGET); break;
    case Op::SendEeprom: Choose(panelHandle, PANEL_RBTEEPROM, 1); [[fallthrough]];
    case Op::SendRam: Press(panelHandle, PANEL_BTNSEND); break;
    case Op::SendThenGet: // the two answers to a send come back to back
        Choose(panelHandle, PANEL_RBTEEPROM, 1), Press(panelHandle, PANEL_BTNSEND), PumpFor(0.2), Press(panelHandle, PANEL_BTNGET);
        break;
    case Op::Teach: Press(panelHandle, PANEL_BUTTONTEACH); break;
    case Op::Run:
        liveAnswers = 0;
        InstallComCallback(com, eventMask, FRAME_LEN, com232::sync, CountingReceive, nullptr);
        Event(panelHandle, PANEL_BTNRUN, EVENT_COMMIT);
        break;
    case Op::Data: Event(panelHandle, PANEL_BTNDATA, EVENT_COMMIT); break;
    case Op::Record:
        CopyText(recfile_name, (dir + "/rec.dat").c_str());
        SetCtrlVal(panelPopUp, POPUP_RECINTERVAL, 0), SetCtrlVal(panelPopUp, POPUP_RECSAMPLES, 5);
        Event(panelPopUp, POPUP_RECSTART, EVENT_COMMIT);
        break;
    default: break;
    }
}

void RunCase(const Case& c, const std::string& dir) {
    SCOPED_TRACE(c.name);
    auto sim = StartSim(c.op == Op::Startup ? WithFaults(c.faults) : zep4sim::Options());
    double t0 = Timer();
    StartFrontEnd();
    if (c.op != Op::Startup) {
        ASSERT_EQ(StatusText(), kFirmware) << "start-up on a sound controller";
        sim->setAnswerDelay(c.delay), sim->setFaults(c.faults);
        t0 = Timer();
        Perform(c.op, dir);
    }
    EXPECT_LT(Timer() - t0, c.maxSeconds) << "the operation did not give up in time";
    EXPECT_EQ(StatusText(), c.status);
    if (c.lines >= 0) {
        std::ifstream in(dir + "/rec.dat");
        int lines = -1; // the header
        for (std::string line; std::getline(in, line);) ++lines;
        EXPECT_EQ(lines, c.lines);
    }
    EXPECT_EQ(CtrlAttr(panelHandle, PANEL_BTNRUN, Attr::Dimmed) + CtrlAttr(panelHandle, PANEL_BTNDATA, Attr::Dimmed) +
                  exchange_busy, c.op == Op::Run && c.status != "Line Ok!" ? 1 : 0); // a run given up leaves Data dimmed
    EXPECT_EQ(szStatus[sizeof szStatus - 1], '\0');
    // A port change to a sound controller brings normal work back.
    auto fresh = StartSim(zep4sim::Options());
    SetCtrlVal(panelHandle, PANEL_DROPDCOM, 1);
    Event(panelHandle, PANEL_DROPDCOM, EVENT_COMMIT);
    EXPECT_EQ(StatusText(), kFirmware) << "the port change to a sound controller failed";
    Choose(panelHandle, PANEL_RBTRAM, 1);
    Press(panelHandle, PANEL_BTNGET);
    EXPECT_EQ(StatusText(), kReceived) << "no good exchange after the fault";
    EXPECT_EQ(refA, zep4sim::initialRamSet(0)[2]);
    CloseCom(com);
}

} // namespace

TEST(FaultMatrix, EveryOperationAgainstEveryFault) {
    const F none;
    const std::vector<Case> cases = {
        // Start-up: the line check decides; what follows it fails on its own time-out.
        {"start-up, noise before answers", Op::Startup, Fault(&F::noiseBytes, 3), 0, "read error - not sync byte 0xAA!"},
        {"start-up, answers in pieces", Op::Startup, Split(3, 0.05), 0, kFirmware},
        {"get RAM, answers in pieces", Op::GetRam, Split(4, 0.1), 0, kReceived},
        {"get RAM, answers just under the time-out", Op::GetRam, none, 1.3, kReceived},
        {"get RAM, line hangs up after set 0", Op::GetRam, Fault(&F::hangupAfter, S + 1), 0, kLost},
        {"send EEPROM, short answers", Op::SendEeprom, Fault(&F::shortBy, 5), 0, "Transmit para Ok!"},
        {"send EEPROM with noise, then get", Op::SendThenGet, Fault(&F::noiseBytes, 3), 0, kNeither},
        {"teach, fetch silent", Op::Teach, Fault(&F::silentAfter, 1), 0, "Timeout RS-232!!"},
        {"teach, answers just under the time-out", Op::Teach, none, 1.3, kReceived},
        {"teach, noise shifting the fetch's answer", Op::Teach, Fault(&F::noiseBytes, 2), 0, "Timeout RS-232!!"},
        // The live loop: Stop is pressed after four answers.
        {"run, silent after two answers", Op::Run, Fault(&F::silentAfter, 2), 0, "Timeout RS232-Line!"},
        {"run, noise before answers", Op::Run, Fault(&F::noiseBytes, 3), 0, "Line Ok!"},
        {"run, answers in pieces", Op::Run, Split(4, 0.05), 0, "Line Ok!"},
        {"run, answers just under the time-out", Op::Run, none, 1.8, "Line Ok!", -1, 9},
        {"run, line hangs up", Op::Run, Fault(&F::hangupAfter, S + 2), 0, kLost},
        {"data, answers in pieces", Op::Data, Split(2, 0.05), 0, "Data[64] block received!"},
        // Recording: interval 0, five samples.
        {"record, line hangs up", Op::Record, Fault(&F::hangupAfter, S + 2), 0, kLost, 2},
        {"record, answers just under the time-out", Op::Record, none, 1.3, "Line Ok!", 5, 9},
        {"record, answers just over the time-out", Op::Record, none, 1.7, "Timeout RS232-Line!", 0},
        {"record, noise before answers", Op::Record, Fault(&F::noiseBytes, 3), 0, "Line Ok!", 5},
        {"record, answers in pieces", Op::Record, Split(3, 0.05), 0, "Line Ok!", 5},
    };
    const std::string dir = MakeTempDir("zep4-faults");
    for (const Case& c : cases) RunCase(c, dir);
    std::filesystem::remove_all(dir);
}
