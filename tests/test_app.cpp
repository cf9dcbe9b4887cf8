// Application core: both panel forms against the control catalogue, the start-up defaults,
// the two panel callbacks and a whole program run against the simulated controller.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/app.h"
#include "app/panels.h"
#include "link/com232.h"
#include "live/live.h"
#include "params/params.h"
#include "platform/ui.h"
#include "platform/panel_builder.h"
#include "platform/ui_query.h"
#include "recorder/recorder.h"
#include "support/harness.h"

namespace {

struct Expect {
    int id;
    const char* name;
    std::vector<CtrlKind> kinds; // any of these
    CtrlCallbackPtr callback;
};

using K = CtrlKind;

// Control, its callback (nullptr: none) and the kinds it may be.
#define C(id, callback, ...) {id, #id, {__VA_ARGS__}, callback}
const std::vector<Expect> kMain = {
    C(PANEL_DROPDCOM, CC_DropDCom, K::Ring), C(PANEL_NORMCHART, nullptr, K::StripChart),
    C(PANEL_RAWCHART, nullptr, K::StripChart), C(PANEL_GRAPHSOURCE, CC_RNGGraphSource, K::Ring),
    C(PANEL_BTNDATA, CC_BTNData, K::CommandButton), C(PANEL_STOPRECENABLE, nullptr, K::TextMessage, K::Led),
    C(PANEL_RECLOCK, nullptr, K::TextMessage, K::Led), C(PANEL_LOGO, nullptr, K::Picture),
    C(PANEL_RBTFILE, CC_RBTFile, K::RadioButton), C(PANEL_RBTEEPROM, CC_RBTEeprom, K::RadioButton),
    C(PANEL_RBTRAM, CC_RBTRam, K::RadioButton), C(PANEL_BTNRUN, CC_BTNRun, K::CommandButton),
    C(PANEL_HWMODE, nullptr, K::Numeric, K::Ring), C(PANEL_VALUEB, nullptr, K::NumericDisplay),
    C(PANEL_VALUEA, nullptr, K::NumericDisplay), C(PANEL_ADCB, nullptr, K::NumericDisplay),
    C(PANEL_ADCA, nullptr, K::NumericDisplay), C(PANEL_BMAX, nullptr, K::NumericDisplay),
    C(PANEL_AMAX, nullptr, K::NumericDisplay), C(PANEL_TOLVAL, nullptr, K::NumericDisplay),
    C(PANEL_MAXVALB, nullptr, K::NumericDisplay), C(PANEL_MINVALB, nullptr, K::NumericDisplay),
    C(PANEL_MINVALA, nullptr, K::NumericDisplay), C(PANEL_MAXVALA, nullptr, K::NumericDisplay),
    C(PANEL_BRANDBAND, nullptr, K::Decoration), C(PANEL_TOLB, nullptr, K::Numeric),
    C(PANEL_TOLA, nullptr, K::Numeric), C(PANEL_REFB, nullptr, K::Numeric),
    C(PANEL_REFA, nullptr, K::Numeric), C(PANEL_HYSTERESIS, nullptr, K::Numeric),
    C(PANEL_STATUS, nullptr, K::TextDisplay), C(PANEL_POWERA, nullptr, K::Numeric),
    C(PANEL_POWERB, nullptr, K::Numeric), C(PANEL_DATAGRAPH, nullptr, K::XYGraph),
    C(PANEL_TOGBTNPARAII, CC_TOGBTNparaII, K::ToggleButton), C(PANEL_OUTMODETEXT, nullptr, K::TextBox),
    C(PANEL_ANAMODETEXT, nullptr, K::TextBox), C(PANEL_EVALMODETEXT, nullptr, K::TextBox),
    C(PANEL_TRIGMODETEXT, nullptr, K::TextBox), C(PANEL_POWERSWITCH, CC_BINSWpower, K::BinarySwitch),
    C(PANEL_INPUTLED8, nullptr, K::Led), C(PANEL_INPUTLED0, nullptr, K::Led),
    C(PANEL_BTNSEND, CC_BTNSend, K::CommandButton), C(PANEL_BTNGET, CC_BTNGet, K::CommandButton),
    C(PANEL_BUTTONTEACH, CC_ButtonTeach, K::CommandButton),
    C(PANEL_BUTTONRESET, CC_ButtonReset, K::CommandButton),
    C(PANEL_BUTTONREFRESH, CC_ButtonRefresh, K::CommandButton),
    C(PANEL_BTNSTOP, CC_BTNStop, K::CommandButton),
};

const std::vector<Expect> kPopup = {
    C(POPUP_SDELAY, nullptr, K::Numeric), C(POPUP_TRIGMODE, CC_DropTrigmode, K::Ring),
    C(POPUP_RECSTART, CC_BTNStartRecord, K::CommandButton), C(POPUP_RECFILENAME, nullptr, K::TextDisplay),
    C(POPUP_MAXMODE, nullptr, K::Numeric, K::Ring), C(POPUP_AVERAGE, nullptr, K::Numeric, K::Ring),
    C(POPUP_POLARITY, nullptr, K::Numeric, K::Ring), C(POPUP_OUTMODE, nullptr, K::Ring),
    C(POPUP_ANAMODE, nullptr, K::Ring), C(POPUP_HOLD, nullptr, K::Numeric),
    C(POPUP_EVALMODE, CC_DROP_EvalMode, K::Ring), C(POPUP_TRIGLVLA, nullptr, K::Numeric),
    C(POPUP_TRIGLVLB, nullptr, K::Numeric), C(POPUP_RECCOUNT, nullptr, K::NumericDisplay),
    C(POPUP_RECSECONDS, nullptr, K::NumericDisplay), C(POPUP_RECMINUTES, nullptr, K::NumericDisplay),
    C(POPUP_RECHOURS, nullptr, K::NumericDisplay), C(POPUP_RECDAYS, nullptr, K::NumericDisplay),
    C(POPUP_RECINTERVAL, CC_NEDITRecTime, K::Numeric), C(POPUP_RECSAMPLES, CC_NEDITRecSamples, K::Numeric),
    C(POPUP_RECSTATUS, nullptr, K::TextBox), C(POPUP_RECSTOP, CC_BTNStopRecord, K::CommandButton),
    C(POPUP_RECFILEBTN, CC_RecordFileNameBtn, K::CommandButton),
    C(POPUP_RECPROGRESS, nullptr, K::ProgressBar),
};
#undef C

void CheckCatalogue(int panel, const std::vector<Expect>& table) {
    for (const Expect& e : table) {
        SCOPED_TRACE(e.name);
        CtrlKind kind;
        std::string name;
        CtrlCallbackPtr cb = nullptr;
        ASSERT_TRUE(GetCtrlInfo(panel, e.id, kind, name, cb));
        EXPECT_EQ(name, e.name);
        EXPECT_NE(std::find(e.kinds.begin(), e.kinds.end(), kind), e.kinds.end());
        EXPECT_EQ(cb, e.callback);
        QWidget* w = PanelWidget(panel)->findChild<QWidget*>(e.name);
        ASSERT_NE(w, nullptr);
    }
    // Nothing else carries a callback the catalogue does not know of.
    const std::vector<int> made = GetNewCtrls(panel); // the brand text lines
    for (int id : GetPanelCtrls(panel)) {
        if (std::find(made.begin(), made.end(), id) != made.end()) continue;
        bool listed = false;
        for (const Expect& e : table) listed = listed || e.id == id;
        EXPECT_TRUE(listed) << "control " << id << " is not in the catalogue";
    }
}

int Val(int panel, int control) { return CtrlInt(panel, control); }
int Attribute(int panel, int control, Attr a) { return CtrlAttr(panel, control, a); }

TEST(Panels, EveryControlOfBothFormsWithKindNameAndCallback) {
    ResetFrontEnd();
    CheckCatalogue(panelHandle, kMain);
    CheckCatalogue(panelPopUp, kPopup);
    EXPECT_EQ(GetPanelTitle(panelHandle), "K-VEX-ZEP4-Duvez V2.0");
    QWidget* status = PanelWidget(panelHandle)->findChild<QWidget*>("PANEL_STATUS");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->accessibleName(), "Status");
}

