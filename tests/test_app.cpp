// Application core: both panel forms against the control catalogue, the start-up defaults,
// the two panel callbacks and a whole program run against the simulated controller.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <filesystem>
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
    // Mode rings read back the texts the status boxes show.
    const int saved = Val(panelPopUp, POPUP_EVALMODE);
    std::string label;
    SetCtrlVal(panelPopUp, POPUP_EVALMODE, 2);
    GetCtrlVal(panelPopUp, POPUP_EVALMODE, label);
    EXPECT_EQ(label, "NORM (A + B)");
    SetCtrlVal(panelPopUp, POPUP_EVALMODE, saved);
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

} // namespace
