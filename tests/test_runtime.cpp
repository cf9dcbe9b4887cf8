// SPDX-License-Identifier: GPL-3.0-or-later
// The run-time: event codes as the program sees them, values that survive a round trip, the
// event loop and the nested pump, window close and strip charts (on a test panel of its own);
// the number-file reader; and both program forms worked without a mouse and with a screen reader.
#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScreen>
#include <QVBoxLayout>

#include <set>
#include <thread>

#include "runtime/strip_chart.h"
#include "runtime/value_view.h"
#include "support/harness.h"

QTimer* PumpWake();     // the nested pump's wake-up timers (runtime/event_loop.cpp)
QTimer* DeadlineWake();

namespace {

constexpr const char* kFile = "uitest.uir";

enum : int {
    T_BUTTON = 2, T_RING, T_NUM, T_TOGGLE, T_RADIO1, T_RADIO2, T_SWITCH, T_SHOW, T_TEXT,
    T_STRIP, T_PROGRESS, T_SOURCED, T_LAMP,
};

struct Seen { int control, event; bool operator==(const Seen&) const = default; };
using S = std::vector<Seen>;
S seen;
S Both(int c) { return {{c, EVENT_VAL_CHANGED}, {c, EVENT_COMMIT}}; } // a user's change: value changed, commit
using D = std::vector<double>;
std::vector<int> panelEvents;

std::vector<RingChoice> sourceItems = {{"1: first", 1}, {"2: second", 2}, {"4: fourth", 4}};
std::vector<RingChoice> Source() { return sourceItems; }

int Record(int, int control, int event, void*, int, int) {
    seen.push_back({control, event});
    return 0;
}
int RecordPanel(int, int event, void*, int, int) {
    panelEvents.push_back(event);
    return 0;
}

void Build(int panel) {
    CtrlSpec sourced{T_SOURCED, CtrlKind::Ring, "T_SOURCED", "Sourced", Record, 4};
    sourced.source = Source;
    const CtrlSpec controls[] = {
        {T_BUTTON, CtrlKind::CommandButton, "T_BUTTON", "Go", Record},
        {T_RING, CtrlKind::Ring, "T_RING", "Ring", Record, 1, 0, 0, {{"zero", 0}, {"one", 1}, {"three", 3}}},
        {T_NUM, CtrlKind::Numeric, "T_NUM", "Number", Record, 10, 0, 100},
        {T_TOGGLE, CtrlKind::ToggleButton, "T_TOGGLE", "Toggle", Record},
        {T_RADIO1, CtrlKind::RadioButton, "T_RADIO1", "R1", Record, 1},
        {T_RADIO2, CtrlKind::RadioButton, "T_RADIO2", "R2", Record},
        {T_SWITCH, CtrlKind::BinarySwitch, "T_SWITCH", "Switch", Record},
        {T_SHOW, CtrlKind::NumericDisplay, "T_SHOW", "Shown"},
        {T_TEXT, CtrlKind::TextDisplay, "T_TEXT", "Text"},
        {T_STRIP, CtrlKind::StripChart, "T_STRIP", "Strip"},
        {T_PROGRESS, CtrlKind::ProgressBar, "T_PROGRESS", "Progress", nullptr, 0, 0, 10},
        {T_LAMP, CtrlKind::Led, "T_LAMP", "Lamp"},
        sourced,
    };
    auto* lay = new QVBoxLayout(PanelWidget(panel));
    for (const CtrlSpec& c : controls) lay->addWidget(AddCtrl(panel, c));
}

int Panel() {
    static int handle = [] {
        RegisterPanelResource(kFile, 1, Build, RecordPanel);
        return LoadPanel(0, kFile, 1);
    }();
    return handle;
}

template <class W = QWidget>
W* Widget(int control, int panel = Panel()) {
    return dynamic_cast<W*>(CtrlWidget(panel, control));
}

int IntOf(int control) { return CtrlInt(Panel(), control); }
std::string TextOf(int control) { return CtrlText(Panel(), control); }
// What a strip chart trace shows on screen (not its model).
D Drawn(int trace) { return Widget<StripView>(T_STRIP)->shown(trace - 1); }

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GT(Panel(), 0);
        DisplayPanel(Panel());
        seen.clear();
        panelEvents.clear();
    }
    S Take() {
        auto s = seen;
        seen.clear();
        return s;
    }
};