TEST(Panels, RingsGiveTheValuesTheProgramKnows) {
    ResetFrontEnd();
    struct RingCase {
        int panel, id;
        std::vector<int> values;
    };
    const std::vector<RingCase> cases = {
        {panelHandle, PANEL_GRAPHSOURCE, {0, 1, 2, 3}}, {panelPopUp, POPUP_EVALMODE, {0, 1, 2, 3}},
        {panelPopUp, POPUP_TRIGMODE, {0, 1, 2, 3}},     {panelPopUp, POPUP_OUTMODE, {0, 1}},
        {panelPopUp, POPUP_ANAMODE, {0, 1, 2, 3}},
    };
    for (const RingCase& c : cases) {
        CtrlKind kind;
        std::string name;
        CtrlCallbackPtr cb;
        ASSERT_TRUE(GetCtrlInfo(c.panel, c.id, kind, name, cb));
        auto* combo = PanelWidget(c.panel)->findChild<QComboBox*>(QString::fromStdString(name));
        ASSERT_NE(combo, nullptr) << name;
        std::vector<int> values;
        for (int i = 0; i < combo->count(); ++i) values.push_back(combo->itemData(i).toInt());
        EXPECT_EQ(values, c.values) << name;
    }
    // Mode rings name a value as the mode text beside the charts does, or by its number
    // where that text is only the fall-back.
    const struct {
        int id, items;
        const char* labels;
    } modes[] = {
        {POPUP_EVALMODE, 4, "NORM-A: A/Amax|NORM (A & B)|NORM (A + B)|3|"},
        {POPUP_TRIGMODE, 4, "CONTINOUS|1|2|EXT-IN0-HIGH|"},
        {POPUP_OUTMODE, 2, "TOLERANCE HI,LO,OK|BINARY A,B,/A&B|"},
        {POPUP_ANAMODE, 4, "DIRECT 0 .. 10V|MAXIMA-value|MINIMA-value|OFF|"},
    };
    for (const auto& m : modes) {
        const int saved = Val(panelPopUp, m.id);
        std::string all, label;
        for (int v = 0; v < m.items; ++v) {
            SetCtrlVal(panelPopUp, m.id, v);
            GetCtrlVal(panelPopUp, m.id, label);
            all += label + "|";
        }
        EXPECT_EQ(all, m.labels);
        SetCtrlVal(panelPopUp, m.id, saved);
    }
    // The port ring offers 1..8 whatever the machine has.
    auto* ports = PanelWidget(panelHandle)->findChild<QComboBox*>("PANEL_DROPDCOM");
    ASSERT_NE(ports, nullptr);
    for (int n = 1; n <= 8; ++n) EXPECT_GE(ports->findData(n), 0) << n;
}

