// SPDX-License-Identifier: GPL-3.0-or-later
// Test harness: the simulated controller on a pty and the front end brought up like start-up.
#include "support/harness.h"

#include <csignal>
#include <cstdlib>
#include <sstream>
#include <sys/resource.h>

std::unique_ptr<zep4sim::PtyHost> StartSim(zep4sim::Options options) {
    auto host = std::make_unique<zep4sim::PtyHost>(std::move(options));
    const bool started = host->start();
    EXPECT_TRUE(started) << "the simulated controller did not start";
    if (started) SetPort1(host->devicePath());
    return host;
}

void ResetFrontEnd() {
    if (!PanelWidget(panelHandle)) { // not yet, or discarded by a whole program run
        RegisterPanels();
        panelHandle = LoadPanel(0, kPanelResourceFile, PANEL);
        panelPopUp = LoadPanel(0, kPanelResourceFile, POPUP);
        EXPECT_GT(panelHandle, 0);
        EXPECT_GT(panelPopUp, 0);
        GetProjectDir(proj_dir);
    }
    CloseCom(com);
    InitVars();
    graphrefresh = rx_flag = 0, stop_flag = 1; // as before any exchange
}

void StartFrontEnd() {
    ResetFrontEnd();
    InitRS232(com);
}

void Event(int panel, int control, int event) {
    EXPECT_EQ(CallCtrlCallback(panel, control, event), 0) << "control " << control << ", event " << event;
}

void Press(int panel, int control) {
    Event(panel, control, EVENT_LEFT_CLICK);
    Event(panel, control, EVENT_COMMIT);
}

void Choose(int panel, int control, int value) {
    const bool changed = CtrlInt(panel, control) != value;
    SetCtrlVal(panel, control, value);
    if (changed) Event(panel, control, EVENT_VAL_CHANGED);
    Event(panel, control, EVENT_COMMIT);
}

std::string CtrlText(int panel, int control) {
    std::string text = "?";
    GetCtrlVal(panel, control, text);
    return text;
}

int CtrlInt(int panel, int control) {
    int v = -12345;
    GetCtrlVal(panel, control, v);
    return v;
}

int CtrlAttr(int panel, int control, Attr a) {
    int v = -12345;
    GetCtrlAttribute(panel, control, a, v);
    return v;
}

std::vector<int> Orders(const zep4sim::PtyHost& host) {
    std::vector<int> out;
    for (const zep4sim::Request& r : host.requests()) out.push_back(r.order);
    return out;
}

int Overlapping(const zep4sim::PtyHost& host) {
    int n = 0;
    for (const zep4sim::Request& r : host.requests()) n += r.answerPending;
    return n;
}

std::string Describe(const FileSelectRequest& r) {
    return r.defaultDirectory + "|" + r.defaultFile + "|" + r.filter + "|" + r.title + "|" +
           std::to_string(static_cast<int>(r.button)) + "|" + std::to_string(r.restrictDirectory) +
           std::to_string(r.restrictExtension) + std::to_string(r.allowCancel) + std::to_string(r.allowMakeDirectory) +
           std::to_string(r.confirmReplace);
}

std::string ReadBytes(const std::string& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

std::string MakeTempDir(const std::string& stem) {
    std::string tmpl = "/tmp/" + stem + "-XXXXXX";
    EXPECT_NE(mkdtemp(tmpl.data()), nullptr);
    return tmpl;
}

QWidget* CtrlWidget(int panel, int control) {
    CtrlKind kind;
    std::string name;
    CtrlCallbackPtr cb;
    return GetCtrlInfo(panel, control, kind, name, cb) ? PanelWidget(panel)->findChild<QWidget*>(QString::fromStdString(name)) : nullptr;
}

void LeaveAnAnswerDue(zep4sim::PtyHost& host, double seconds, zep4sim::Faults faults) {
    faults.lateOrders = {ORD_ECHO}, faults.lateSeconds = seconds;
    host.setFaults(faults);
    const int heard = CountOrder(host, ORD_ECHO);
    FillTxBuf(ORD_ECHO, pp);
    WriteRequest(com, 1.0);
    EXPECT_TRUE(PumpUntil([&] { return CountOrder(host, ORD_ECHO) > heard; }, 1.0));
}

void WithFileSizeLimit(unsigned long bytes, const std::function<void()>& f) {
    rlimit old{}, small{};
    getrlimit(RLIMIT_FSIZE, &old);
    small = old, small.rlim_cur = bytes;
    auto handler = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    f();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, handler);
}
