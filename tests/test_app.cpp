// SPDX-License-Identifier: GPL-3.0-or-later
// The whole program: both panel forms (laid out in reading order, starting values, the port
// ring's items), the start-up defaults, the two panel callbacks, a whole program run against the
// simulated controller, a minute of random clicking, and recordings killed at random.

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>

#include <signal.h>
#include <sys/wait.h>

#include <map>
#include <random>
#include <set>
#include <regex>
#include <sstream>

#include "support/harness.h"

namespace {

using I = std::vector<int>;

// Fresh copies of both forms, as the program loads them, shown so that their layouts are applied.
struct Forms {
    int main, popup;
    Forms() : main((RegisterPanels(), LoadPanel(0, kPanelResourceFile, PANEL))), popup(LoadPanel(0, kPanelResourceFile, POPUP)) {
        for (int p : {main, popup}) { // every layout applied now, not at some later event pass
            DisplayPanel(p);
            for (QLayout* l : PanelWidget(p)->findChildren<QLayout*>()) l->activate();
        }
    }
    ~Forms() { DiscardPanel(main), DiscardPanel(popup); }
};

QWidget* Group(QWidget* w) {
    while (w && !qobject_cast<QGroupBox*>(w)) w = w->parentWidget();
    return w;
}

// Shown controls that cover one another or come out of reading order (the Tab order is the
// order made): in its group each is below the one before, right of it on its row, or right of
// all before it (a new column); each row starts where the group's first control does. The logo
// floats over the band.
std::string Misplaced(int panel) {
    std::string out;
    QWidget* win = PanelWidget(panel);
    struct Shown { int id; QRect at; QWidget* group; };
    std::vector<Shown> shown;
    for (int id : GetPanelCtrls(panel)) {
        QWidget* w = CtrlWidget(panel, id);
        if (w && w->isVisibleTo(win) && w->objectName() != "PANEL_LOGO") // ids of the two forms overlap
            shown.push_back({id, QRect(w->mapTo(win, QPoint(0, 0)), w->size()), Group(w)});
    }
    int first = 0, bottom = 0; // the group's first control's left edge; the lowest bottom before
    for (size_t i = 0; i < shown.size(); ++i) {
        for (size_t j = i + 1; j < shown.size(); ++j)
            if (shown[i].at.intersects(shown[j].at)) out += std::to_string(shown[i].id) + " covers " + std::to_string(shown[j].id) + "; ";
        int right = -1; // of all before it in its group
        for (size_t k = i; k-- > 0 && shown[k].group == shown[i].group;) right = std::max(right, shown[k].at.right());
        const QRect &a = shown[i - (i > 0)].at, &b = shown[i].at;
        if (right >= 0 && b.top() <= a.bottom() && (b.left() <= a.right() || b.bottom() < a.top()) && b.left() <= right)
            out += std::to_string(shown[i].id) + " before " + std::to_string(shown[i - 1].id) + "; ";
        if (right < 0) first = b.left(), bottom = b.bottom();
        else if (b.top() > bottom && b.left() <= a.right() && b.left() != first)
            out += std::to_string(shown[i].id) + " indented; ";
        bottom = std::max(bottom, b.bottom());
    }
    return out;
}

} // namespace