TEST(Startup, DefaultsAfterInitVars) {
    ResetFrontEnd();
    // The parameter variables hold the forms' initial values.
    const std::vector<int> params = {powerA, powerB, refA, refB, tolA, tolB, hysteresis, polarity, hold, hwmode,
                                     average, evalmode, triglvlA, triglvlB, trigmode, sdelay, outmode, anamode, maxmode};
    EXPECT_EQ(params, (std::vector<int>{500, 500, 2048, 2048, 512, 512, 20, 1, 100, 1, 8, 0, 950, 950, 0, 500, 0, 0, 0}));
    const std::vector<int> state = {com, sync, target, type, rx_flag, stop_flag};
    EXPECT_EQ(state, (std::vector<int>{1, 0x55, RAM, 1, 1, 1}));
    EXPECT_STREQ(file_name, "ZEP4para.cfg");
    EXPECT_STREQ(szSoftname, "K-VEX-ZEP4-Duvez");
    EXPECT_STREQ(szSoftversion, "V2.0");
    EXPECT_EQ(StatusText(), "InitVars");
    for (int i : {0, 1, 127, 255}) {
        EXPECT_EQ(xArray[i], i);
        EXPECT_EQ(yArrayA[i], 0);
        EXPECT_EQ(yArrayB[i], 0);
    }
    // The panel's start-up state.
    EXPECT_EQ(Val(panelHandle, PANEL_GRAPHSOURCE), 2);
    EXPECT_EQ(Val(panelHandle, PANEL_POWERSWITCH), 1);
    EXPECT_EQ(Attribute(panelHandle, PANEL_POWERB, Attr::Visible), 0);
    EXPECT_EQ(Attribute(panelHandle, PANEL_POWERA, Attr::Visible), 1);
    EXPECT_EQ(Attribute(panelHandle, PANEL_DATAGRAPH, Attr::Visible), 0);
    EXPECT_EQ(Attribute(panelHandle, PANEL_NORMCHART, Attr::Visible), 1);
    EXPECT_EQ(Val(panelHandle, PANEL_RBTRAM), 1);
    EXPECT_EQ(Val(panelHandle, PANEL_TOGBTNPARAII), 0);
    EXPECT_EQ(Val(panelPopUp, POPUP_RECINTERVAL), 1);
    EXPECT_EQ(Val(panelPopUp, POPUP_RECSAMPLES), 100);
    // Brand band: five text lines over it.
    EXPECT_GE(GetNewCtrls(panelHandle).size(), 5u);
}