// A button gives a left click, then commit, by mouse, keyboard (with any modifier) or automation;
// other keys and the right button nothing. Values the program sets give no events; the user's clicks
// and steps give a value change, then commit. A radio the user clicks off goes off: the toolkit does
// not make radios exclusive, the program decides.
TEST_F(UiTest, UsersInputIsHeardAndProgramsValuesAreQuiet) {
    auto* b = Widget<QAbstractButton>(T_BUTTON);
    const S click = {{T_BUTTON, EVENT_LEFT_CLICK}, {T_BUTTON, EVENT_COMMIT}};
    QTest::mouseClick(b, Qt::LeftButton);
    EXPECT_EQ(Take(), click);
    for (const auto& [key, mods] : {std::pair{Qt::Key_Return, Qt::NoModifier}, {Qt::Key_Space, Qt::ShiftModifier}}) {
        QTest::keyClick(b, key, mods);
        EXPECT_EQ(Take(), click) << key;
    }
    QTest::keyClick(b, Qt::Key_A);
    QTest::mouseClick(b, Qt::RightButton);
    SetCtrlAttribute(Panel(), T_BUTTON, Attr::Dimmed, 1); // held off during an exchange
    QTest::mouseClick(b, Qt::LeftButton);
    SetCtrlAttribute(Panel(), T_BUTTON, Attr::Dimmed, 0);
    EXPECT_TRUE(Take().empty());
    EXPECT_EQ(OperateCtrl(Panel(), T_BUTTON), 0);
    EXPECT_EQ(Take(), click);
    // From 1: a click on the indicator (no key), a step up, the next item down ("three").
    const struct { int control; Qt::Key key; int after; } changes[] = {{T_TOGGLE, {}, 0}, {T_SWITCH, {}, 0},
        {T_RADIO2, {}, 0}, {T_NUM, Qt::Key_Up, 2}, {T_RING, Qt::Key_Down, 3}};
    for (const auto& [c, key, after] : changes) {
        SetCtrlVal(Panel(), c, 1);
        QWidget* w = Widget(c);
        if (key == Qt::Key{}) QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(6, w->height() / 2));
        else QTest::keyClick(w, key);
        EXPECT_EQ(Take(), Both(c)) << c;
        EXPECT_EQ(IntOf(c), after) << c;
    }
    // A label changed at run time is what a screen reader says of a control the form gave no name.
    SetCtrlAttribute(Panel(), T_NUM, Attr::LabelText, "REFERENCE");
    EXPECT_EQ(Widget(T_NUM)->accessibleName(), "REFERENCE");
}

// A ring keeps a value no item has, with one item for it (its three and no more). A sourced ring
// asks for its list when the user opens it, keeps its choice and says nothing.
TEST_F(UiTest, RingsKeepTheirValueAndSourcedOnesRefillOnOpening) {
    for (int twice = 0; twice < 2; ++twice) EXPECT_EQ(SetCtrlVal(Panel(), T_RING, 7), 0);
    auto* cb = Widget<QComboBox>(T_RING);
    EXPECT_EQ(TextOf(T_RING) + "=" + std::to_string(IntOf(T_RING)) + " of " + std::to_string(cb->count()), "7=7 of 4");
    auto* src = Widget<QComboBox>(T_SOURCED);
    // Of 1, 2 and 4: 1 dropped, 2 renamed, 3 new, and 4, the chosen one, gone from the source.
    sourceItems = {{"2: second, renamed", 2}, {"3: third", 3}};
    QTest::keyClick(src, Qt::Key_F4);
    std::string items;
    for (int i = 0; i < src->count(); ++i) items += std::to_string(src->itemData(i).toInt()) + "=" + src->itemText(i).toStdString() + "|";
    EXPECT_EQ(items + std::to_string(IntOf(T_SOURCED)), "2=2: second, renamed|3=3: third|4=4: fourth|4");
    EXPECT_TRUE(Take().empty());
}

