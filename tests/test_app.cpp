// SPDX-License-Identifier: GPL-3.0-or-later
// Application core: both panel forms (every control's kind, callback, starting value and place,
// the sizes of the layout, the rings' items), the start-up defaults, the two panel callbacks,
// one exchange at a time, and a whole program run against the simulated controller.

#include <QBoxLayout>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>

#include <random>

#include "support/harness.h"

namespace {

using I = std::vector<int>;
using K = CtrlKind;

QWidget* Widget(int panel, int id) {
    CtrlKind kind;
    std::string name;
    CtrlCallbackPtr cb;
    return GetCtrlInfo(panel, id, kind, name, cb) ? PanelWidget(panel)->findChild<QWidget*>(name.c_str()) : nullptr;
}
// The widget a layout holds for a control: the control, or the box that also carries its label.
QWidget* Box(int panel, int id) {
    QWidget* box = Widget(panel, id);
    while (box && box->parentWidget() != PanelWidget(panel) && !qobject_cast<QGroupBox*>(box->parentWidget()))
        box = box->parentWidget();
    return box;
}
// Where a control sits: "<group> <row> <column> <row span> <column span>" in a grid, with "/i" for
// the i-th place of a row inside the cell; "<group> #i" in a row or column; "-" outside groups.
std::string Place(int panel, int id) {
    QWidget* box = Box(panel, id);
    auto* group = box ? qobject_cast<QGroupBox*>(box->parentWidget()) : nullptr;
    if (!group) return "-";
    const std::string title = group->title().toStdString();
    if (auto* row = qobject_cast<QBoxLayout*>(group->layout())) return title + " #" + std::to_string(row->indexOf(box));
    auto* grid = qobject_cast<QGridLayout*>(group->layout());
    for (int i = 0; grid && i < grid->count(); ++i) {
        QLayoutItem* item = grid->itemAt(i);
        const int inner = item->layout() ? item->layout()->indexOf(box) : -1;
        if (item->widget() != box && inner < 0) continue;
        int r, c, rs, cs;
        grid->getItemPosition(i, &r, &c, &rs, &cs);
        char s[64];
        std::snprintf(s, sizeof s, " %d %d %d %d", r, c, rs, cs);
        return title + s + (inner >= 0 ? "/" + std::to_string(inner) : "");
    }
    return "?";
}

struct Expect {
    int id;
    CtrlCallbackPtr callback;
    CtrlKind kind;
    int initial; // -1: no value of its own
    const char* place;
};
// Each control of both forms, in the order they are made (the Tab order).
const std::vector<Expect> kMain = {
    {PANEL_BRANDBAND, nullptr, K::Decoration, -1, "-"}, {PANEL_LOGO, nullptr, K::Picture, -1, "-"},
    {PANEL_DROPDCOM, CC_DropDCom, K::Ring, 1, "Line 0 0 1 3"}, {PANEL_BTNRUN, CC_BTNRun, K::CommandButton, -1, "Live view 0 0 1 1"},
    {PANEL_BTNSTOP, CC_BTNStop, K::CommandButton, -1, "Live view 0 1 1 1"},
    {PANEL_BTNDATA, CC_BTNData, K::CommandButton, -1, "Live view 0 2 1 1"},
    {PANEL_GRAPHSOURCE, CC_RNGGraphSource, K::Ring, 2, "Live view 1 0 1 3"},
    {PANEL_RECLOCK, nullptr, K::TextMessage, -1, "Live view 2 0 1 3/0"},
    {PANEL_STOPRECENABLE, nullptr, K::TextMessage, -1, "Live view 2 0 1 3/2"},
    {PANEL_RBTRAM, CC_RBTRam, K::RadioButton, 1, "Parameter transfer 0 0 1 1"},
    {PANEL_RBTEEPROM, CC_RBTEeprom, K::RadioButton, 0, "Parameter transfer 0 1 1 1"},
    {PANEL_RBTFILE, CC_RBTFile, K::RadioButton, 0, "Parameter transfer 0 2 1 1"},
    {PANEL_BTNSEND, CC_BTNSend, K::CommandButton, -1, "Parameter transfer 1 0 1 1"},
    {PANEL_BTNGET, CC_BTNGet, K::CommandButton, -1, "Parameter transfer 1 1 1 1"},
    {PANEL_BUTTONTEACH, CC_ButtonTeach, K::CommandButton, -1, "Commands #0"},
    {PANEL_BUTTONRESET, CC_ButtonReset, K::CommandButton, -1, "Commands #1"},
    {PANEL_BUTTONREFRESH, CC_ButtonRefresh, K::CommandButton, -1, "Commands #2"},
    {PANEL_POWERSWITCH, CC_BINSWpower, K::BinarySwitch, 1, "Parameters 0 0 1 2"},
    {PANEL_POWERA, nullptr, K::Numeric, 500, "Parameters 1 0 1 1"}, {PANEL_POWERB, nullptr, K::Numeric, 500, "Parameters 1 1 1 1"},
    {PANEL_REFA, nullptr, K::Numeric, 2048, "Parameters 2 0 1 1"}, {PANEL_REFB, nullptr, K::Numeric, 2048, "Parameters 2 1 1 1"},
    {PANEL_TOLA, nullptr, K::Numeric, 512, "Parameters 3 0 1 1"}, {PANEL_TOLB, nullptr, K::Numeric, 512, "Parameters 3 1 1 1"},
    {PANEL_HYSTERESIS, nullptr, K::Numeric, 20, "Parameters 4 0 1 1"}, {PANEL_HWMODE, nullptr, K::Ring, 1, "Parameters 4 1 1 1"},
    {PANEL_TOGBTNPARAII, CC_TOGBTNparaII, K::ToggleButton, 0, "Parameters 5 0 1 2"},
    {PANEL_RAWCHART, nullptr, K::StripChart, -1, "-"}, {PANEL_NORMCHART, nullptr, K::StripChart, -1, "-"},
    {PANEL_DATAGRAPH, nullptr, K::XYGraph, -1, "-"}, {PANEL_VALUEA, nullptr, K::NumericDisplay, 0, "Live values 1 1 1 1"},
    {PANEL_VALUEB, nullptr, K::NumericDisplay, 0, "Live values 2 1 1 1"}, {PANEL_ADCA, nullptr, K::NumericDisplay, 0, "Live values 1 2 1 1"},
    {PANEL_ADCB, nullptr, K::NumericDisplay, 0, "Live values 2 2 1 1"}, {PANEL_AMAX, nullptr, K::NumericDisplay, 0, "Live values 1 3 1 1"},
    {PANEL_BMAX, nullptr, K::NumericDisplay, 0, "Live values 2 3 1 1"},
    {PANEL_MAXVALA, nullptr, K::NumericDisplay, 0, "Live values 1 4 1 1"},
    {PANEL_MAXVALB, nullptr, K::NumericDisplay, 0, "Live values 2 4 1 1"},
    {PANEL_MINVALA, nullptr, K::NumericDisplay, 0, "Live values 1 5 1 1"},
    {PANEL_MINVALB, nullptr, K::NumericDisplay, 0, "Live values 2 5 1 1"},
    {PANEL_TOLVAL, nullptr, K::NumericDisplay, 0, "Live values 1 6 1 1"},
    {PANEL_INPUTLED0, nullptr, K::Led, 0, "Live values 1 7 1 1"}, {PANEL_INPUTLED8, nullptr, K::Led, 0, "Live values 2 7 1 1"},
    {PANEL_EVALMODETEXT, nullptr, K::TextBox, -1, "Modes 0 0 1 1"}, {PANEL_TRIGMODETEXT, nullptr, K::TextBox, -1, "Modes 0 1 1 1"},
    {PANEL_OUTMODETEXT, nullptr, K::TextBox, -1, "Modes 1 0 1 1"}, {PANEL_ANAMODETEXT, nullptr, K::TextBox, -1, "Modes 1 1 1 1"},
    {PANEL_STATUS, nullptr, K::TextDisplay, -1, "-"},
};
const std::vector<Expect> kPopup = {
    {POPUP_EVALMODE, CC_DROP_EvalMode, K::Ring, 0, "Parameters 0 0 1 2"},
    {POPUP_TRIGMODE, CC_DropTrigmode, K::Ring, 0, "Parameters 1 0 1 2"},
    {POPUP_OUTMODE, nullptr, K::Ring, 0, "Parameters 2 0 1 2"}, {POPUP_ANAMODE, nullptr, K::Ring, 0, "Parameters 3 0 1 2"},
    {POPUP_TRIGLVLA, nullptr, K::Numeric, 950, "Parameters 4 0 1 1"}, {POPUP_TRIGLVLB, nullptr, K::Numeric, 950, "Parameters 4 1 1 1"},
    {POPUP_SDELAY, nullptr, K::Numeric, 500, "Parameters 5 0 1 1"}, {POPUP_HOLD, nullptr, K::Numeric, 100, "Parameters 5 1 1 1"},
    {POPUP_AVERAGE, nullptr, K::Numeric, 8, "Parameters 6 0 1 1"}, {POPUP_POLARITY, nullptr, K::Numeric, 1, "Parameters 6 1 1 1"},
    {POPUP_MAXMODE, nullptr, K::Numeric, 0, "Parameters 7 0 1 1"},
    {POPUP_RECINTERVAL, CC_NEDITRecTime, K::Numeric, 1, "Data recorder 0 0 1 2"},
    {POPUP_RECSAMPLES, CC_NEDITRecSamples, K::Numeric, 100, "Data recorder 0 2 1 2"},
    {POPUP_RECDAYS, nullptr, K::NumericDisplay, 0, "Data recorder 1 0 1 1"},
    {POPUP_RECHOURS, nullptr, K::NumericDisplay, 0, "Data recorder 1 1 1 1"},
    {POPUP_RECMINUTES, nullptr, K::NumericDisplay, 0, "Data recorder 1 2 1 1"},
    {POPUP_RECSECONDS, nullptr, K::NumericDisplay, 0, "Data recorder 1 3 1 1"},
    {POPUP_RECCOUNT, nullptr, K::NumericDisplay, 0, "Data recorder 2 0 1 2"},
    {POPUP_RECPROGRESS, nullptr, K::ProgressBar, 0, "Data recorder 2 2 1 2"},
    {POPUP_RECFILENAME, nullptr, K::TextDisplay, -1, "Data recorder 3 0 1 3"},
    {POPUP_RECFILEBTN, CC_RecordFileNameBtn, K::CommandButton, -1, "Data recorder 3 3 1 1"},
    {POPUP_RECSTART, CC_BTNStartRecord, K::CommandButton, -1, "Data recorder 4 0 1 2"},
    {POPUP_RECSTOP, CC_BTNStopRecord, K::CommandButton, -1, "Data recorder 4 2 1 2"},
    {POPUP_RECSTATUS, nullptr, K::TextBox, -1, "Data recorder 5 0 1 4"},
};

// Fresh copies of both forms, as the program loads them.
struct Forms {
    int main, popup;
    Forms() : main((RegisterPanels(), LoadPanel(0, kPanelResourceFile, PANEL))), popup(LoadPanel(0, kPanelResourceFile, POPUP)) {}
    ~Forms() { DiscardPanel(main), DiscardPanel(popup); }
};
int Val(int panel, int control) { return CtrlInt(panel, control); }
int Attribute(int panel, int control, Attr a) { return CtrlAttr(panel, control, a); }
I Margins(QLayout* l) { const QMargins m = l->contentsMargins(); return {m.left(), m.top(), m.right(), m.bottom()}; }
I Stretches(QBoxLayout* l) { I s; for (int i = 0; i < l->count(); ++i) s.push_back(l->stretch(i)); return s; }

} // namespace