TEST(Startup, DefaultRecordFileLiesBesideTheProgramWhateverTheWorkingDirectory) {
    const QString cwd = QDir::currentPath();
    ASSERT_EQ(chdir("/tmp"), 0);
    ResetFrontEnd();
    const std::string expected =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "KVexRecord.dat").string();
    EXPECT_EQ(recfile_name, expected);
    std::string shown;
    GetCtrlVal(panelPopUp, POPUP_RECFILENAME, shown);
    EXPECT_EQ(shown, expected);
    ASSERT_EQ(chdir(cwd.toUtf8().constData()), 0);
}

TEST(PanelCallbacks, ClosingThePopupHidesItAndTurnsItsToggleOff) {
    ResetFrontEnd();
    SetCtrlVal(panelPopUp, POPUP_HOLD, 321);
    OperateCtrl(panelHandle, PANEL_TOGBTNPARAII, 1); // shown the way the user shows it
    QWidget* popup = PanelWidget(panelPopUp);
    ASSERT_TRUE(popup->isVisible());
    ClosePanelWindow(panelPopUp);
    EXPECT_FALSE(popup->isVisible());
    EXPECT_EQ(Val(panelHandle, PANEL_TOGBTNPARAII), 0);
    // Showing it again gives the same panel with its values kept.
    OperateCtrl(panelHandle, PANEL_TOGBTNPARAII, 1);
    EXPECT_TRUE(popup->isVisible());
    EXPECT_EQ(Val(panelPopUp, POPUP_HOLD), 321);
    ClosePanelWindow(panelPopUp);
}

TEST(PanelCallbacks, OtherPanelEventsAreIgnored) {
    ResetFrontEnd();
    stop_flag = 0;
    EXPECT_EQ(CC_PANEL(panelHandle, EVENT_COMMIT, nullptr, 0, 0), 0);
    EXPECT_EQ(stop_flag, 0);
    EXPECT_EQ(CC_POPUP(panelPopUp, EVENT_VAL_CHANGED, nullptr, 0, 0), 0);
    stop_flag = 1;
}

// ---- One exchange at a time -----------------------------------------------------------------

struct Starter {
    int panel, id;
    const char* name;
};
std::vector<Starter> Starters() {
    return {{panelHandle, PANEL_BTNRUN, "PANEL_BTNRUN"},         {panelHandle, PANEL_BTNDATA, "PANEL_BTNDATA"},
            {panelHandle, PANEL_BTNSEND, "PANEL_BTNSEND"},       {panelHandle, PANEL_BTNGET, "PANEL_BTNGET"},
            {panelHandle, PANEL_BUTTONTEACH, "PANEL_BUTTONTEACH"}, {panelHandle, PANEL_BUTTONRESET, "PANEL_BUTTONRESET"},
            {panelHandle, PANEL_BUTTONREFRESH, "PANEL_BUTTONREFRESH"}, {panelHandle, PANEL_DROPDCOM, "PANEL_DROPDCOM"},
            {panelPopUp, POPUP_RECSTART, "POPUP_RECSTART"}};
}
int LockedStarters() {
    int n = 0;
    for (const Starter& s : Starters()) n += Attribute(s.panel, s.id, Attr::Locked) == 1;
    return n;
}
int NonLiveRequests(const zep4sim::PtyHost& sim) {
    int n = 0;
    for (const zep4sim::Request& r : sim.requests()) n += r.order != ORD_LIVE;
    return n;
}