// What is drawn may lag what is read by a few passes; hidden, until it is shown again.
TEST_F(UiTest, DisplaysKeepWhatWasSetAndDrawItSoon) {
    SetCtrlVal(Panel(), T_SHOW, 65535);
    const std::string line = "V2.0 \xff\xfe\x01 ZEP4"; // bytes off the line are not UTF-8
    SetCtrlVal(Panel(), T_TEXT, line);
    EXPECT_EQ(TextOf(T_TEXT), line);
    SetCtrlVal(Panel(), T_PROGRESS, 70); // held at the maximum
    EXPECT_EQ(IntOf(T_PROGRESS), 10);
    auto* bar = Widget<QProgressBar>(T_PROGRESS);
    auto* shown = Widget<ValueView>(T_SHOW);
    EXPECT_TRUE(PumpUntil([&] { return bar->value() == 10 && shown->text() == "65535"; }, 0.5));
    HidePanel(Panel());
    SetCtrlVal(Panel(), T_PROGRESS, 4);
    PumpFor(0.1);
    EXPECT_EQ(D({double(IntOf(T_PROGRESS)), double(bar->value())}), D({4, 10}));
    DisplayPanel(Panel());
    EXPECT_EQ(bar->value(), 4);
}

// Changes that keep coming, as a live view's answers do, take the refresh pass with them: the pass
// runs in the wake-up that brought a change (about every other one here), never on a wake-up
// of its own in between.
TEST_F(UiTest, RefreshPassesRideOnChangesThatKeepComing) {
    auto* display = Widget<ValueView>(T_SHOW);
    int between = 0, withChange = 0;
    for (int i = 1; i <= 20; ++i) {
        const QString before = display->text();
        PumpFor(0.038);
        between += display->text() != before;
        SetCtrlVal(Panel(), T_SHOW, i);
        PumpFor(0.002); // the same wake-up: the event loop never sleeps for a timer that is due
        withChange += display->text() == NumberText(i);
    }
    EXPECT_LE(between, 2); // a pump that overslept
    EXPECT_GE(withChange, 7);
    PumpFor(0.1); // the last change waits no longer than the pace
    EXPECT_EQ(display->text(), NumberText(20));
}

// Runs nest: a callback may run the loop again, and a quit ends the innermost run once the
// callbacks above it have returned, with the code it was given.
TEST_F(UiTest, RunsNestAndQuitEndsTheInnermost) {
    static std::vector<std::string> trace;
    trace.clear();
    QTimer watchdog; // a loop no quit reaches fails the test instead of hanging it
    watchdog.callOnTimeout([] { QCoreApplication::exit(99); });
    watchdog.start(5000);
    QTimer::singleShot(10, [] {
        QTimer::singleShot(10, [] { trace.push_back("quit " + std::to_string(QuitUserInterface(7))); });
        trace.push_back("inner " + std::to_string(RunUserInterface()));
        QTimer::singleShot(10, [] { trace.push_back("quit " + std::to_string(QuitUserInterface(5))); });
        for (const double t0 = Timer(); Timer() - t0 < 0.1;) ProcessSystemEvents(); // waits on in the outer run
        trace.push_back("outer callback returns");
    });
    const int code = RunUserInterface();
    watchdog.stop();
    EXPECT_EQ(code, 5);
    EXPECT_EQ(trace, (std::vector<std::string>{"quit 0", "inner 7", "quit 0", "outer callback returns"}));
}