TEST(Panels, EveryControlWithItsKindCallbackStartingValueAndPlace) {
    const Forms forms;
    EXPECT_EQ(GetPanelTitle(forms.main), "K-VEX-ZEP4-Duvez V2.0");
    EXPECT_EQ(GetPanelTitle(forms.popup), "K-VEX-ZEP4-Duvez V2.0 - parameters and recorder");
    for (auto [panel, table] : {std::pair{forms.main, &kMain}, {forms.popup, &kPopup}}) {
        std::vector<int> ids;
        for (const Expect& e : *table) {
            CtrlKind kind;
            std::string name;
            CtrlCallbackPtr cb = nullptr;
            ASSERT_TRUE(GetCtrlInfo(panel, e.id, kind, name, cb)) << e.id;
            EXPECT_EQ(I({int(kind), cb == e.callback, Val(panel, e.id) == (e.initial < 0 ? -12345 : e.initial)}),
                      I({int(e.kind), 1, 1})) << name;
            EXPECT_EQ(Place(panel, e.id), e.place) << name;
            ids.push_back(e.id);
        }
        EXPECT_EQ(GetPanelCtrls(panel), ids); // nothing else, and made in this order
    }
}

TEST(Panels, SizesAndLayoutOfBothForms) {
    const Forms forms;
    QWidget* win = PanelWidget(forms.main);
    EXPECT_EQ(win->size(), QSize(1280, 860));
    EXPECT_EQ(PanelWidget(forms.popup)->size(), QSize(820, 480));
    auto* root = qobject_cast<QBoxLayout*>(win->layout());
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(I({Margins(root)[0], Margins(root)[1], Margins(root)[2], Margins(root)[3], root->spacing()}), I({0, 0, 0, 4, 6}));
    auto* body = qobject_cast<QBoxLayout*>(root->itemAt(1)->layout());
    auto* left = qobject_cast<QBoxLayout*>(body->itemAt(0)->layout());
    auto* mid = qobject_cast<QBoxLayout*>(body->itemAt(1)->layout());
    auto* under = qobject_cast<QBoxLayout*>(mid->itemAt(3)->layout());
    EXPECT_EQ(Margins(body), I({8, 0, 8, 0}));
    EXPECT_EQ(Margins(root->itemAt(2)->layout()), I({8, 0, 8, 0}));
    EXPECT_EQ(root->itemAt(2)->layout()->indexOf(Box(forms.main, PANEL_STATUS)), 0);
    // Left column: five groups and room below; the middle: the three charts, then the values.
    EXPECT_EQ(Stretches(root), I({0, 1, 0}));
    EXPECT_EQ(Stretches(body), I({0, 1}));
    EXPECT_EQ(Stretches(left), I({0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(Stretches(mid), I({1, 1, 1, 0}));
    EXPECT_EQ(Stretches(under), I({3, 2}));
    for (int chart : {PANEL_RAWCHART, PANEL_NORMCHART, PANEL_DATAGRAPH}) {
        QWidget* w = Box(forms.main, chart);
        EXPECT_EQ(mid->indexOf(w), chart == PANEL_RAWCHART ? 0 : chart == PANEL_NORMCHART ? 1 : 2);
        EXPECT_EQ(w->minimumSize(), QSize(620, 380));
        EXPECT_EQ(I({w->sizePolicy().horizontalPolicy(), w->sizePolicy().verticalPolicy()}),
                  I({QSizePolicy::Expanding, QSizePolicy::Expanding}));
    }
    // The brand band across the top, the logo floating over it.
    QWidget* band = Box(forms.main, PANEL_BRANDBAND);
    EXPECT_EQ(I({root->indexOf(band), band->minimumHeight(), band->maximumHeight()}), I({0, 60, 60}));
    QWidget* logo = Box(forms.main, PANEL_LOGO);
    EXPECT_EQ(logo->geometry(), QRect(175, 6, 40, 48));
    EXPECT_EQ(win->childAt(195, 30), Widget(forms.main, PANEL_LOGO));
    EXPECT_EQ(Box(forms.main, PANEL_DROPDCOM)->minimumWidth(), 180);
    auto* liveRow = qobject_cast<QBoxLayout*>(
        qobject_cast<QGridLayout*>(Box(forms.main, PANEL_RECLOCK)->parentWidget()->layout())->itemAtPosition(2, 0)->layout());
    EXPECT_EQ(Stretches(liveRow), I({0, 1, 0}));
    for (int mode : {PANEL_EVALMODETEXT, PANEL_TRIGMODETEXT, PANEL_OUTMODETEXT, PANEL_ANAMODETEXT}) {
        QWidget* w = Box(forms.main, mode);
        EXPECT_EQ(I({w->minimumWidth(), w->minimumHeight(), w->maximumHeight()}),
                  I({150, w->fontMetrics().height() * 2 + 16, w->fontMetrics().height() * 2 + 16}));
        EXPECT_EQ(static_cast<QPlainTextEdit*>(Widget(forms.main, mode))->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    }
    auto* values = qobject_cast<QGridLayout*>(Box(forms.main, PANEL_VALUEA)->parentWidget()->layout());
    EXPECT_EQ(static_cast<QLabel*>(values->itemAtPosition(1, 0)->widget())->text() + "|" +
                  static_cast<QLabel*>(values->itemAtPosition(2, 0)->widget())->text(), "CH-A|CH-B"); // the rows' channels
    EXPECT_EQ(I({Attribute(forms.popup, POPUP_RECINTERVAL, Attr::MinValue), Attribute(forms.popup, POPUP_RECINTERVAL, Attr::MaxValue),
                 Attribute(forms.popup, POPUP_RECSAMPLES, Attr::MinValue), Attribute(forms.popup, POPUP_RECSAMPLES, Attr::MaxValue),
                 Attribute(forms.main, PANEL_REFA, Attr::MinValue), Attribute(forms.main, PANEL_REFA, Attr::MaxValue)}),
              I({0, 65535, 0, 65535, 0, 65535}));
    QWidget* recStatus = Box(forms.popup, POPUP_RECSTATUS);
    EXPECT_EQ(I({recStatus->minimumHeight(), recStatus->maximumHeight()}), I({60, 60}));
    EXPECT_EQ(CtrlText(forms.popup, POPUP_RECSTATUS), "DATA-RECORDER");
    EXPECT_EQ(Stretches(qobject_cast<QBoxLayout*>(PanelWidget(forms.popup)->layout())), I({1, 1}));
    EXPECT_EQ(I({Attribute(forms.popup, POPUP_RECPROGRESS, Attr::MinValue), Attribute(forms.popup, POPUP_RECPROGRESS, Attr::MaxValue)}),
              I({0, 100}));
    auto* par = qobject_cast<QGridLayout*>(Box(forms.popup, POPUP_HOLD)->parentWidget()->layout());
    auto* rec = qobject_cast<QGridLayout*>(Box(forms.popup, POPUP_RECSTATUS)->parentWidget()->layout());
    EXPECT_EQ(I({par->rowStretch(7), par->rowStretch(8), rec->rowStretch(5), rec->rowStretch(6)}), I({0, 1, 0, 1}));
    EXPECT_EQ(rec->itemAt(rec->indexOf(Box(forms.popup, POPUP_RECFILEBTN)))->alignment(), Qt::AlignBottom);
    // The charts as they start: the band view shown, scales and traces set.
    double lo = -1, hi = -1;
    GetAxisRange(forms.main, PANEL_RAWCHART, Axis::YLeft, lo, hi);
    double nlo = -1, nhi = -1;
    GetAxisRange(forms.main, PANEL_NORMCHART, Axis::YLeft, nlo, nhi);
    EXPECT_EQ(std::vector<double>({lo, hi, nlo, nhi}), std::vector<double>({0, 4096, 0, 1000}));
    EXPECT_EQ(I({Attribute(forms.main, PANEL_RAWCHART, Attr::NumTraces), Attribute(forms.main, PANEL_NORMCHART, Attr::NumTraces),
                 Attribute(forms.main, PANEL_RAWCHART, Attr::Visible), Attribute(forms.main, PANEL_NORMCHART, Attr::Visible),
                 Attribute(forms.main, PANEL_DATAGRAPH, Attr::Visible), Attribute(forms.main, PANEL_STOPRECENABLE, Attr::Dimmed)}),
              I({2, 6, 0, 1, 0, 1}));
    EXPECT_EQ(Widget(forms.main, PANEL_STATUS)->accessibleName(), "Status");
}

TEST(Panels, RingItems) {
    const Forms forms;
    const std::tuple<int, int, const char*> rings[] = {
        {forms.main, PANEL_GRAPHSOURCE, "0 RAW A,B|1 NORM A,B|2 NORM-A + band|3 NORM-B + band|"},
        {forms.main, PANEL_HWMODE, "0 0|1 1|2 2|"},
        {forms.popup, POPUP_EVALMODE, "0 NORM-A: A/Amax|1 NORM (A & B)|2 NORM (A + B)|3 3|"},
        {forms.popup, POPUP_TRIGMODE, "0 CONTINOUS|1 1|2 2|3 EXT-IN0-HIGH|"},
        {forms.popup, POPUP_OUTMODE, "0 TOLERANCE HI,LO,OK|1 BINARY A,B,/A&B|"},
        {forms.popup, POPUP_ANAMODE, "0 DIRECT 0 .. 10V|1 MAXIMA-value|2 MINIMA-value|3 OFF|"}};
    for (const auto& [panel, id, items] : rings) {
        auto* combo = qobject_cast<QComboBox*>(Widget(panel, id));
        ASSERT_NE(combo, nullptr) << id;
        std::string all;
        for (int i = 0; i < combo->count(); ++i)
            all += std::to_string(combo->itemData(i).toInt()) + " " + combo->itemText(i).toStdString() + "|";
        EXPECT_EQ(all, items);
    }
    // The port ring: the ports known, and 1..8 always, in order of number.
    setenv("ZEP4_SERIAL_PORTS", "/dev/zep4-none-a:/dev/zep4-none-b", 1);
    auto* ports = qobject_cast<QComboBox*>(Widget(forms.main, PANEL_DROPDCOM));
    QTest::keyClick(ports, Qt::Key_F4);
    std::string all;
    for (int i = 0; i < 2; ++i) all += std::to_string(ports->itemData(i).toInt()) + " " + ports->itemText(i).toStdString() + "|";
    EXPECT_EQ(all, "1 1: /dev/zep4-none-a (ZEP4_SERIAL_PORTS, not present)|2 2: /dev/zep4-none-b (ZEP4_SERIAL_PORTS, not "
                   "present)|");
    for (int n = 1; n <= 8; ++n) { // a number the system has no device for is listed bare
        const std::string label = ports->itemText(ports->findData(n)).toStdString();
        EXPECT_TRUE(label == std::to_string(n) || label.rfind(std::to_string(n) + ": /dev/", 0) == 0) << label;
    }
    I numbers;
    for (int i = 0; i < ports->count(); ++i) numbers.push_back(ports->itemData(i).toInt());
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
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
    xArray[9] = 1, yArrayA[0] = yArrayB[255] = 5, com = 3;
    FillarrayRAW(9, 9);
    InitVars();
    EXPECT_EQ(refB, 2222); // every parameter from its control
    EXPECT_EQ(I({com, sync, target, Val(panelHandle, PANEL_RBTRAM), Val(panelHandle, PANEL_RBTEEPROM)}), I({1, 0x55, RAM, 1, 0}));
    EXPECT_EQ(I({Attribute(panelHandle, PANEL_POWERA, Attr::Visible), Attribute(panelHandle, PANEL_POWERB, Attr::Visible)}), I({1, 0}));
    EXPECT_EQ(std::string(file_name) + "|" + szSoftname + "|" + szSoftversion + "|" + StatusText(),
              "ZEP4para.cfg|K-VEX-ZEP4-Duvez|V2.0|InitVars");
    EXPECT_EQ(I({Val(panelPopUp, POPUP_RECHOURS), Val(panelPopUp, POPUP_RECMINUTES), Val(panelPopUp, POPUP_RECSECONDS)}), I({19, 26, 40}));
    for (int i : {0, 9, 255}) EXPECT_EQ(I({xArray[i], yArrayA[i], yArrayB[i]}), I({i, 0, 0})) << i;
    EXPECT_EQ(std::count(arrayRAW, arrayRAW + 200, 0.0), 200);
    EXPECT_EQ(std::vector<double>(arrayNORM + 594, arrayNORM + 599), std::vector<double>({2560, 1536, 2048, 0, 0}));
    EXPECT_EQ(I({Attribute(panelHandle, PANEL_LOGO, Attr::Left), Attribute(panelHandle, PANEL_BRANDBAND, Attr::FrameColor)}),
              I({175, 0x0080FF})); // brand 2
    // The record file lies beside the program, whatever the working directory.
    const QString cwd = QDir::currentPath();
    ASSERT_EQ(chdir("/tmp"), 0);
    InitVars();
    const std::string beside = (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "KVexRecord.dat").string();
    EXPECT_EQ(std::string(recfile_name) + "|" + CtrlText(panelPopUp, POPUP_RECFILENAME), beside + "|" + beside);
    ASSERT_EQ(chdir(cwd.toUtf8().constData()), 0);
    EXPECT_EQ(CtrlValue(panelHandle, 999) + CtrlValue(-5, PANEL_REFB), 0); // no such control or panel
}

TEST(PanelCallbacks, ClosingEitherPanel) {
    auto sim = StartSim();
    StartFrontEnd();
    SetCtrlVal(panelPopUp, POPUP_HOLD, 321);
    Choose(panelHandle, PANEL_TOGBTNPARAII, 1);
    QWidget* popup = PanelWidget(panelPopUp);
    ASSERT_TRUE(popup->isVisible());
    EXPECT_EQ(CallPanelCallback(panelPopUp, EVENT_COMMIT) + CallPanelCallback(panelHandle, EVENT_COMMIT), 0); // no close
    EXPECT_TRUE(popup->isVisible());
    EXPECT_EQ(ComWrt(com, "x", 1), 1);
    EXPECT_EQ(CallPanelCallback(panelPopUp, EVENT_CLOSE), 0);
    EXPECT_EQ(I({popup->isVisible(), Val(panelHandle, PANEL_TOGBTNPARAII)}), I({0, 0}));
    Choose(panelHandle, PANEL_TOGBTNPARAII, 1); // the same panel again, its values kept
    EXPECT_EQ(I({popup->isVisible(), Val(panelPopUp, POPUP_HOLD)}), I({1, 321}));
    HidePanel(panelPopUp);
    // Closing the main panel stops a run or recording, lets go of the port and ends the program.
    stop_flag = 0;
    QTimer::singleShot(0, [] { EXPECT_EQ(CallPanelCallback(panelHandle, EVENT_CLOSE), 0); });
    EXPECT_EQ(RunUserInterface(), 0);
    EXPECT_EQ(I({stop_flag, ComWrt(com, "x", 1)}), I({1, kRS_PortNotOpen}));
}

// ---- One exchange at a time -----------------------------------------------------------------

namespace {

struct Starter { int panel, id; const char* name; };
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

} // namespace

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
            Choose(t.panel, t.id, 1);
        else
            QTest::mouseClick(w, Qt::LeftButton);
        --inside;
    };
    tick();
    PumpUntil([] { return Timer() > end + 1 && inside == 0; }, 90.0);
    Press(panelHandle, PANEL_BTNSTOP);
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
    EXPECT_EQ(I({pending, foreign, exchange_busy, LockedStarters()}), I({0, 0, 0, 0}));
    EXPECT_GT(writes, 0);
    for (const Starter& s : targets) EXPECT_EQ(Attribute(s.panel, s.id, Attr::Dimmed), 0) << s.name;
    HidePanel(panelPopUp);
    HidePanel(panelHandle);
    std::filesystem::remove_all(dir);
}

// The whole program against the simulated controller: start-up talks to it and fills the panels,
// the live loop runs, and closing the main panel in the middle of it ends the loop at once (not
// at its time-out) and the program with 0.
TEST(Program, ClosingTheMainPanelDuringALiveRunEndsWithZero) {
    auto sim = StartSim(zep4sim::Options());
    static bool started;
    static std::string afterRun;
    static int shownRefB;
    started = false, afterRun = "", shownRefB = -1;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [] {
        QWidget* w = PanelWidget(panelHandle);
        if (started || !w || !w->isVisible()) return;
        started = true;
        shownRefB = Val(panelHandle, PANEL_REFB);
        QTimer::singleShot(600, [] { ClosePanelWindow(panelHandle); });
        Press(panelHandle, PANEL_BTNRUN); // the live loop runs in here until stopped
        afterRun = StatusText();
    });
    poll.start();
    proj_dir[0] = '\0'; // start-up finds the program's directory itself
    const int code = WinMain(0, nullptr);
    poll.stop();
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(started);
    EXPECT_EQ(afterRun, "Line Ok!"); // a loop that timed out would say so
    EXPECT_EQ(shownRefB, zep4sim::initialRamSet(1)[2]);
    const I orders = Orders(*sim);
    EXPECT_EQ(I(orders.begin(), orders.begin() + 4), I({ORD_ECHO, ORD_READ_RAM, ORD_READ_RAM, ORD_VERSION}));
    EXPECT_GE(CountOrder(*sim, ORD_LIVE), 3);
    EXPECT_EQ(std::string(recfile_name), (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "KVexRecord.dat").string());
    EXPECT_EQ(PanelWidget(panelHandle), PanelWidget(panelPopUp)); // both discarded on the way out: null
    EXPECT_EQ(ComWrt(com, "x", 1), kRS_PortNotOpen);
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