// Inside the live loop every other exchange is held off, Stop is not; inside a one-shot wait
// Stop is held off too.
TEST(Exchanges, NothingStartsWhileAnotherRuns) {
    zep4sim::Faults f;
    f.silentOrders = {ORD_TEACH};
    auto sim = StartSim(WithFaults(f));
    StartFrontEnd();
    const std::string dir = MakeTempDir("zep4hold");
    CopyText(recfile_name, (dir + "/rec.dat").c_str());
    sim->clearRequests();
    ASSERT_EQ(exchange_busy, 0);
    static int locked, stopLocked, nonLive, stopsLocked;
    locked = stopLocked = nonLive = stopsLocked = -1;
    static zep4sim::PtyHost* host;
    host = sim.get();
    QTimer::singleShot(300, [] {
        locked = LockedStarters();
        stopLocked = Attribute(panelHandle, PANEL_BTNSTOP, Attr::Locked) +
                     Attribute(panelPopUp, POPUP_RECSTOP, Attr::Locked);
        for (const Starter& s : Starters()) OperateCtrl(s.panel, s.id);
        PumpFor(0.2);
        nonLive = NonLiveRequests(*host);
        OperateCtrl(panelHandle, PANEL_BTNSTOP);
    });
    OperateCtrl(panelHandle, PANEL_BTNRUN);
    EXPECT_EQ(locked, int(Starters().size()));
    EXPECT_EQ(stopLocked, 0);
    EXPECT_EQ(nonLive, 0);
    EXPECT_EQ(LockedStarters(), 0);

    // A teach nobody answers: 1.5 s in which Stop and Run are held off as well.
    QTimer::singleShot(300, [] {
        stopsLocked = Attribute(panelHandle, PANEL_BTNSTOP, Attr::Locked) +
                      Attribute(panelPopUp, POPUP_RECSTOP, Attr::Locked);
        OperateCtrl(panelHandle, PANEL_BTNRUN);
    });
    sim->clearRequests();
    OperateCtrl(panelHandle, PANEL_BUTTONTEACH);
    EXPECT_EQ(stopsLocked, 2);
    PumpFor(0.1);
    EXPECT_EQ(sim->requests().size(), 1u);
    EXPECT_EQ(Attribute(panelHandle, PANEL_BTNSTOP, Attr::Locked), 0);
    std::filesystem::remove_all(dir);
}

