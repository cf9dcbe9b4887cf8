// Application core: both panel forms against the control catalogue, the start-up defaults,
// the two panel callbacks and a whole program run against the simulated controller.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <climits>
#include <cstdlib>
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
#include "platform/ui_inspect.h"
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

const std::vector<Expect> kMain = {
    {PANEL_DROPDCOM, "PANEL_DROPDCOM", {K::Ring}, CC_DropDCom},
    {PANEL_NORMCHART, "PANEL_NORMCHART", {K::StripChart}, nullptr},
    {PANEL_RAWCHART, "PANEL_RAWCHART", {K::StripChart}, nullptr},
    {PANEL_GRAPHSOURCE, "PANEL_GRAPHSOURCE", {K::Ring}, CC_RNGGraphSource},
    {PANEL_BTNDATA, "PANEL_BTNDATA", {K::CommandButton}, CC_BTNData},
    {PANEL_STOPRECENABLE, "PANEL_STOPRECENABLE", {K::TextMessage, K::Led}, nullptr},
    {PANEL_RECLOCK, "PANEL_RECLOCK", {K::TextMessage, K::Led}, nullptr},
    {PANEL_LOGO, "PANEL_LOGO", {K::Picture}, nullptr},
    {PANEL_RBTFILE, "PANEL_RBTFILE", {K::RadioButton}, CC_RBTFile},
    {PANEL_RBTEEPROM, "PANEL_RBTEEPROM", {K::RadioButton}, CC_RBTEeprom},
    {PANEL_RBTRAM, "PANEL_RBTRAM", {K::RadioButton}, CC_RBTRam},
    {PANEL_BTNRUN, "PANEL_BTNRUN", {K::CommandButton}, CC_BTNRun},
    {PANEL_HWMODE, "PANEL_HWMODE", {K::Numeric, K::Ring}, nullptr},
    {PANEL_VALUEB, "PANEL_VALUEB", {K::NumericDisplay}, nullptr},
    {PANEL_VALUEA, "PANEL_VALUEA", {K::NumericDisplay}, nullptr},
    {PANEL_ADCB, "PANEL_ADCB", {K::NumericDisplay}, nullptr},
    {PANEL_ADCA, "PANEL_ADCA", {K::NumericDisplay}, nullptr},
    {PANEL_BMAX, "PANEL_BMAX", {K::NumericDisplay}, nullptr},
    {PANEL_AMAX, "PANEL_AMAX", {K::NumericDisplay}, nullptr},
    {PANEL_TOLVAL, "PANEL_TOLVAL", {K::NumericDisplay}, nullptr},
    {PANEL_MAXVALB, "PANEL_MAXVALB", {K::NumericDisplay}, nullptr},
    {PANEL_MINVALB, "PANEL_MINVALB", {K::NumericDisplay}, nullptr},
    {PANEL_MINVALA, "PANEL_MINVALA", {K::NumericDisplay}, nullptr},
    {PANEL_MAXVALA, "PANEL_MAXVALA", {K::NumericDisplay}, nullptr},
    {PANEL_BRANDBAND, "PANEL_BRANDBAND", {K::Decoration}, nullptr},
    {PANEL_TOLB, "PANEL_TOLB", {K::Numeric}, nullptr},
    {PANEL_TOLA, "PANEL_TOLA", {K::Numeric}, nullptr},
    {PANEL_REFB, "PANEL_REFB", {K::Numeric}, nullptr},
    {PANEL_REFA, "PANEL_REFA", {K::Numeric}, nullptr},
    {PANEL_HYSTERESIS, "PANEL_HYSTERESIS", {K::Numeric}, nullptr},
    {PANEL_STATUS, "PANEL_STATUS", {K::TextDisplay}, nullptr},
    {PANEL_POWERA, "PANEL_POWERA", {K::Numeric}, nullptr},
    {PANEL_POWERB, "PANEL_POWERB", {K::Numeric}, nullptr},
    {PANEL_DATAGRAPH, "PANEL_DATAGRAPH", {K::XYGraph}, nullptr},
    {PANEL_TOGBTNPARAII, "PANEL_TOGBTNPARAII", {K::ToggleButton}, CC_TOGBTNparaII},
    {PANEL_OUTMODETEXT, "PANEL_OUTMODETEXT", {K::TextBox}, nullptr},
    {PANEL_ANAMODETEXT, "PANEL_ANAMODETEXT", {K::TextBox}, nullptr},
    {PANEL_EVALMODETEXT, "PANEL_EVALMODETEXT", {K::TextBox}, nullptr},
    {PANEL_TRIGMODETEXT, "PANEL_TRIGMODETEXT", {K::TextBox}, nullptr},
    {PANEL_POWERSWITCH, "PANEL_POWERSWITCH", {K::BinarySwitch}, CC_BINSWpower},
    {PANEL_INPUTLED8, "PANEL_INPUTLED8", {K::Led}, nullptr},
    {PANEL_INPUTLED0, "PANEL_INPUTLED0", {K::Led}, nullptr},
    {PANEL_BTNSEND, "PANEL_BTNSEND", {K::CommandButton}, CC_BTNSend},
    {PANEL_BTNGET, "PANEL_BTNGET", {K::CommandButton}, CC_BTNGet},
    {PANEL_BUTTONTEACH, "PANEL_BUTTONTEACH", {K::CommandButton}, CC_ButtonTeach},
    {PANEL_BUTTONRESET, "PANEL_BUTTONRESET", {K::CommandButton}, CC_ButtonReset},
    {PANEL_BUTTONREFRESH, "PANEL_BUTTONREFRESH", {K::CommandButton}, CC_ButtonRefresh},
    {PANEL_BTNSTOP, "PANEL_BTNSTOP", {K::CommandButton}, CC_BTNStop},
};