// The pump sleeps while nothing is pending, woken every few milliseconds while calls keep coming;
// its wake-up stops once they stop, and a thread without events gets nothing to do.
TEST_F(UiTest, PumpWakesWhileCalledAndRestsWhenNot) {
    PumpFor(0.05);
    int passes = 0;
    const long slept = LoopSleeps();
    EXPECT_EQ(LoopSleeps(), slept); // looking counts nothing
    for (const double t0 = Timer(); Timer() - t0 < 0.2; ++passes) {
        EXPECT_EQ(ProcessSystemEvents(), 0);
        EXPECT_TRUE(PumpWake()->isActive());
    }
    // Not a busy loop: each pass waits once, for an event or the wake-up.
    EXPECT_LT(passes, 200);
    EXPECT_NEAR(LoopSleeps() - slept, passes, 2) << passes;
    QTest::qWait(50); // the toolkit's own loop, no call: two ticks and a margin
    EXPECT_FALSE(PumpWake()->isActive());
    int inThread = -1;
    std::thread([&] { inThread = ProcessSystemEvents() + ProcessSystemEvents(Timer() + 1.0); }).join();
    EXPECT_EQ(inThread, 0);
    // A loop with a limit sleeps until an event or its limit, without the tick; at its limit
    // it never sleeps.
    passes = 0;
    const double limit = Timer() + 0.2;
    for (; Timer() < limit; ++passes) EXPECT_EQ(ProcessSystemEvents(limit), 0);
    EXPECT_LT(passes, 6);
    EXPECT_LT(Timer() - limit, 0.1);
    EXPECT_FALSE(PumpWake()->isActive());
    // Its wake-up is precise (a coarse one may come 5 % of a time-out late) and not left running.
    EXPECT_EQ(DeadlineWake()->timerType(), Qt::PreciseTimer);
    QTest::qWait(20);
    EXPECT_FALSE(DeadlineWake()->isActive());
    bool fired = false;
    QTimer::singleShot(30, [&] { fired = true; });
    const double t0 = Timer();
    while (!fired && Timer() - t0 < 2.0) ProcessSystemEvents(t0 + 5.0);
    EXPECT_TRUE(fired);
    EXPECT_LT(Timer() - t0, 1.0);
    EXPECT_EQ(ProcessSystemEvents(Timer() - 1.0), 0);
    EXPECT_LT(Timer() - t0, 1.5);
}

// Unknown resources are refused; a discarded panel is gone; the user's close of a window goes to
// its panel callback, which refuses it.
TEST_F(UiTest, PanelsLoadDiscardAndRefuseTheUsersClose) {
    EXPECT_LT(LoadPanel(0, "nosuch.uir", 1), 0);
    int h = LoadPanel(0, kFile, 1);
    ASSERT_GT(h, 0);
    DisplayPanel(h);
    const double point[] = {1, 2};
    PlotStripChart(h, T_STRIP, point, 2, 0, 0); // its chart waits for the refresh pass
    SetCtrlVal(h, T_SHOW, 5);
    EXPECT_EQ(DiscardPanel(h), 0);
    PumpFor(0.1); // the pass finds neither
    EXPECT_LT(SetCtrlVal(h, T_NUM, 1), 0);
    QWidget* win = PanelWidget(Panel());
    win->close();
    EXPECT_EQ(panelEvents, std::vector<int>{EVENT_CLOSE});
    EXPECT_TRUE(win->isVisible());
}

