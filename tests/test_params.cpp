// Parameter set: block layout, panel binding, targets and parameter file, and the exchanges
// with the simulated controller.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "app/app.h"
#include "app/panels.h"
#include "link/com232.h"
#include "params/params.h"
#include "support/harness.h"

namespace fs = std::filesystem;

namespace {

std::array<uint16_t, 19> AllVars() {
    return {powerA, powerB, refA, refB, tolA, tolB, hysteresis, polarity, hold, hwmode,
            average, evalmode, triglvlA, triglvlB, trigmode, sdelay, outmode, anamode, maxmode};
}
std::string ReadAll(const fs::path& p) { return ReadBytes(p.string()); }
// One value per line, right-aligned in five characters.
std::string FileText(const std::vector<unsigned>& values) {
    std::string out;
    for (unsigned v : values) out += std::string(5 - std::to_string(v).size(), ' ') + std::to_string(v) + "\n";
    return out;
}
int Ctrl(int panel, int control) { return CtrlInt(panel, control); }
bool StatusStarts(const char* prefix) { return StatusText().rfind(prefix, 0) == 0; }

class ParamsTest : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("zep4params-" + std::to_string(::getpid()));
    std::vector<FileSelectRequest> asked;
    std::string chosen;
    int replaceAsked = 0, replaceOk = 0;
    void SetUp() override {
        ResetFrontEnd();
        fs::remove_all(dir);
        fs::create_directories(dir);
        SetFileSelectHook([this](const FileSelectRequest& r, std::string& path) {
            asked.push_back(r);
            path = chosen;
            return 1;
        });
        SetConfirmHook([this](const std::string&, const std::string&) { return ++replaceAsked, replaceOk; });
        OperateCtrl(panelHandle, PANEL_RBTRAM, 1); // buttons outlive a test; target does not
        OperateCtrl(panelHandle, PANEL_RBTFILE, 1);
    }
    void TearDown() override {
        SetFileSelectHook({});
        SetConfirmHook({});
        fs::remove_all(dir);
    }
    void Transfer(int button, const fs::path& p) {
        chosen = p.string();
        OperateCtrl(panelHandle, button);
    }
};

} // namespace

TEST_F(ParamsTest, SetOneBlockCarriesOnlyChannelB) {
    CopyVarsToPP(1);
    for (int i = 5; i < PNUM; ++i) EXPECT_EQ(pp[i], 0) << "word " << i;
    auto before = AllVars();
    for (int i = 0; i < PNUM; ++i) pp[i] = uint16_t(60000 + i);
    CopyPPtoVars(1);
    EXPECT_EQ(powerB, 60001);
    EXPECT_EQ(triglvlB, 60004);
    powerB = before[1], refB = before[3], tolB = before[5], triglvlB = before[13];
    EXPECT_EQ(AllVars(), before);
}