// Both forms: titles, sizes, nothing covered and the reading order kept, starting values, ranges
// and the port ring's items; and the charts as they start.
TEST(Panels, BothFormsLaidOutWithTheirStartingValuesAndItems) {
    const Forms forms;
    EXPECT_EQ(GetPanelTitle(forms.main) + "|" + GetPanelTitle(forms.popup),
              "K-VEX-ZEP4-Duvez V2.0|K-VEX-ZEP4-Duvez V2.0 - parameters and recorder");
    QWidget* win = PanelWidget(forms.main);
    EXPECT_EQ(std::make_pair(win->size(), PanelWidget(forms.popup)->size()), std::make_pair(QSize(1280, 860), QSize(820, 480)));
    EXPECT_EQ(Misplaced(forms.main) + Misplaced(forms.popup), "");
    EXPECT_EQ(I({int(GetPanelCtrls(forms.main).size()), int(GetPanelCtrls(forms.popup).size())}), I({48, 24}));
    EXPECT_EQ(Group(CtrlWidget(forms.popup, POPUP_HOLD))->width(), Group(CtrlWidget(forms.popup, POPUP_RECSTART))->width()); // two halves
    const std::tuple<int, int, int> starts[] = { // panel (0 main, 1 popup), control, value the form gives
        {0, PANEL_DROPDCOM, 1}, {0, PANEL_GRAPHSOURCE, 2}, {0, PANEL_RBTRAM, 1}, {0, PANEL_POWERSWITCH, 1},
        {0, PANEL_POWERA, 500}, {0, PANEL_POWERB, 500}, {0, PANEL_REFA, 2048}, {0, PANEL_REFB, 2048},
        {0, PANEL_TOLA, 512}, {0, PANEL_TOLB, 512}, {0, PANEL_HYSTERESIS, 20}, {0, PANEL_HWMODE, 1},
        {0, PANEL_TOGBTNPARAII, 0}, {1, POPUP_EVALMODE, 0}, {1, POPUP_TRIGMODE, 0}, {1, POPUP_OUTMODE, 0},
        {1, POPUP_ANAMODE, 0}, {1, POPUP_TRIGLVLA, 950}, {1, POPUP_TRIGLVLB, 950}, {1, POPUP_SDELAY, 500},
        {1, POPUP_HOLD, 100}, {1, POPUP_AVERAGE, 8}, {1, POPUP_POLARITY, 1}, {1, POPUP_MAXMODE, 0},
        {1, POPUP_RECINTERVAL, 1}, {1, POPUP_RECSAMPLES, 100}};
    for (auto [popup, id, value] : starts) EXPECT_EQ(CtrlInt(popup ? forms.popup : forms.main, id), value) << popup << " " << id;
    // Ranges, the charts as they start, Stop recording dimmed until a recording was stopped.
    const std::tuple<int, int, Attr, int> attrs[] = { // panel (0 main, 1 popup), control, attribute, value
        {1, POPUP_RECINTERVAL, Attr::MaxValue, 65535}, {1, POPUP_RECSAMPLES, Attr::MaxValue, 65535},
        {0, PANEL_REFA, Attr::MaxValue, 65535}, {0, PANEL_REFA, Attr::MinValue, 0},
        {1, POPUP_RECPROGRESS, Attr::MaxValue, 100}, {0, PANEL_RAWCHART, Attr::NumTraces, 2},
        {0, PANEL_NORMCHART, Attr::NumTraces, 6}, {0, PANEL_RAWCHART, Attr::Visible, 0},
        {0, PANEL_NORMCHART, Attr::Visible, 1}, {0, PANEL_DATAGRAPH, Attr::Visible, 0},
        {0, PANEL_STOPRECENABLE, Attr::Dimmed, 1}};
    for (auto [popup, id, a, value] : attrs)
        EXPECT_EQ(CtrlAttr(popup ? forms.popup : forms.main, id, a), value) << popup << " " << id;
    // The band across the top with the logo over it.
    EXPECT_EQ(CtrlWidget(forms.main, PANEL_BRANDBAND)->height(), 60);
    EXPECT_EQ(CtrlWidget(forms.main, PANEL_LOGO)->geometry(), QRect(175, 6, 40, 48));
    EXPECT_EQ(win->childAt(195, 30), CtrlWidget(forms.main, PANEL_LOGO));
    EXPECT_EQ(CtrlText(forms.popup, POPUP_RECSTATUS), "DATA-RECORDER");
    // Each live value sits on its channel's row, beside its other channel's value.
    std::map<QString, int> rows; // the middle of each row label
    for (QLabel* l : Group(CtrlWidget(forms.main, PANEL_VALUEA))->findChildren<QLabel*>())
        rows[l->text()] = l->geometry().center().y();
    const std::pair<int, int> pairs[] = {{PANEL_VALUEA, PANEL_VALUEB}, {PANEL_ADCA, PANEL_ADCB}, {PANEL_AMAX, PANEL_BMAX},
        {PANEL_MAXVALA, PANEL_MAXVALB}, {PANEL_MINVALA, PANEL_MINVALB}, {PANEL_INPUTLED0, PANEL_INPUTLED8}};
    for (auto [a, b] : pairs) {
        const QRect ra = CtrlWidget(forms.main, a)->parentWidget()->geometry(), rb = CtrlWidget(forms.main, b)->parentWidget()->geometry();
        EXPECT_TRUE(ra.left() == rb.left() && ra.contains(ra.left(), rows["CH-A"]) && rb.contains(rb.left(), rows["CH-B"]))
            << a;
    }
    // Room the window gains goes to the chart alone.
    QWidget* chart = CtrlWidget(forms.main, PANEL_NORMCHART);
    const QSize before = chart->size();
    win->resize(1600, 1060);
    for (QLayout* l : win->findChildren<QLayout*>()) l->activate();
    EXPECT_EQ(chart->size(), before + QSize(320, 200));
    auto items = [](int panel, int id) { // "value text|" of every item
        auto* combo = qobject_cast<QComboBox*>(CtrlWidget(panel, id));
        std::string all;
        for (int i = 0; combo && i < combo->count(); ++i)
            all += std::to_string(combo->itemData(i).toInt()) + " " + combo->itemText(i).toStdString() + "|";
        return all;
    };
    // The port ring, asked when opened: 1..8 always (bare when the system has no such port) among
    // the system's ports, in order of number.
    unsetenv("ZEP4_SERIAL_PORTS");
    QTest::keyClick(CtrlWidget(forms.main, PANEL_DROPDCOM), Qt::Key_F4);
    std::string ports;
    for (int n = 1; n <= 8; ++n) ports += std::to_string(n) + " " + std::to_string(n) + "(: /dev/[^|]*)?\\|";
    EXPECT_TRUE(std::regex_match(items(forms.main, PANEL_DROPDCOM), std::regex(ports + "(([0-9]+) \\3: /dev/[^|]*\\|)*")))
        << items(forms.main, PANEL_DROPDCOM);
    // Either form's parameter fields stand in two columns.
    for (QWidget* group : {Group(CtrlWidget(forms.main, PANEL_POWERA)), Group(CtrlWidget(forms.popup, POPUP_HOLD))}) {
        std::set<int> lefts;
        for (QWidget* w : group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (w->isVisibleTo(group)) lefts.insert(w->x());
        EXPECT_EQ(lefts.size(), 2u) << static_cast<QGroupBox*>(group)->title().toStdString();
    }
}

TEST(Startup, InitVarsGivesTheDefaults) {
    ResetFrontEnd();
    // Things the defaults put right.
    SetCtrlVal(panelHandle, PANEL_REFB, 2222);
    SetCtrlAttribute(panelHandle, PANEL_POWERA, Attr::Visible, false);
    SetCtrlAttribute(panelHandle, PANEL_POWERB, Attr::Visible, true);
    Choose(panelHandle, PANEL_RBTEEPROM, 1);
    SetCtrlVal(panelPopUp, POPUP_RECINTERVAL, 7);
    SetCtrlVal(panelPopUp, POPUP_RECSAMPLES, 10000);
    SetCtrlVal(panelPopUp, POPUP_RECFILENAME, "elsewhere.dat");
    xArray[9] = 1, com = 3;
    InitVars();
    // Every parameter from its control, the port, sync byte and target, channel A's power shown.
    EXPECT_EQ(I({refB, com, com232::sync, target, CtrlInt(panelHandle, PANEL_RBTRAM), CtrlInt(panelHandle, PANEL_RBTEEPROM),
                 CtrlAttr(panelHandle, PANEL_POWERA, Attr::Visible),
                 CtrlAttr(panelHandle, PANEL_POWERB, Attr::Visible)}),
              I({2222, 1, 0x55, RAM, 1, 0, 1, 0}));
    EXPECT_EQ(std::string(file_name) + "|" + szSoftname + "|" + szSoftversion + "|" + StatusText() + "|" +
                  CtrlText(panelPopUp, POPUP_RECFILENAME),
              "ZEP4para.cfg|K-VEX-ZEP4-Duvez|V2.0|InitVars|" + std::string(proj_dir) + "/KVexRecord.dat");
    // 7 s times 10000 samples; brand 2.
    EXPECT_EQ(I({CtrlInt(panelPopUp, POPUP_RECHOURS), CtrlInt(panelPopUp, POPUP_RECMINUTES),
                 CtrlInt(panelPopUp, POPUP_RECSECONDS), CtrlAttr(panelHandle, PANEL_LOGO, Attr::Left),
                 CtrlAttr(panelHandle, PANEL_BRANDBAND, Attr::FrameColor)}),
              I({19, 26, 40, 175, 0x0080FF}));
    // The data view's x values; the band chart's history at the default reference and tolerance.
    EXPECT_EQ(I({xArray[0], xArray[9], xArray[255]}), I({0, 9, 255}));
    EXPECT_EQ(std::vector<double>(arrayNORM + 594, arrayNORM + 599), std::vector<double>({2560, 1536, 2048, 0, 0}));
}

// The line as the program opens it: start-up shows the controller's firmware, a port change
// lets go of the old port, and the device plugged back in is checked again.
TEST(Startup, APortChangeLetsGoOfTheOldPortAndADevicePluggedBackIsChecked) {
    const std::string dir = MakeTempDir("zep4-line"), firmware = zep4sim::defaultOptions().firmwareText;
    zep4sim::Options o;
    o.linkPath = dir + "/line";
    auto first = StartSim(), second = StartSim(o);
    SetPort1(first->devicePath() + ":" + o.linkPath);
    StartFrontEnd();
    Choose(panelHandle, PANEL_DROPDCOM, 2);
    EXPECT_EQ(I({com, ComWrt(1, "", 0)}), I({2, kRS_PortNotOpen}));
    EXPECT_EQ(StatusText(), firmware);
    second->unplug();
    PumpFor(0.3);
    second->plugIn();
    EXPECT_TRUE(PumpUntil([] { return StatusText() == "Echo Check - Line Ok! Get fetches the parameters."; }, 2.5)) << StatusText();
    CloseCom(com);
    std::filesystem::remove_all(dir);
}

// A minute of a user clicking everything at random against a controller at the line rate:
// the controller never hears a request while an answer is still due, every parameter write
// carries panel values (which here only ever come from the controller's own sets), and
// nothing is left held off or dimmed.
TEST(Exchanges, RandomClickingKeepsTheLineToOneExchange) {
    zep4sim::Options paced;
    paced.paced = true, paced.answerDelaySeconds = 0.001;
    auto sim = StartSim(paced);
    StartFrontEnd();
    const std::string dir = MakeTempDir("zep4clicks");
    CopyText(recfile_name, (dir + "/rec.dat").c_str());
    SetCtrlVal(panelPopUp, POPUP_RECSAMPLES, 3);
    for (int p : {panelHandle, panelPopUp}) DisplayPanel(p);
    sim->clearRequests();

    const std::vector<std::pair<int, int>> targets = { // the exchanges' starters, Stop and the targets
        {panelHandle, PANEL_BTNRUN}, {panelHandle, PANEL_BTNDATA}, {panelHandle, PANEL_BTNSEND},
        {panelHandle, PANEL_BTNGET}, {panelHandle, PANEL_BUTTONTEACH}, {panelHandle, PANEL_BUTTONRESET},
        {panelHandle, PANEL_BUTTONREFRESH}, {panelHandle, PANEL_DROPDCOM}, {panelPopUp, POPUP_RECSTART},
        {panelHandle, PANEL_BTNSTOP}, {panelPopUp, POPUP_RECSTOP}, {panelHandle, PANEL_RBTRAM},
        {panelHandle, PANEL_RBTEEPROM}};
    std::mt19937 rng(20261207);
    const double end = Timer() + 60.0;
    int clicks = 0, refused = 0, inside = 0;
    std::function<void()> tick = [&] {
        if (Timer() > end) { // the minute is over: stop what still runs, as a user would
            for (const auto& [panel, id] : {std::pair<int, int>{panelHandle, PANEL_BTNSTOP}, {panelPopUp, POPUP_RECSTOP}})
                if (QWidget* w = CtrlWidget(panel, id); w && w->isEnabled()) QTest::mouseClick(w, Qt::LeftButton);
            if (exchange_busy) QTimer::singleShot(100, tick);
            return;
        }
        QTimer::singleShot(std::uniform_int_distribution<int>(10, 250)(rng), tick); // fires inside waits too
        const auto [panel, id] = targets[std::uniform_int_distribution<size_t>(0, targets.size() - 1)(rng)];
        QWidget* w = CtrlWidget(panel, id);
        if (!w->isEnabled()) return void(++refused);
        ++clicks, ++inside;
        id == PANEL_DROPDCOM && panel == panelHandle ? Choose(panel, id, 1) : QTest::mouseClick(w, Qt::LeftButton);
        --inside;
    };
    tick();
    PumpUntil([&] { return Timer() > end + 1 && inside == 0; }, 90.0);
    Press(panelHandle, PANEL_BTNSTOP);
    PumpFor(0.1);

    EXPECT_TRUE(clicks > 100 && refused > 0) << clicks << " " << refused;
    int writes = 0, foreign = 0;
    const zep4sim::Words set0 = zep4sim::initialEepromSet(0);
    for (const zep4sim::Request& r : sim->requests()) {
        if (r.order != ORD_WRITE_RAM && r.order != ORD_WRITE_EEPROM) continue;
        ++writes;
        bool ok = r.words[0] <= 1 && r.words[1] == 500 && r.words[4] == 950;
        for (int i = 5; i < 16; ++i) ok = ok && r.words[i] == (r.words[0] == 0 ? set0[i] : 0);
        foreign += !ok;
    }
    EXPECT_GT(writes, 0);
    EXPECT_EQ(I({Overlapping(*sim), foreign, exchange_busy}), I({0, 0, 0}));
    for (const auto& [panel, id] : targets)
        EXPECT_EQ(I({CtrlAttr(panel, id, Attr::Locked), CtrlAttr(panel, id, Attr::Dimmed)}), I({0, 0})) << id;
    for (int p : {panelPopUp, panelHandle}) HidePanel(p);
    std::filesystem::remove_all(dir);
}

// The whole program against the simulated controller: start-up opens the line; the popup's
// close hides it and releases its toggle, and it comes back as it was; the live loop runs, and
// closing the main panel in the middle of it ends the loop at once (not at its time-out), then
// lets go of the port and ends the program with 0.
TEST(Program, PanelsClosingAndTheMainOneClosedDuringALiveRunEndsWithZero) {
    auto sim = StartSim(zep4sim::Options());
    std::string afterRun;
    I afterClose; // the stop flag, then whether the port is open, during the run and after it
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* w = PanelWidget(panelHandle);
        if (!w || !w->isVisible()) return;
        poll.stop();
        SetCtrlVal(panelPopUp, POPUP_HOLD, 321);
        Choose(panelHandle, PANEL_TOGBTNPARAII, 1);
        QWidget* popup = PanelWidget(panelPopUp);
        EXPECT_EQ(CallPanelCallback(panelPopUp, EVENT_COMMIT) + CallPanelCallback(panelHandle, EVENT_COMMIT), 0); // no close
        EXPECT_TRUE(popup->isVisible());
        EXPECT_EQ(CallPanelCallback(panelPopUp, EVENT_CLOSE), 0);
        EXPECT_EQ(I({popup->isVisible(), CtrlInt(panelHandle, PANEL_TOGBTNPARAII)}), I({0, 0}));
        Choose(panelHandle, PANEL_TOGBTNPARAII, 1); // the same panel again, its values kept
        EXPECT_EQ(I({popup->isVisible(), CtrlInt(panelPopUp, POPUP_HOLD)}), I({1, 321}));
        QTimer::singleShot(600, [&] {
            ClosePanelWindow(panelHandle);
            afterClose = {stop_flag, ComWrt(com, "", 0)};
        });
        Press(panelHandle, PANEL_BTNRUN); // the live loop runs in here until stopped
        afterRun = StatusText();
        afterClose.push_back(ComWrt(com, "", 0));
    });
    poll.start(20);
    proj_dir[0] = '\0'; // start-up finds the program's directory itself
    EXPECT_EQ(WinMain(0, nullptr), 0);
    EXPECT_EQ(afterRun, "Line Ok!"); // a loop that timed out would say so; empty: never started
    EXPECT_EQ(afterClose, I({1, 0, kRS_PortNotOpen}));
    EXPECT_GE(CountOrder(*sim, ORD_LIVE), 3);
    EXPECT_EQ(std::string(recfile_name), (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "KVexRecord.dat").string());
    EXPECT_EQ(PanelWidget(panelHandle), PanelWidget(panelPopUp)); // both discarded on the way out: null
}