TEST_F(UiTest, StripChartKeepsLastPointsPerTraceAndRefreshesLeaveNothingBehind) {
    const int p = Panel();
    SetCtrlAttribute(p, T_STRIP, Attr::NumTraces, 2);
    SetCtrlAttribute(p, T_STRIP, Attr::PointsPerScreen, 5);
    // A long history: only its newest points stay; start and skip pick the values.
    D hist;
    for (int k = 0; k < 100; ++k) hist.insert(hist.end(), {-1.0, double(k), double(100 + k)});
    PlotStripChart(p, T_STRIP, hist.data(), 200, 1, 1);
    // What is drawn follows within a few event passes; a hidden chart, once it is shown again.
    PumpFor(0.1);
    EXPECT_EQ(Drawn(2), (D{195, 196, 197, 198, 199}));
    SetCtrlAttribute(p, T_STRIP, Attr::Visible, false);
    const double first[] = {1, 10, 2, 20, 3, 30}; // three points, two traces interleaved
    EXPECT_EQ(PlotStripChart(p, T_STRIP, first, 6, 0, 0), 0);
    SetCtrlAttribute(p, T_STRIP, Attr::Visible, true);
    PumpFor(0.1);
    EXPECT_EQ(Drawn(2), (D{198, 199, 10, 20, 30}));

    // A refresh blanks only where the last one drew lines: after many, the screen shows what
    // drawing afresh shows.
    StripView view;
    view.resize(840, 200);
    view.show(); // a hidden widget is resized, so drawn afresh, by every grab
    view.setXRange(0, 100);
    view.setTraceCount(2);
    for (int k = 0; k < 40; ++k) {
        D a(101), c(101, k % 2 ? 5 : 95); // one trace jumping across the plot, one from top to bottom
        for (int i = 0; i < 101; ++i) a[i] = (i * 37 + k * 11) % 100;
        view.setTrace(0, a, 0xFF0000), view.setTrace(1, c, 0x0000FF);
        view.redrawLines();
        QCoreApplication::processEvents();
    }
    const QImage screen = view.screen()->grabWindow(view.winId()).toImage().copy(view.rect());
    EXPECT_EQ(screen.convertToFormat(QImage::Format_RGB32), view.grab().toImage().convertToFormat(QImage::Format_RGB32));
}

// The reader takes the first numbers or leaves the values alone (letters, a value too large and a
// missing file: the parameter file's tests; the writer: the parameter and record files'): any
// whitespace, leading zeros, what follows the count left unread; bytes no text editor writes.
TEST(Files, Reader) {
    const std::string in = ::testing::TempDir() + "zep4-reader";
    const struct { std::string content; int count, result; std::vector<uint32_t> values; } cases[] = {
        {" \t7\r\n\v8\f  9", 3, kFile_Ok, {7, 8, 9}},
        {"0 007\n  500\n65535 junk", 4, kFile_Ok, {0, 7, 500, 65535}},
        {std::string(4094, ' ') + "1234 5", 2, kFile_Ok, {1234, 5}}, // a number across two of the reader's reads
        {std::string("12\0 3\xff\x80", 7), 2, kFile_BadToken, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content.substr(0, 20));
        std::ofstream(in, std::ios::binary) << c.content;
        std::vector<uint32_t> v(c.count + 1, 0xA5A5A5A5u), want = c.values;
        if (want.empty()) want.assign(c.count, 0xA5A5A5A5u); // a failed read changes no value
        want.push_back(0xA5A5A5A5u);                         // nor one past the count
        ASSERT_EQ(FileToArray(in.c_str(), v.data(), c.count, 65535), c.result);
        EXPECT_EQ(v, want);
    }
    std::remove(in.c_str());
}

// Object names of the controls Tab visits in the active window, from the first one round to it again.
std::vector<std::string> TabCycle(int panel, int first) {
    DisplayPanel(panel);
    PanelWidget(panel)->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(PanelWidget(panel)));
    Widget(first, panel)->setFocus(Qt::TabFocusReason);
    std::vector<std::string> names;
    for (QWidget* f = QApplication::focusWidget(); f && names.size() < 100;) {
        names.push_back(f->objectName().toStdString());
        QTest::keyClick(f, Qt::Key_Tab);
        f = QApplication::focusWidget();
        if (f == Widget(first, panel)) break;
    }
    return names;
}

