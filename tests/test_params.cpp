// SPDX-License-Identifier: GPL-3.0-or-later
// Parameter set: words, variables and controls, mode texts, targets and the parameter file, and
// the exchanges with the simulated controller.

#include "support/harness.h"

namespace fs = std::filesystem;

namespace {

using I = std::vector<int>;

// Every parameter: its variable, the set and word it travels in, and its control.
struct Field { uint16_t* var; int set, word; bool popup; int control; };
const Field kFields[] = {
    {&powerA, 0, 1, false, PANEL_POWERA},       {&refA, 0, 2, false, PANEL_REFA},       {&tolA, 0, 3, false, PANEL_TOLA},
    {&triglvlA, 0, 4, true, POPUP_TRIGLVLA},    {&hysteresis, 0, 5, false, PANEL_HYSTERESIS},
    {&polarity, 0, 6, true, POPUP_POLARITY},    {&hold, 0, 7, true, POPUP_HOLD},        {&average, 0, 8, true, POPUP_AVERAGE},
    {&hwmode, 0, 9, false, PANEL_HWMODE},       {&evalmode, 0, 10, true, POPUP_EVALMODE},
    {&trigmode, 0, 11, true, POPUP_TRIGMODE},   {&outmode, 0, 12, true, POPUP_OUTMODE},
    {&anamode, 0, 13, true, POPUP_ANAMODE},     {&sdelay, 0, 14, true, POPUP_SDELAY},   {&maxmode, 0, 15, true, POPUP_MAXMODE},
    {&powerB, 1, 1, false, PANEL_POWERB},       {&refB, 1, 2, false, PANEL_REFB},       {&tolB, 1, 3, false, PANEL_TOLB},
    {&triglvlB, 1, 4, true, POPUP_TRIGLVLB}};
constexpr int kCount = sizeof kFields / sizeof kFields[0];

int Panel(const Field& f) { return f.popup ? panelPopUp : panelHandle; }
// Field k's value in a series: base + 11 k, so no two fields share one.
I Series(int base) {
    I out;
    for (int k = 0; k < kCount; ++k) out.push_back(base + 11 * k);
    return out;
}
I Vars() { I out; for (const Field& f : kFields) out.push_back(*f.var); return out; }
I Controls() { I out; for (const Field& f : kFields) out.push_back(CtrlInt(Panel(f), f.control)); return out; }
void SetVars(int base) { for (int k = 0; k < kCount; ++k) *kFields[k].var = uint16_t(base + 11 * k); }
void SetControls(int base) { for (int k = 0; k < kCount; ++k) SetCtrlVal(Panel(kFields[k]), kFields[k].control, base + 11 * k); }
// The 16 words of a set as the variables hold it.
I Words(int set) {
    I w(PNUM, 0);
    w[0] = set;
    for (const Field& f : kFields) w[f.word] = f.set == set ? *f.var : w[f.word];
    return w;
}
// The mode boxes, channel A's reference and tolerance labels, and whether B's two are dimmed.
std::string Boxes() {
    std::string all, line;
    for (int box : {PANEL_TRIGMODETEXT, PANEL_EVALMODETEXT, PANEL_ANAMODETEXT, PANEL_OUTMODETEXT})
        all += (GetTextBoxLine(panelHandle, box, 0, line), line) + "|";
    for (int c : {PANEL_REFA, PANEL_TOLA}) all += (GetCtrlAttribute(panelHandle, c, Attr::LabelText, line), line) + "|";
    for (int c : {PANEL_REFB, PANEL_TOLB}) all += std::to_string(CtrlAttr(panelHandle, c, Attr::Dimmed));
    return all;
}
int Radios() { return CtrlInt(panelHandle, PANEL_RBTRAM) * 100 + CtrlInt(panelHandle, PANEL_RBTEEPROM) * 10 + CtrlInt(panelHandle, PANEL_RBTFILE); }

} // namespace