// ---- Kill test: a recording killed with SIGKILL at a random moment keeps every line it had
// counted, and no line is left half written. Each round runs this same program again as a child
// that only records (RecordUntilKilled, skipped unless the child's environment is set). The
// child appends every count it has shown in POPUP_RECCOUNT to a file of its own; the parent
// kills it at a random moment and reads both files.

namespace {

int reportFd = -1;

// The real receive path; after it, whatever count the panel shows is reported. The recorder
// writes a line before it shows its count, so a shown count is a promise.
void ReportingReceive(int port, int events, void* data) {
    RX_Receive_Function(port, events, data);
    const std::string line = std::to_string(CtrlInt(panelPopUp, POPUP_RECCOUNT)) + "\n";
    if (::write(reportFd, line.data(), line.size()) < 0) std::_Exit(3);
}

// Runs the child recording into path, kills it killAfter seconds after its first counted line
// and returns the last count it reported whole (-1: none); fails unless SIGKILL ended it.
int RunRound(const std::string& path, double killAfter) {
    const std::string counts = path + ".counts";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(30); // outlives the exec: a child stuck before its first line ends by itself
        ::dup2(::open("/dev/null", O_WRONLY), STDOUT_FILENO);
        ::setenv("ZEP4_KILLTEST_FILE", path.c_str(), 1);
        char self[] = "/proc/self/exe", arg0[] = "test_app", filter[] = "--gtest_filter=DurabilityChild.*";
        char* argv[] = {arg0, filter, nullptr};
        ::execv(self, argv);
        std::_Exit(127);
    }
    int status = 0;
    while (ReadBytes(counts).find_first_not_of("0\n") == std::string::npos && ::waitpid(pid, &status, WNOHANG) == 0)
        ::usleep(2000);
    ::usleep(static_cast<useconds_t>(killAfter * 1e6));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child ended before it was killed";
    std::string got = "\n-1\n" + ReadBytes(counts); // -1: no count reported
    got.erase(got.rfind('\n')); // a line cut by the kill does not count
    return std::atoi(got.c_str() + got.rfind('\n') + 1);
}

} // namespace