TEST_F(ParamsTest, StartupValuesWriteTheExactFile) {
    // The panels outlive each test: put the start-up values back on them first.
    powerA = powerB = sdelay = 500, refA = refB = 2048, tolA = tolB = 512, triglvlA = triglvlB = 950;
    hysteresis = 20, polarity = hwmode = 1, hold = 100, average = 8;
    evalmode = trigmode = outmode = anamode = maxmode = 0;
    SetPanelValues();
    Transfer(PANEL_BTNSEND, dir / "startup.cfg");
    const std::string expected = FileText({0, 500, 2048, 512, 950, 20, 1, 100, 8, 1, 0, 0, 0, 0, 500, 0,
                                           1, 500, 2048, 512, 950, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(ReadAll(dir / "startup.cfg"), expected);
    ASSERT_EQ(asked.size(), 1u);
    const FileSelectRequest& r = asked[0];
    EXPECT_EQ(r.defaultDirectory + "|" + r.defaultFile + "|" + r.filter + "|" + r.title,
              std::string(proj_dir) + "|ZEP4para.cfg|*.cfg|K-VEX-ZEP4 Parameter File");
    EXPECT_EQ(r.button, SelectButton::Ok);
    EXPECT_TRUE(r.confirmReplace);
    EXPECT_EQ(StatusText(), "Transmit...");
    SetCtrlVal(panelHandle, PANEL_REFA, 1);
    Transfer(PANEL_BTNSEND, dir / "startup.cfg"); // replacing is declined: the file stays
    EXPECT_EQ(replaceAsked, 1);
    EXPECT_EQ(ReadAll(dir / "startup.cfg"), expected);

    Transfer(PANEL_BTNSEND, dir / "no-such-dir" / "x.cfg");
    EXPECT_TRUE(StatusStarts("Parameter file not written: ")) << StatusText();
}

TEST_F(ParamsTest, FileRoundTripThroughThePanels) {
    // Foreign layout: other set numbers, left-aligned, CRLF, junk in the unused words.
    std::vector<unsigned> v = {7, 65535, 1, 2, 3, 4, 5, 6, 7, 8, 2, 3, 1, 2, 9, 11,
                               9, 400, 401, 402, 403, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 65535};
    std::ofstream in(dir / "in.cfg", std::ios::binary);
    for (unsigned x : v) in << x << "  \r\n";
    in.close();
    Transfer(PANEL_BTNGET, dir / "in.cfg");
    EXPECT_EQ(asked.at(0).button, SelectButton::Load);
    EXPECT_EQ(Ctrl(panelHandle, PANEL_POWERA), 65535);
    EXPECT_EQ(Ctrl(panelHandle, PANEL_REFB), 401);
    EXPECT_EQ(Ctrl(panelPopUp, POPUP_MAXMODE), 11);
    Transfer(PANEL_BTNSEND, dir / "out.cfg");
    v[0] = 0, v[16] = 1;
    std::fill(v.begin() + 21, v.end(), 0);
    EXPECT_EQ(ReadAll(dir / "out.cfg"), FileText(v));
}

TEST_F(ParamsTest, RejectedFileChangesNothing) {
    std::string full;
    for (int i = 0; i < 32; ++i) full += "  100\n";
    const std::pair<const char*, std::string> cases[] = {
        {"missing", ""}, {"31 values", full.substr(0, 31 * 6)}, {"letters", "12a " + full},
        {"negative", "-5 " + full}, {"fraction", "1.5 " + full}, {"too large", full.substr(0, 54) + "65536 " + full},
    };
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(name);
        fs::path p = dir / (std::string(name) + ".cfg");
        if (!text.empty()) std::ofstream(p) << text;
        SetCtrlVal(panelHandle, PANEL_REFA, 1234); // an unsent edit: nothing came to replace it
        auto before = AllVars();
        Transfer(PANEL_BTNGET, p);
        EXPECT_EQ(AllVars(), before);
        EXPECT_TRUE(StatusStarts("Parameter file not read: ")) << StatusText();
        EXPECT_EQ(Ctrl(panelHandle, PANEL_REFA), 1234);
    }
}

TEST_F(ParamsTest, TargetButtonsFallBackToRam) {
    const int steps[][4] = {// button, value -> target, RAM button
                            {PANEL_RBTEEPROM, 1, EEPROM, 0}, {PANEL_RBTEEPROM, 0, RAM, 1},
                            {PANEL_RBTFILE, 1, DATFILE, 0},  {PANEL_RBTRAM, 1, RAM, 1},
                            {PANEL_RBTRAM, 0, RAM, 1}};
    for (const auto& s : steps) {
        OperateCtrl(panelHandle, s[0], s[1]);
        EXPECT_EQ(target, s[2]) << s[0] << "=" << s[1];
        EXPECT_EQ(Ctrl(panelHandle, PANEL_RBTRAM), s[3]) << s[0] << "=" << s[1];
    }
    EXPECT_EQ(Ctrl(panelHandle, PANEL_RBTFILE), 0);
}

TEST_F(ParamsTest, ModeTextsFallBackAndTriggerCouplesEvaluation) {
    trigmode = 2, evalmode = 7, anamode = 4, outmode = 2;
    SetPanelValues();
    GetPanelValues(); // rings give back values they have no item for
    std::string t[4];
    const int boxes[] = {PANEL_TRIGMODETEXT, PANEL_EVALMODETEXT, PANEL_ANAMODETEXT, PANEL_OUTMODETEXT};
    for (int i = 0; i < 4; ++i) GetTextBoxLine(panelHandle, boxes[i], 0, t[i]);
    EXPECT_EQ(t[0] + "|" + t[1] + "|" + t[2] + "|" + t[3],
              "CONTINOUS|NORM-A: A/Amax|DIRECT 0 .. 10V|TOLERANCE HI,LO,OK");

    const int steps[][3] = {{-1, 1, 1}, {1, -1, 1}, {2, -1, 2}, {0, -1, 0}, {-1, 2, 2}, {3, -1, 0}};
    for (const auto& s : steps) { // trigger ring, evaluation ring -> evaluation ring
        if (s[1] >= 0) OperateCtrl(panelPopUp, POPUP_EVALMODE, s[1]);
        if (s[0] >= 0) OperateCtrl(panelPopUp, POPUP_TRIGMODE, s[0]);
        EXPECT_EQ(Ctrl(panelPopUp, POPUP_EVALMODE), s[2]) << s[0] << "," << s[1];
    }
}

// ---- With the simulated controller -------------------------------------------------------------

class ParamsLinkTest : public ::testing::Test {
protected:
    std::unique_ptr<zep4sim::PtyHost> sim = StartSim(zep4sim::defaultOptions());
    void SetUp() override {
        StartFrontEnd();
        OperateCtrl(panelHandle, PANEL_RBTRAM, 1);
        sim->clearRequests();
    }
    void Press(int control) { OperateCtrl(panelHandle, control); }
    void Silence(std::set<int> orders, bool all = false) {
        zep4sim::Faults f;
        f.silentOrders = orders;
        f.silent = all;
        sim->setFaults(f);
    }
};

TEST_F(ParamsLinkTest, SendWritesTwoFramesATenthApart) {
    Press(PANEL_BTNSEND);
    EXPECT_EQ(StatusText(), "Transmit para Ok!");
    CallCtrlCallback(panelHandle, PANEL_BTNSEND, EVENT_COMMIT); // a commit alone sends nothing
    OperateCtrl(panelHandle, PANEL_RBTEEPROM, 1);
    Press(PANEL_BTNSEND);
    ASSERT_TRUE(PumpUntil([&] { return sim->requests().size() >= 4; }, 1.0));
    PumpFor(0.2);
    auto r = sim->requests();
    ASSERT_EQ(r.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(r[i].order, i < 2 ? ORD_WRITE_RAM : ORD_WRITE_EEPROM);
        EXPECT_EQ(r[i].words[0], i % 2);
    }
    for (int i : {1, 3}) EXPECT_NEAR(r[i].time - r[i - 1].time, 0.1, 0.05);
}

TEST_F(ParamsLinkTest, EepromSendThenGetBringsTheSameValues) {
    OperateCtrl(panelHandle, PANEL_RBTEEPROM, 1);
    const int edits[][3] = {{panelHandle, PANEL_REFA, 65535}, {panelHandle, PANEL_TOLB, 777},
                            {panelPopUp, POPUP_SDELAY, 4321}};
    for (const auto& e : edits) SetCtrlVal(e[0], e[1], e[2]);
    Press(PANEL_BTNSEND);
    PumpFor(0.2); // the answers to the writes come in and are left alone
    for (const auto& e : edits) SetCtrlVal(e[0], e[1], 1);
    Press(PANEL_BTNGET);
    EXPECT_EQ(StatusText(), "Parameter-frame received! - Line Ok!");
    for (const auto& e : edits) EXPECT_EQ(Ctrl(e[0], e[1]), e[2]);
    EXPECT_NE(sim->engine().ramSet(0)[2], 65535) << "an EEPROM send must not reach RAM";
}

// A fetch takes only the answer that names its set; a Get that misses either says which,
// and the panels keep the user's values wherever nothing came to replace them.
TEST_F(ParamsLinkTest, GetTakesOnlyTheAnswerOfItsSet) {
    zep4sim::Faults late;
    late.lateOrders = {ORD_READ_RAM};
    late.lateSeconds = 1.7; // set 0 comes during the wait for set 1, set 1 after it
    struct Case {
        const char* name;
        zep4sim::Faults faults;
        bool got0, got1;
        const char* status;
    };
    const Case cases[] = {
        {"late answers", late, false, false, "No answer for parameter sets 0 and 1!"},
        {"other set", MakeFaults(&zep4sim::Faults::otherSet, true), false, false,
         "No answer for parameter sets 0 and 1!"},
        {"noise", MakeFaults(&zep4sim::Faults::noiseBytes, 5), false, false, "No answer for parameter sets 0 and 1!"},
        {"set 1 silent", MakeFaults(&zep4sim::Faults::silentAfter, 1), true, false,
         "No answer for parameter set 1 (CH-B)!"},
        {"set 0 silent", MakeFaults(&zep4sim::Faults::silentFirst, 1), false, true,
         "No answer for parameter set 0 (CH-A)!"},
        {"good", zep4sim::Faults{}, true, true, "Parameter-frame received! - Line Ok!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PumpFor(0.5); // a late answer of the case before is gone
        sim->setFaults(c.faults);
        const zep4sim::Words ram0 = sim->engine().ramSet(0), ram1 = sim->engine().ramSet(1);
        refA = 11, tolA = 12, refB = 13, tolB = 14; // what the program held
        SetCtrlVal(panelHandle, PANEL_REFA, 21);   // what the user has typed
        SetCtrlVal(panelHandle, PANEL_REFB, 23);
        Press(PANEL_BTNGET);
        EXPECT_EQ(StatusText(), c.status);
        EXPECT_EQ(refA, c.got0 ? ram0[2] : 11);
        EXPECT_EQ(tolA, c.got0 ? ram0[3] : 12);
        EXPECT_EQ(refB, c.got1 ? ram1[2] : 13);
        EXPECT_EQ(tolB, c.got1 ? ram1[3] : 14);
        EXPECT_EQ(Ctrl(panelHandle, PANEL_REFA), c.got0 ? ram0[2] : 21);
        EXPECT_EQ(Ctrl(panelHandle, PANEL_REFB), c.got1 ? ram1[2] : 23);
    }
}

TEST_F(ParamsLinkTest, GetInEvaluationModeTwoDimsChannelBAndBack) {
    for (int mode : {2, 0}) {
        zep4sim::Words w = sim->engine().ramSet(0);
        w[10] = uint16_t(mode);
        sim->engine().setRamSet(0, w);
        Press(PANEL_BTNGET);
        std::string ref, tol;
        GetCtrlAttribute(panelHandle, PANEL_REFA, Attr::LabelText, ref);
        GetCtrlAttribute(panelHandle, PANEL_TOLA, Attr::LabelText, tol);
        EXPECT_EQ(CtrlAttr(panelHandle, PANEL_REFB, Attr::Dimmed) + CtrlAttr(panelHandle, PANEL_TOLB, Attr::Dimmed),
                  mode == 2 ? 2 : 0);
        EXPECT_EQ(ref + "|" + tol, mode == 2 ? "REFERENCE|TOLERANCE" : "REFERENCE-CHA|TOLERANCE-CHA");
    }
}

TEST_F(ParamsLinkTest, TeachShowsTheNewReferenceSoTheNextSendKeepsIt) {
    Press(PANEL_BUTTONTEACH);
    EXPECT_EQ(StatusText(), "Parameter-frame received! - Line Ok!");
    const uint16_t taught = sim->engine().ramSet(0)[2];
    EXPECT_EQ(refA, taught);
    EXPECT_EQ(Ctrl(panelHandle, PANEL_REFA), taught);
    SetCtrlVal(panelHandle, PANEL_TOLA, 345);
    Press(PANEL_BTNSEND);
    PumpFor(0.1);
    EXPECT_EQ(sim->engine().ramSet(0)[2], taught);
    EXPECT_EQ(sim->engine().ramSet(0)[3], 345);
}

// Whatever target was lit, the port change fetches from RAM, and the buttons say so.
TEST_F(ParamsLinkTest, PortChangeShowsTheRamTarget) {
    for (int lit : {PANEL_RBTEEPROM, PANEL_RBTFILE}) {
        OperateCtrl(panelHandle, lit, 1);
        OperateCtrl(panelHandle, PANEL_DROPDCOM, 1);
        EXPECT_EQ(target, RAM);
        EXPECT_EQ(Ctrl(panelHandle, PANEL_RBTRAM) * 100 + Ctrl(panelHandle, PANEL_RBTEEPROM) * 10 +
                      Ctrl(panelHandle, PANEL_RBTFILE),
                  100);
    }
}

TEST_F(ParamsLinkTest, CommandsTimeOutWhenTheFetchOrTheCommandGoesUnanswered) {
    for (bool all : {false, true}) {
        Silence({ORD_READ_RAM}, all);
        for (int button : {PANEL_BUTTONTEACH, PANEL_BUTTONRESET, PANEL_BUTTONREFRESH}) {
            double t0 = Timer();
            Press(button);
            EXPECT_EQ(StatusText(), "Timeout RS-232!!");
            EXPECT_GT(Timer() - t0, 1.4);
            EXPECT_LT(Timer() - t0, 2.5);
        }
    }
}