// The mode boxes follow the rings when the panel is read, the variables when it is written
// (a fetch of channel B alone: Get's partial answers). Evaluation mode 2 judges A + B against one
// reference and one tolerance. The power switch, the popup toggle and the trigger coupling.
TEST(Params, ModeTextsPowerSwitchPopupToggleAndTriggerCoupling) {
    ResetFrontEnd();
    for (auto [ring, mode] : {std::pair{POPUP_TRIGMODE, 3}, {POPUP_EVALMODE, 1}, {POPUP_ANAMODE, 1}, {POPUP_OUTMODE, 1}})
        SetCtrlVal(panelPopUp, ring, mode);
    GetPanelValues();
    EXPECT_EQ(Boxes(), "EXT-IN0-HIGH|NORM (A & B)|MAXIMA-value|BINARY A,B,/A&B|REFERENCE-CHA|TOLERANCE-CHA|00");
    const struct { int trig, eval, ana, out; const char* shown; } cases[] = {
        {0, 2, 2, 0, "CONTINOUS|NORM (A + B)|MINIMA-value|TOLERANCE HI,LO,OK|REFERENCE|TOLERANCE|11"},
        {1, 3, 0, 1, "CONTINOUS|NORM-A: A/Amax|DIRECT 0 .. 10V|BINARY A,B,/A&B|REFERENCE-CHA|TOLERANCE-CHA|00"},
        {2, 0, 3, 0, "CONTINOUS|NORM-A: A/Amax|OFF|TOLERANCE HI,LO,OK|REFERENCE-CHA|TOLERANCE-CHA|00"}};
    for (const auto& c : cases) {
        trigmode = uint16_t(c.trig), evalmode = uint16_t(c.eval), anamode = uint16_t(c.ana), outmode = uint16_t(c.out);
        SetPanelValues();
        EXPECT_EQ(Boxes(), c.shown);
    }
    // The switch shows channel A's power or B's in its place; the toggle shows the popup or hides it.
    for (int on : {0, 1, 0}) {
        Choose(panelHandle, PANEL_POWERSWITCH, on);
        Choose(panelHandle, PANEL_TOGBTNPARAII, on);
        EXPECT_EQ(I({CtrlAttr(panelHandle, PANEL_POWERA, Attr::Visible), CtrlAttr(panelHandle, PANEL_POWERB, Attr::Visible),
                     PanelWidget(panelPopUp)->isVisible()}), I({on, 1 - on, on}));
    }
    // Trigger mode 2 pulls the evaluation ring to 2, any other trigger mode pulls it from 2.
    const int steps[][3] = {{-1, 1, 1}, {1, -1, 1}, {2, -1, 2}, {0, -1, 0}, {-1, 2, 2}, {3, -1, 0}};
    for (const auto& s : steps) { // trigger ring, evaluation ring -> evaluation ring
        if (s[1] >= 0) Choose(panelPopUp, POPUP_EVALMODE, s[1]);
        if (s[0] >= 0) Choose(panelPopUp, POPUP_TRIGMODE, s[0]);
        EXPECT_EQ(CtrlInt(panelPopUp, POPUP_EVALMODE), s[2]) << s[0] << "," << s[1];
    }
    SetCtrlVal(panelPopUp, POPUP_TRIGMODE, 2);
    Event(panelPopUp, POPUP_TRIGMODE, EVENT_VAL_CHANGED); // taken at the commit only
    EXPECT_EQ(CtrlInt(panelPopUp, POPUP_EVALMODE), 0);
}

// ---- Targets and the parameter file ---------------------------------------------------------

class ParamsFile : public ::testing::Test {
protected:
    fs::path dir = MakeTempDir("zep4params");
    std::string asked; // the chooser's last request
    std::string chosen;
    int chooserResult = 1;
    void SetUp() override {
        ResetFrontEnd();
        SetFileSelectHook([this](const FileSelectRequest& r, std::string& path) {
            asked = Describe(r);
            path = chosen;
            return chooserResult;
        });
        SetConfirmHook([](const std::string&, const std::string&) { return 1; });
        Choose(panelHandle, PANEL_RBTFILE, 1);
    }
    void TearDown() override {
        SetFileSelectHook({});
        SetConfirmHook({});
        fs::remove_all(dir);
    }
    void Transfer(int button, const fs::path& p) {
        chosen = p.string();
        Press(panelHandle, button);
    }
};