// The child's part: records from the simulated controller until it is killed.
TEST(DurabilityChild, RecordUntilKilled) {
    const char* path = std::getenv("ZEP4_KILLTEST_FILE");
    if (!path) GTEST_SKIP() << "runs only as the kill test's child";
    reportFd = ::open((std::string(path) + ".counts").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
    auto sim = StartSim();
    StartFrontEnd();
    ASSERT_EQ(StatusText().find("Error"), std::string::npos) << StatusText();
    CopyText(recfile_name, path);
    SetCtrlVal(panelPopUp, POPUP_RECINTERVAL, 0), SetCtrlVal(panelPopUp, POPUP_RECSAMPLES, 65535);
    InstallComCallback(com, eventMask, FRAME_LEN, com232::sync, ReportingReceive, nullptr);
    Event(panelPopUp, POPUP_RECSTART, EVENT_COMMIT);
}

TEST(Durability, RecordingKilledAtRandomKeepsEveryCountedLineWhole) {
    const std::string dir = MakeTempDir("zep4-kill");
    const unsigned seed = std::random_device{}();
    std::mt19937 rng(seed);
    static const std::regex row("((0|[1-9][0-9]{0,4})\t){3}(0|[1-9][0-9]{0,4})"); // four unsigned 16-bit numbers
    for (int i = 0; i < 6; ++i) {
        const double killAfter = std::uniform_real_distribution<double>(0.0, 1.2)(rng);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(i) + ", killed " + std::to_string(killAfter) +
                     " s after the first line");
        const std::string path = dir + "/rec" + std::to_string(i) + ".dat";
        const int lastCount = RunRound(path, killAfter);
        ASSERT_GE(lastCount, 1) << "the child reported no count";
        std::istringstream in(ReadBytes(path));
        std::string line;
        EXPECT_TRUE(std::getline(in, line) && line == "K-VEX-ZEP4-RECORDER-FILE: Time-Interval[s]: 0");
        int lines = 0, bad = 0;
        for (; std::getline(in, line); ++lines) bad += in.eof() || !std::regex_match(line, row); // unended or malformed
        // No counted line lost, none unended or malformed; the count shown lags the file by the line in progress.
        EXPECT_TRUE(bad == 0 && lines >= lastCount && lines <= lastCount + 1) << bad << " bad, " << lines << " lines, count " << lastCount;
    }
    std::filesystem::remove_all(dir);
}