TEST(Access, EveryControlHasItsOwnNameChannelAndTabStopAndTheStatusLineSaysItsNewestText) {
    ResetFrontEnd();
    // Tab visits, in the order made (the reading order), every shown control that takes input or
    // has a text to read (a chart takes the keyboard for its context menu); not the band, logo,
    // lamps and number displays, nor what is hidden (channel B's power behind A's, the raw chart
    // and the scope view behind the band chart).
    const std::set<CtrlKind> shows = {CtrlKind::NumericDisplay, CtrlKind::Led, CtrlKind::TextMessage,
                                      CtrlKind::Picture, CtrlKind::Decoration, CtrlKind::ProgressBar};
    std::set<std::string> names;
    for (const auto& [panel, first] : {std::pair<int, int>{panelHandle, PANEL_DROPDCOM}, {panelPopUp, POPUP_EVALMODE}}) {
        const std::vector<int> made = GetNewCtrls(panel); // the brand's text lines: they say their text, take no input
        std::vector<std::string> tabs;
        for (int id : GetPanelCtrls(panel)) {
            if (std::find(made.begin(), made.end(), id) != made.end()) continue;
            QWidget* w = Widget(id, panel);
            ASSERT_NE(w, nullptr) << id;
            const std::string name = w->accessibleName().toStdString();
            SCOPED_TRACE(w->objectName().toStdString() + " \"" + name + "\"");
            EXPECT_FALSE(name.empty());
            EXPECT_TRUE(names.insert(name).second) << "said of two controls";
            CtrlKind kind;
            std::string objectName;
            CtrlCallbackPtr cb;
            GetCtrlInfo(panel, id, kind, objectName, cb);
            if (!shows.count(kind) && w->isVisibleTo(PanelWidget(panel))) tabs.push_back(objectName);
        }
        EXPECT_EQ(TabCycle(panel, first), tabs);
    }
    HidePanel(panelPopUp);
    // Channel A and B controls of the same kind: each name says its own channel.
    auto channel = [](int id) { // which channel the name says, "AB" for both, "" for none
        const QString n = Widget(id, panelHandle)->accessibleName();
        return std::string(n.contains(QRegularExpression("CH-?A")) ? "A" : "") +
               (n.contains(QRegularExpression("CH-?B")) ? "B" : "");
    };
    for (const auto& [a, b] : {std::pair{PANEL_VALUEA, PANEL_VALUEB}, {PANEL_ADCA, PANEL_ADCB}, {PANEL_AMAX, PANEL_BMAX},
                               {PANEL_MAXVALA, PANEL_MAXVALB}, {PANEL_MINVALA, PANEL_MINVALB},
                               {PANEL_POWERA, PANEL_POWERB}, {PANEL_REFA, PANEL_REFB}, {PANEL_TOLA, PANEL_TOLB}})
        EXPECT_EQ(channel(a) + "|" + channel(b), "A|B") << a << " " << b;
    // The status line reads as status with its newest text. Screen readers are told of a change
    // of the description (the toolkit does it); offscreen no reader listens, so what is checked
    // is what one would read.
    QAccessibleInterface* status = QAccessible::queryAccessibleInterface(Widget(PANEL_STATUS, panelHandle));
    ASSERT_NE(status, nullptr);
    ShowStatus("Echo Check - Line Ok!");
    ShowStatus("Timeout-RS-232...");
    EXPECT_EQ(status->text(QAccessible::Name).toStdString() + "|" + status->text(QAccessible::Description).toStdString(),
              "Status|Timeout-RS-232...");
    // A label the program changes at run time leaves a name the form gave.
    SetCtrlAttribute(panelHandle, PANEL_VALUEA, Attr::LabelText, "NORM-A/Amax");
    EXPECT_EQ(Widget(PANEL_VALUEA, panelHandle)->accessibleName(), "CH-A NORM");
}

} // namespace