TEST_F(ParamsFile, WrittenAndReadBackThroughThePanelsAndTheTargetButtons) {
    SetControls(100);
    Transfer(PANEL_BTNSEND, dir / "out.cfg");
    EXPECT_EQ(Vars(), Series(100)); // the panels' values went out
    std::string expected;
    for (int set : {0, 1})
        for (int w : Words(set)) expected += std::string(5 - std::to_string(w).size(), ' ') + std::to_string(w) + "\n";
    EXPECT_EQ(ReadBytes(dir / "out.cfg"), expected);
    EXPECT_EQ(asked, std::string(proj_dir) + "|ZEP4para.cfg|*.cfg|K-VEX-ZEP4 Parameter File|0|01111");

    // A foreign layout: other set numbers, left-aligned, CRLF, junk in the unused words.
    std::ofstream(dir / "in.cfg", std::ios::binary) << "70  \r\n65535\r\n1 2 3 4 5 6 7 8 9 10 11 12 13 14 90 400 401 402 403 "
                                                       "31 32 33 34 35 36 37 38 39 40 65535\n";
    Transfer(PANEL_BTNGET, dir / "in.cfg");
    EXPECT_EQ(Vars(), I({65535, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 400, 401, 402, 403}));
    EXPECT_EQ(Controls(), Vars());

    // One target lit at a time, RAM where the chosen one is switched off.
    // button, value (-1: a commit alone, which changes nothing) -> target, RAM EEPROM File buttons
    const int steps[][4] = {
        {PANEL_RBTEEPROM, 1, EEPROM, 10}, {PANEL_RBTRAM, -1, EEPROM, 10},  {PANEL_RBTFILE, -1, EEPROM, 10},
        {PANEL_RBTEEPROM, 0, RAM, 100},   {PANEL_RBTFILE, 1, DATFILE, 1},  {PANEL_RBTEEPROM, -1, DATFILE, 1},
        {PANEL_RBTEEPROM, 1, EEPROM, 10}, {PANEL_RBTRAM, 1, RAM, 100},     {PANEL_RBTRAM, 0, RAM, 100}};
    for (const auto& s : steps) {
        s[1] < 0 ? Event(panelHandle, s[0], EVENT_COMMIT) : Choose(panelHandle, s[0], s[1]);
        EXPECT_EQ(I({target, Radios()}), I({s[2], s[3]})) << s[0] << "=" << s[1];
    }
}