// A minute of a user clicking everything at random against a controller at the line rate:
// the controller never hears a request while an answer is still due, every parameter write
// carries panel values (which here only ever come from the controller's own sets), and
// nothing is left dimmed.
TEST(Exchanges, RandomClickingKeepsTheLineToOneExchange) {
    zep4sim::Options o;
    o.paced = true;
    o.answerDelaySeconds = 0.001;
    auto sim = StartSim(o);
    StartFrontEnd();
    const std::string dir = MakeTempDir("zep4clicks");
    CopyText(recfile_name, (dir + "/rec.dat").c_str());
    SetCtrlVal(panelPopUp, POPUP_RECSAMPLES, 3);
    DisplayPanel(panelHandle);
    DisplayPanel(panelPopUp);
    sim->clearRequests();

    static std::vector<Starter> targets;
    targets = Starters();
    targets.push_back({panelHandle, PANEL_BTNSTOP, "PANEL_BTNSTOP"});
    targets.push_back({panelPopUp, POPUP_RECSTOP, "POPUP_RECSTOP"});
    targets.push_back({panelHandle, PANEL_RBTRAM, "PANEL_RBTRAM"});
    targets.push_back({panelHandle, PANEL_RBTEEPROM, "PANEL_RBTEEPROM"});
    static std::mt19937 rng(20261207);
    static double end;
    static int clicks, refused, inside;
    clicks = refused = inside = 0;
    end = Timer() + 60.0;
    static std::function<void()> tick;
    tick = [] {
        if (Timer() > end) return;
        QTimer::singleShot(std::uniform_int_distribution<int>(10, 250)(rng), tick); // fires inside waits too
        const Starter& t = targets[std::uniform_int_distribution<size_t>(0, targets.size() - 1)(rng)];
        QWidget* w = PanelWidget(t.panel)->findChild<QWidget*>(t.name);
        if (!w || !w->isEnabled()) {
            ++refused;
            return;
        }
        ++clicks, ++inside;
        if (t.id == PANEL_DROPDCOM && t.panel == panelHandle)
            OperateCtrl(t.panel, t.id, 1);
        else
            QTest::mouseClick(w, Qt::LeftButton);
        --inside;
    };
    tick();
    PumpUntil([] { return Timer() > end + 1 && inside == 0; }, 90.0);
    OperateCtrl(panelHandle, PANEL_BTNSTOP);
    PumpFor(0.1);

    EXPECT_GT(clicks, 100);
    EXPECT_GT(refused, 0);
    int pending = 0, writes = 0, foreign = 0;
    const zep4sim::Words set0 = zep4sim::initialEepromSet(0);
    for (const zep4sim::Request& r : sim->requests()) {
        pending += r.answerPending;
        if (r.order != ORD_WRITE_RAM && r.order != ORD_WRITE_EEPROM) continue;
        ++writes;
        bool ok = r.words[0] <= 1 && r.words[1] == 500 && r.words[4] == 950;
        for (int i = 5; i < 16; ++i) ok = ok && r.words[i] == (r.words[0] == 0 ? set0[i] : 0);
        foreign += !ok;
    }
    std::printf("random clicks: %d taken, %d refused while held off, %zu requests, %d writes\n", clicks, refused,
                sim->requests().size(), writes);
    EXPECT_EQ(pending, 0);
    EXPECT_GT(writes, 0);
    EXPECT_EQ(foreign, 0);
    EXPECT_EQ(exchange_busy, 0);
    EXPECT_EQ(LockedStarters(), 0);
    for (const Starter& s : targets) EXPECT_EQ(Attribute(s.panel, s.id, Attr::Dimmed), 0) << s.name;
    HidePanel(panelPopUp);
    HidePanel(panelHandle);
    std::filesystem::remove_all(dir);
}

// The whole program against the simulated controller: start-up talks to it, the live loop
// runs, and closing the main panel in the middle of it ends the loop and the program with 0.
TEST(Program, ClosingTheMainPanelDuringALiveRunEndsWithZero) {
    const zep4sim::Options options;
    auto sim = StartSim(options);
    static bool started = false, runEnded = false;
    started = runEnded = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [] {
        QWidget* w = PanelWidget(panelHandle);
        if (started || !w || !w->isVisible()) return;
        started = true;
        QTimer::singleShot(600, [] { ClosePanelWindow(panelHandle); });
        OperateCtrl(panelHandle, PANEL_BTNRUN); // the live loop runs in here until stopped
        runEnded = true;
    });
    poll.start();
    const int code = WinMain(0, nullptr);
    poll.stop();
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(started);
    EXPECT_TRUE(runEnded);
    EXPECT_EQ(stop_flag, 1);
    int live = 0, echo = 0;
    for (const zep4sim::Request& r : sim->requests()) {
        live += r.order == ORD_LIVE;
        echo += r.order == ORD_ECHO;
    }
    EXPECT_GE(echo, 1); // start-up checked the line
    EXPECT_GE(live, 3);
    // The panels were discarded on the way out.
    EXPECT_EQ(PanelWidget(panelHandle), nullptr);
}

TEST(Program, WithoutADisplayEndsWithMinusOneAndOneLine) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QString::fromLocal8Bit(std::getenv("ZEP4_TEST_BIN_DIR")) + "/kvex-zep4", {});
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit); // not an abort
    EXPECT_EQ(program.exitCode(), 255);
    const QByteArray err = program.readAllStandardError();
    EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
    EXPECT_TRUE(err.startsWith("kvex-zep4: no display")) << err.toStdString();
}

} // namespace