const std::vector<Expect> kPopup = {
    {POPUP_SDELAY, "POPUP_SDELAY", {K::Numeric}, nullptr},
    {POPUP_TRIGMODE, "POPUP_TRIGMODE", {K::Ring}, CC_DropTrigmode},
    {POPUP_RECSTART, "POPUP_RECSTART", {K::CommandButton}, CC_BTNStartRecord},
    {POPUP_RECFILENAME, "POPUP_RECFILENAME", {K::TextDisplay}, nullptr},
    {POPUP_MAXMODE, "POPUP_MAXMODE", {K::Numeric, K::Ring}, nullptr},
    {POPUP_AVERAGE, "POPUP_AVERAGE", {K::Numeric, K::Ring}, nullptr},
    {POPUP_POLARITY, "POPUP_POLARITY", {K::Numeric, K::Ring}, nullptr},
    {POPUP_OUTMODE, "POPUP_OUTMODE", {K::Ring}, nullptr},
    {POPUP_ANAMODE, "POPUP_ANAMODE", {K::Ring}, nullptr},
    {POPUP_HOLD, "POPUP_HOLD", {K::Numeric}, nullptr},
    {POPUP_EVALMODE, "POPUP_EVALMODE", {K::Ring}, CC_DROP_EvalMode},
    {POPUP_TRIGLVLA, "POPUP_TRIGLVLA", {K::Numeric}, nullptr},
    {POPUP_TRIGLVLB, "POPUP_TRIGLVLB", {K::Numeric}, nullptr},
    {POPUP_RECCOUNT, "POPUP_RECCOUNT", {K::NumericDisplay}, nullptr},
    {POPUP_RECSECONDS, "POPUP_RECSECONDS", {K::NumericDisplay}, nullptr},
    {POPUP_RECMINUTES, "POPUP_RECMINUTES", {K::NumericDisplay}, nullptr},
    {POPUP_RECHOURS, "POPUP_RECHOURS", {K::NumericDisplay}, nullptr},
    {POPUP_RECDAYS, "POPUP_RECDAYS", {K::NumericDisplay}, nullptr},
    {POPUP_RECINTERVAL, "POPUP_RECINTERVAL", {K::Numeric}, CC_NEDITRecTime},
    {POPUP_RECSAMPLES, "POPUP_RECSAMPLES", {K::Numeric}, CC_NEDITRecSamples},
    {POPUP_RECSTATUS, "POPUP_RECSTATUS", {K::TextBox}, nullptr},
    {POPUP_RECSTOP, "POPUP_RECSTOP", {K::CommandButton}, CC_BTNStopRecord},
    {POPUP_RECFILEBTN, "POPUP_RECFILEBTN", {K::CommandButton}, CC_RecordFileNameBtn},
    {POPUP_RECPROGRESS, "POPUP_RECPROGRESS", {K::ProgressBar}, nullptr},
};

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

std::string ProgramDir() {
    char buf[PATH_MAX] = {};
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string path(buf, n > 0 ? static_cast<size_t>(n) : 0);
    return path.substr(0, path.rfind('/'));
}

int Val(int panel, int control) {
    int v = -12345;
    GetCtrlVal(panel, control, v);
    return v;
}
int Attribute(int panel, int control, Attr a) {
    int v = -12345;
    GetCtrlAttribute(panel, control, a, v);
    return v;
}

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
    const std::string expected = ProgramDir() + "/KVexRecord.dat";
    EXPECT_EQ(recfile_name, expected);
    std::string shown;
    GetCtrlVal(panelPopUp, POPUP_RECFILENAME, shown);
    EXPECT_EQ(shown, expected);
    ASSERT_EQ(chdir(cwd.toUtf8().constData()), 0);
}

TEST(Startup, NoControllerStillLeavesAFailureOnTheStatusLine) {
    SetPort1("/nonexistent/zep4-port");
    StartFrontEnd();
    EXPECT_NE(StatusText(), "InitVars");
    EXPECT_FALSE(StatusText().empty());
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