// A cancelled choice, and files that cannot be used: neither the values nor an earlier file change.
TEST_F(ParamsFile, FilesThatCannotBeUsedChangeNothing) {
    std::string full;
    for (int i = 0; i < 32; ++i) full += "  100\n";
    const struct { int button; const char* name; std::string text, status; } cases[] = {
        {PANEL_BTNGET, "cancelled", "", "Receive..."}, {PANEL_BTNSEND, "cancelled", "", "Transmit..."},
        {PANEL_BTNGET, "missing", "", "Parameter file not read: cannot open the file"},
        {PANEL_BTNGET, "31 values", full.substr(0, 31 * 6), "Parameter file not read: fewer than 32 values"},
        {PANEL_BTNGET, "letters", "12a " + full, "Parameter file not read: a value is not an unsigned number"},
        {PANEL_BTNGET, "too large", full.substr(0, 54) + "65536 " + full, "Parameter file not read: a value is above 65535"},
        {PANEL_BTNSEND, "earlier, then the disk full", "earlier\n", "Parameter file not written: write failed"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        chooserResult = std::string(c.name) == "cancelled" ? 0 : 1; // the file name is taken when chosen
        const fs::path p = dir / (std::string(c.name) + ".cfg");
        if (!c.text.empty()) std::ofstream(p) << c.text;
        SetControls(300); // unsent edits: nothing came to replace them
        SetVars(400);
        WithFileSizeLimit(100, [&] { Transfer(c.button, p); }); // less than a parameter file
        EXPECT_TRUE(c.text.empty() || ReadBytes(p) == c.text); // an earlier file stays as it was
        EXPECT_EQ(Vars(), Series(c.button == PANEL_BTNSEND && chooserResult ? 300 : 400));
        EXPECT_EQ(file_name == p.string(), chooserResult == 1);
        EXPECT_EQ(Controls(), Series(300));
        EXPECT_EQ(StatusText(), c.status);
    }
}

// ---- With the simulated controller -------------------------------------------------------------

class ParamsLink : public ::testing::Test {
protected:
    std::unique_ptr<zep4sim::PtyHost> sim = StartSim(zep4sim::defaultOptions());
    void SetUp() override {
        StartFrontEnd();
        sim->clearRequests();
    }
    // The status shown once a request with this order went out, its answer 0.3 s away; then
    // what the user does meanwhile.
    std::unique_ptr<QTimer> StatusWhileWaiting(std::string& seen, int order, std::function<void()> meanwhile) {
        sim->setAnswerDelay(0.3);
        auto look = std::make_unique<QTimer>();
        look->callOnTimeout([this, &seen, order, meanwhile] {
            if (!seen.empty() || CountOrder(*sim, order) == 0) return;
            seen = StatusText();
            meanwhile();
        });
        look->start(10);
        return look;
    }
};

// Get fetches set 0, then set 1, from the memory chosen when it started. Only an answer that
// names its set is taken; the panels keep the user's values wherever nothing came, and the
// status says which missed.
TEST_F(ParamsLink, GetTakesOnlyTheAnswerOfItsSet) {
    using F = zep4sim::Faults;
    // Late answers: set 0's comes during the wait for set 1, set 1's after it.
    F late = MakeFaults(&F::lateOrders, std::set<int>{ORD_READ_RAM});
    late.lateSeconds = 1.7;
    const struct { int order; F faults; bool got[2]; const char* status; } cases[] = {
        {ORD_READ_RAM, late, {false, false}, "No answer for parameter sets 0 and 1!"},
        {ORD_READ_EEPROM, MakeFaults(&F::silentAfter, 1), {true, false}, "No answer for parameter set 1 (CH-B)!"},
        {ORD_READ_RAM, MakeFaults(&F::silentFirst, 1), {false, true}, "No answer for parameter set 0 (CH-A)!"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        PumpFor(0.5); // a late answer of the case before is gone
        Choose(panelHandle, c.order == ORD_READ_RAM ? PANEL_RBTRAM : PANEL_RBTEEPROM, 1);
        sim->setFaults(c.faults);
        sim->clearRequests();
        SetVars(500);     // what the program held
        SetControls(300); // what the user has typed
        const auto& e = sim->engine();
        std::string seen;
        const auto look = StatusWhileWaiting(seen, c.order, [] { Choose(panelHandle, PANEL_RBTFILE, 1); });
        Press(panelHandle, PANEL_BTNGET);
        EXPECT_EQ(seen + "|" + StatusText(), std::string("Waiting for parameter-frame ...|") + c.status);
        EXPECT_EQ(Orders(*sim), I({c.order, c.order}));
        for (int k = 0; k < kCount; ++k) { // variable and control: the set's word where it came
            const Field& f = kFields[k];
            const int held = (c.order == ORD_READ_RAM ? e.ramSet(f.set) : e.eepromSet(f.set))[f.word];
            EXPECT_EQ(I({*f.var, CtrlInt(Panel(f), f.control)}), c.got[f.set] ? I({held, held}) : I({Series(500)[k], Series(300)[k]})) << k;
        }
    }
}

// Send writes set 0, then set 1, of what the panels show, 0.1 s apart whether or not the
// controller answers writes (to EEPROM it does not here), each kept clear of the answers before.
TEST_F(ParamsLink, SendWritesBothSetsOfThePanelATenthApart) {
    sim->setAnswerDelay(0.02); // set 1's answer comes after the Send has returned
    sim->setFaults(MakeFaults(&zep4sim::Faults::silentOrders, std::set<int>{ORD_WRITE_EEPROM}));
    std::vector<I> sets;
    for (int button : {PANEL_RBTRAM, PANEL_RBTEEPROM}) {
        Choose(panelHandle, button, 1);
        SetControls(600 + button);
        Press(panelHandle, PANEL_BTNSEND);
        EXPECT_EQ(StatusText(), "Transmit para Ok!");
        Event(panelHandle, PANEL_BTNSEND, EVENT_COMMIT); // a commit alone sends nothing
        sets.push_back(Words(0)), sets.push_back(Words(1));
    }
    PumpUntil([&] { return Orders(*sim).size() >= 4; }, 1.0); // the controller reads the last frame in its own time
    const auto r = sim->requests();
    EXPECT_EQ(Orders(*sim), I({ORD_WRITE_RAM, ORD_WRITE_RAM, ORD_WRITE_EEPROM, ORD_WRITE_EEPROM}));
    EXPECT_EQ(Overlapping(*sim), 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(I(r[i].words.begin(), r[i].words.end()), sets[i]) << i;
    for (int i : {1, 3}) EXPECT_NEAR(r[i].time - r[i - 1].time, 0.295, 0.205) << i; // 0.09 .. 0.5 s: no answer is awaited
}

// Teach, reset and refresh send the panel's set 0 under their order, then show what RAM holds.
// Nothing is sent, nor the target changed, from inside another exchange.
TEST_F(ParamsLink, CommandsSendThePanelAndShowTheFetchedSetButNotInsideAnotherExchange) {
    {
        ExchangeHold other;
        for (int button : {PANEL_BTNSEND, PANEL_BTNGET, PANEL_BUTTONTEACH, PANEL_BUTTONRESET, PANEL_BUTTONREFRESH}) {
            Event(panelHandle, button, EVENT_LEFT_CLICK);
            Event(panelHandle, button, EVENT_COMMIT);
        }
        Choose(panelHandle, PANEL_RBTEEPROM, 1);
    }
    PumpFor(0.1);
    EXPECT_EQ(I({int(sim->requests().size()), target, Radios()}), I({0, RAM, 100}));
    const struct { int button, order; const char* waiting; } cases[] = {
        {PANEL_BUTTONTEACH, ORD_TEACH, "New setpoint value teached!"}, {PANEL_BUTTONRESET, ORD_RESET, "Line Ok!"},
        {PANEL_BUTTONREFRESH, ORD_REFRESH, "Line Ok!"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.order);
        SetControls(100); // what the user typed is what goes, then what the controller holds shows
        sim->clearRequests();
        std::string seen;
        const auto look = StatusWhileWaiting(seen, c.order, [] { SetCtrlVal(panelHandle, PANEL_REFB, 4321); });
        Event(panelHandle, c.button, EVENT_COMMIT);
        EXPECT_EQ(seen + "|" + StatusText(), c.waiting + std::string("|Parameter-frame received! - Line Ok!"));
        ASSERT_EQ(Orders(*sim), I({c.order, ORD_READ_RAM}));
        EXPECT_EQ(sim->requests()[0].words[3], 100 + 11 * 2);
        const zep4sim::Words ram = sim->engine().ramSet(0);
        EXPECT_EQ(I({CtrlInt(panelHandle, PANEL_REFA), CtrlInt(panelHandle, PANEL_HYSTERESIS), refA,
                     CtrlInt(panelHandle, PANEL_REFB)}),
                  I({ram[2], ram[5], ram[2], 4321})); // an edit of channel B meanwhile stays
    }
}
