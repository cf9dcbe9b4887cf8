// SPDX-License-Identifier: GPL-3.0-or-later
// The two panel forms: every control with its number, kind, callback and initial value, laid
// out for a technician at the bench. The run-time (runtime/ui) owns the controls; the forms
// only create them and arrange the widgets it hands back.
#include "app/panels.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QWidget>

#include <map>
#include <string>
#include <vector>

#include "app/app.h"
#include "link/com232.h"
#include "live/live.h"
#include "params/params.h"
#include "runtime/panel_builder.h"
#include "runtime/serial.h"
#include "recorder/recorder.h"

namespace {

constexpr int kBrandBandHeight = 60;

QWidget* Num(int panel, int id, const char* name, const char* label, int initial, int min = 0,
             int max = 65535, CtrlCallbackPtr cb = nullptr) {
    CtrlSpec s{id, CtrlKind::Numeric, name, label, cb, initial, min, max};
    return AddCtrl(panel, s);
}

// spoken: the name screen readers give it, when the label is not enough.
QWidget* Show(int panel, int id, const char* name, const char* label, const char* spoken = nullptr) {
    CtrlSpec s{id, CtrlKind::NumericDisplay, name, label};
    s.accessibleName = spoken;
    return AddCtrl(panel, s);
}

QWidget* Button(int panel, int id, const char* name, const char* label, CtrlCallbackPtr cb) {
    return AddCtrl(panel, CtrlSpec{id, CtrlKind::CommandButton, name, label, cb});
}

QWidget* Ring(int panel, int id, const char* name, const char* label, std::vector<RingItem> items, int initial,
              CtrlCallbackPtr cb = nullptr) {
    CtrlSpec s{id, CtrlKind::Ring, name, label, cb, initial};
    s.items = std::move(items);
    return AddCtrl(panel, s);
}

QWidget* ModeText(int panel, int id, const char* name, const char* label, const char* spoken) {
    CtrlSpec s{id, CtrlKind::TextBox, name, label};
    s.accessibleName = spoken;
    QWidget* w = AddCtrl(panel, s);
    // Label above one line of text, nothing to scroll.
    w->setFixedHeight(w->fontMetrics().height() * 2 + 16);
    w->setMinimumWidth(150);
    if (auto* box = w->findChild<QPlainTextEdit*>(name)) box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return w;
}

QGroupBox* Group(const char* title, QLayout* layout) {
    auto* g = new QGroupBox(title);
    g->setLayout(layout);
    return g;
}

// Port items: the ports known now, and 1..8 always, so a port that appears later can still be
// chosen. Asked again whenever the user opens the ring.
std::vector<RingChoice> PortItems() {
    std::map<int, std::string> labels; // in order of number, whatever came from where
    for (const SerialPortEntry& e : ListSerialPorts())
        labels[e.number] = std::to_string(e.number) + ": " + e.device + " (" + e.description + ")";
    for (int n = 1; n <= 8; ++n) labels.emplace(n, std::to_string(n));
    std::vector<RingChoice> items;
    for (const auto& [number, label] : labels) items.push_back({label, number});
    return items;
}

void AddPortRing(int panel, QGridLayout* grid, int row) {
    CtrlSpec s{PANEL_DROPDCOM, CtrlKind::Ring, "PANEL_DROPDCOM", "COM port", CC_DropDCom, 1};
    s.source = PortItems;
    QWidget* w = AddCtrl(panel, s);
    w->setMinimumWidth(180);
    grid->addWidget(w, row, 0, 1, 3);
}

void BuildMain(int panel) {
    QWidget* win = PanelWidget(panel);
    SetPanelTitle(panel, "K-VEX-ZEP4-Duvez V2.0");

    auto* root = new QVBoxLayout(win);
    root->setContentsMargins(0, 0, 0, 4);
    root->setSpacing(6);

    // Brand band across the top; the logo and the brand texts float over it.
    QWidget* band = AddCtrl(panel, CtrlSpec{.id = PANEL_BRANDBAND, .kind = CtrlKind::Decoration, .name = "PANEL_BRANDBAND",
                                            .label = "", .accessibleName = "Brand band"});
    band->setFixedHeight(kBrandBandHeight);
    root->addWidget(band);
    QWidget* logo = AddCtrl(panel, CtrlSpec{.id = PANEL_LOGO, .kind = CtrlKind::Picture, .name = "PANEL_LOGO", .label = "",
                                            .accessibleName = "Logo"});
    logo->move(175, 6);
    logo->resize(40, 48); // raised over the band once the rest is laid out

    // Controls are made in reading order, left column top to bottom, then the middle: the
    // Tab order follows it.
    auto* body = new QHBoxLayout;
    body->setContentsMargins(8, 0, 8, 0);
    root->addLayout(body, 1);

    // ---- Left column: link, run, transfer, commands, parameters.
    auto* left = new QVBoxLayout;
    body->addLayout(left, 0);

    auto* link = new QGridLayout;
    AddPortRing(panel, link, 0);
    left->addWidget(Group("Line", link));

    auto* run = new QGridLayout;
    run->addWidget(Button(panel, PANEL_BTNRUN, "PANEL_BTNRUN", "Run", CC_BTNRun), 0, 0);
    run->addWidget(Button(panel, PANEL_BTNSTOP, "PANEL_BTNSTOP", "Stop", CC_BTNStop), 0, 1);
    run->addWidget(Button(panel, PANEL_BTNDATA, "PANEL_BTNDATA", "Data", CC_BTNData), 0, 2);
    run->addWidget(Ring(panel, PANEL_GRAPHSOURCE, "PANEL_GRAPHSOURCE", "Graph source",
                        {{"RAW A,B", 0}, {"NORM A,B", 1}, {"NORM-A + band", 2}, {"NORM-B + band", 3}}, 2,
                        CC_RNGGraphSource),
                   1, 0, 1, 3);
    auto* rec = new QHBoxLayout;
    rec->addWidget(AddCtrl(panel, CtrlSpec{PANEL_RECLOCK, CtrlKind::TextMessage, "PANEL_RECLOCK", "Recorder idle"}));
    rec->addStretch(1);
    rec->addWidget(AddCtrl(panel, CtrlSpec{PANEL_STOPRECENABLE, CtrlKind::TextMessage, "PANEL_STOPRECENABLE",
                                           "Recording stopped"}));
    SetCtrlAttribute(panel, PANEL_STOPRECENABLE, Attr::Dimmed, true); // lit once a recording was stopped
    run->addLayout(rec, 2, 0, 1, 3);
    left->addWidget(Group("Live view", run));

    auto* xfer = new QGridLayout;
    xfer->addWidget(AddCtrl(panel, CtrlSpec{PANEL_RBTRAM, CtrlKind::RadioButton, "PANEL_RBTRAM", "RAM", CC_RBTRam, 1}),
                    0, 0);
    xfer->addWidget(
        AddCtrl(panel, CtrlSpec{PANEL_RBTEEPROM, CtrlKind::RadioButton, "PANEL_RBTEEPROM", "EEPROM", CC_RBTEeprom}), 0,
        1);
    xfer->addWidget(AddCtrl(panel, CtrlSpec{PANEL_RBTFILE, CtrlKind::RadioButton, "PANEL_RBTFILE", "File", CC_RBTFile}),
                    0, 2);
    xfer->addWidget(Button(panel, PANEL_BTNSEND, "PANEL_BTNSEND", "Send", CC_BTNSend), 1, 0);
    xfer->addWidget(Button(panel, PANEL_BTNGET, "PANEL_BTNGET", "Get", CC_BTNGet), 1, 1);
    left->addWidget(Group("Parameter transfer", xfer));

    auto* cmd = new QHBoxLayout;
    cmd->addWidget(Button(panel, PANEL_BUTTONTEACH, "PANEL_BUTTONTEACH", "Teach", CC_ButtonTeach));
    cmd->addWidget(Button(panel, PANEL_BUTTONRESET, "PANEL_BUTTONRESET", "Reset", CC_ButtonReset));
    cmd->addWidget(Button(panel, PANEL_BUTTONREFRESH, "PANEL_BUTTONREFRESH", "Refresh", CC_ButtonRefresh));
    left->addWidget(Group("Commands", cmd));

    auto* par = new QGridLayout;
    par->addWidget(AddCtrl(panel, CtrlSpec{PANEL_POWERSWITCH, CtrlKind::BinarySwitch, "PANEL_POWERSWITCH",
                                           "Power CH-A (off: CH-B)", CC_BINSWpower, 1}),
                   0, 0, 1, 2);
    par->addWidget(Num(panel, PANEL_POWERA, "PANEL_POWERA", "POWER-CHA", 500), 1, 0);
    par->addWidget(Num(panel, PANEL_POWERB, "PANEL_POWERB", "POWER-CHB", 500), 1, 1);
    par->addWidget(Num(panel, PANEL_REFA, "PANEL_REFA", "REFERENCE-CHA", 2048), 2, 0);
    par->addWidget(Num(panel, PANEL_REFB, "PANEL_REFB", "REFERENCE-CHB", 2048), 2, 1);
    par->addWidget(Num(panel, PANEL_TOLA, "PANEL_TOLA", "TOLERANCE-CHA", 512), 3, 0);
    par->addWidget(Num(panel, PANEL_TOLB, "PANEL_TOLB", "TOLERANCE-CHB", 512), 3, 1);
    par->addWidget(Num(panel, PANEL_HYSTERESIS, "PANEL_HYSTERESIS", "HYSTERESIS", 20), 4, 0);
    par->addWidget(Ring(panel, PANEL_HWMODE, "PANEL_HWMODE", "HW-MODE",
                        {{"0", 0}, {"1", 1}, {"2", 2}}, 1),
                   4, 1);
    par->addWidget(AddCtrl(panel, CtrlSpec{PANEL_TOGBTNPARAII, CtrlKind::ToggleButton, "PANEL_TOGBTNPARAII",
                                           "More parameters / recorder", CC_TOGBTNparaII, 0}),
                   5, 0, 1, 2);
    left->addWidget(Group("Parameters", par));
    left->addStretch(1);

    // ---- Middle: the chart area and, under it, the live values and mode texts.
    auto* mid = new QVBoxLayout;
    body->addLayout(mid, 1);

    CtrlSpec raw{PANEL_RAWCHART, CtrlKind::StripChart, "PANEL_RAWCHART", "RAW / NORM  A, B"};
    QWidget* rawW = AddCtrl(panel, raw);
    CtrlSpec norm{PANEL_NORMCHART, CtrlKind::StripChart, "PANEL_NORMCHART", "NORM with tolerance band"};
    QWidget* normW = AddCtrl(panel, norm);
    QWidget* dataW = AddCtrl(panel, CtrlSpec{PANEL_DATAGRAPH, CtrlKind::XYGraph, "PANEL_DATAGRAPH", "Data view"});
    for (QWidget* w : {rawW, normW, dataW}) {
        w->setMinimumSize(620, 380);
        w->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        mid->addWidget(w, 1);
    }
    SetCtrlAttribute(panel, PANEL_RAWCHART, Attr::NumTraces, 2);
    SetAxisScalingMode(panel, PANEL_RAWCHART, Axis::YLeft, AxisScaling::Manual, 0, 4096);
    SetCtrlAttribute(panel, PANEL_NORMCHART, Attr::NumTraces, 6);
    SetAxisScalingMode(panel, PANEL_NORMCHART, Axis::YLeft, AxisScaling::Manual, 0, 1000);
    SetCtrlAttribute(panel, PANEL_RAWCHART, Attr::Visible, false); // graph source 2 shows the band view
    SetCtrlAttribute(panel, PANEL_DATAGRAPH, Attr::Visible, false);
    for (int chart : {PANEL_RAWCHART, PANEL_NORMCHART, PANEL_DATAGRAPH}) SetPictureMenu(panel, chart, SaveChartPicture);

    auto* vals = new QGridLayout;
    vals->addWidget(new QLabel("CH-A"), 1, 0);
    vals->addWidget(new QLabel("CH-B"), 2, 0);
    // The row labels say the channel to the eye; the names say it to a screen reader.
    vals->addWidget(Show(panel, PANEL_VALUEA, "PANEL_VALUEA", "NORM", "CH-A NORM"), 1, 1);
    vals->addWidget(Show(panel, PANEL_VALUEB, "PANEL_VALUEB", "NORM", "CH-B NORM"), 2, 1);
    vals->addWidget(Show(panel, PANEL_ADCA, "PANEL_ADCA", "ADC", "CH-A ADC"), 1, 2);
    vals->addWidget(Show(panel, PANEL_ADCB, "PANEL_ADCB", "ADC", "CH-B ADC"), 2, 2);
    vals->addWidget(Show(panel, PANEL_AMAX, "PANEL_AMAX", "Amax", "CH-A Amax"), 1, 3);
    vals->addWidget(Show(panel, PANEL_BMAX, "PANEL_BMAX", "Bmax", "CH-B Bmax"), 2, 3);
    vals->addWidget(Show(panel, PANEL_MAXVALA, "PANEL_MAXVALA", "MAX", "CH-A MAX"), 1, 4);
    vals->addWidget(Show(panel, PANEL_MAXVALB, "PANEL_MAXVALB", "MAX", "CH-B MAX"), 2, 4);
    vals->addWidget(Show(panel, PANEL_MINVALA, "PANEL_MINVALA", "MIN", "CH-A MIN"), 1, 5);
    vals->addWidget(Show(panel, PANEL_MINVALB, "PANEL_MINVALB", "MIN", "CH-B MIN"), 2, 5);
    vals->addWidget(Show(panel, PANEL_TOLVAL, "PANEL_TOLVAL", "TOL-value"), 1, 6);
    vals->addWidget(AddCtrl(panel, CtrlSpec{PANEL_INPUTLED0, CtrlKind::Led, "PANEL_INPUTLED0", "IN0"}), 1, 7);
    vals->addWidget(AddCtrl(panel, CtrlSpec{PANEL_INPUTLED8, CtrlKind::Led, "PANEL_INPUTLED8", "IN8"}), 2, 7);

    auto* modes = new QGridLayout;
    // Named apart from the popup's rings of the same modes.
    modes->addWidget(ModeText(panel, PANEL_EVALMODETEXT, "PANEL_EVALMODETEXT", "Evaluation", "Modes: Evaluation"), 0, 0);
    modes->addWidget(ModeText(panel, PANEL_TRIGMODETEXT, "PANEL_TRIGMODETEXT", "Trigger", "Modes: Trigger"), 0, 1);
    modes->addWidget(
        ModeText(panel, PANEL_OUTMODETEXT, "PANEL_OUTMODETEXT", "Switching output", "Modes: Switching output"), 1, 0);
    modes->addWidget(ModeText(panel, PANEL_ANAMODETEXT, "PANEL_ANAMODETEXT", "Analog output", "Modes: Analog output"),
                     1, 1);

    auto* under = new QHBoxLayout;
    under->addWidget(Group("Live values", vals), 3);
    under->addWidget(Group("Modes", modes), 2);
    mid->addLayout(under, 0);

    // ---- Status line, always visible at the bottom.
    CtrlSpec status{PANEL_STATUS, CtrlKind::TextDisplay, "PANEL_STATUS", ""};
    status.accessibleName = "Status";
    QWidget* st = AddCtrl(panel, status);
    auto* stRow = new QHBoxLayout;
    stRow->setContentsMargins(8, 0, 8, 0);
    stRow->addWidget(st);
    root->addLayout(stRow);

    logo->raise();
    win->resize(1280, 860);
}

void BuildPopup(int panel) {
    QWidget* win = PanelWidget(panel);
    SetPanelTitle(panel, "K-VEX-ZEP4-Duvez V2.0 - parameters and recorder");
    auto* root = new QHBoxLayout(win);

    auto* par = new QGridLayout;
    par->addWidget(Ring(panel, POPUP_EVALMODE, "POPUP_EVALMODE", "Evaluation mode",
                        {{"NORM-A: A/Amax", 0}, {"NORM (A & B)", 1}, {"NORM (A + B)", 2}, {"3", 3}}, 0,
                        CC_DROP_EvalMode),
                   0, 0, 1, 2);
    par->addWidget(Ring(panel, POPUP_TRIGMODE, "POPUP_TRIGMODE", "Trigger mode",
                        {{"CONTINOUS", 0}, {"1", 1}, {"2", 2}, {"EXT-IN0-HIGH", 3}}, 0,
                        CC_DropTrigmode),
                   1, 0, 1, 2);
    par->addWidget(Ring(panel, POPUP_OUTMODE, "POPUP_OUTMODE", "Switching output",
                        {{"TOLERANCE HI,LO,OK", 0}, {"BINARY A,B,/A&B", 1}}, 0),
                   2, 0, 1, 2);
    par->addWidget(Ring(panel, POPUP_ANAMODE, "POPUP_ANAMODE", "Analog output",
                        {{"DIRECT 0 .. 10V", 0}, {"MAXIMA-value", 1}, {"MINIMA-value", 2}, {"OFF", 3}}, 0),
                   3, 0, 1, 2);
    par->addWidget(Num(panel, POPUP_TRIGLVLA, "POPUP_TRIGLVLA", "Trigger level A", 950), 4, 0);
    par->addWidget(Num(panel, POPUP_TRIGLVLB, "POPUP_TRIGLVLB", "Trigger level B", 950), 4, 1);
    par->addWidget(Num(panel, POPUP_SDELAY, "POPUP_SDELAY", "Delay", 500), 5, 0);
    par->addWidget(Num(panel, POPUP_HOLD, "POPUP_HOLD", "Hold", 100), 5, 1);
    par->addWidget(Num(panel, POPUP_AVERAGE, "POPUP_AVERAGE", "Average", 8), 6, 0);
    par->addWidget(Num(panel, POPUP_POLARITY, "POPUP_POLARITY", "Polarity", 1), 6, 1);
    par->addWidget(Num(panel, POPUP_MAXMODE, "POPUP_MAXMODE", "Max mode", 0), 7, 0);
    par->setRowStretch(8, 1);
    root->addWidget(Group("Parameters", par), 1);

    auto* rec = new QGridLayout;
    rec->addWidget(Num(panel, POPUP_RECINTERVAL, "POPUP_RECINTERVAL", "Interval [s]", 1, 0, 65535, CC_NEDITRecTime), 0,
                   0, 1, 2);
    rec->addWidget(Num(panel, POPUP_RECSAMPLES, "POPUP_RECSAMPLES", "Samples", 100, 0, 65535, CC_NEDITRecSamples), 0,
                   2, 1, 2);
    rec->addWidget(Show(panel, POPUP_RECDAYS, "POPUP_RECDAYS", "Days"), 1, 0);
    rec->addWidget(Show(panel, POPUP_RECHOURS, "POPUP_RECHOURS", "Hours"), 1, 1);
    rec->addWidget(Show(panel, POPUP_RECMINUTES, "POPUP_RECMINUTES", "Minutes"), 1, 2);
    rec->addWidget(Show(panel, POPUP_RECSECONDS, "POPUP_RECSECONDS", "Seconds"), 1, 3);
    rec->addWidget(Show(panel, POPUP_RECCOUNT, "POPUP_RECCOUNT", "Samples recorded"), 2, 0, 1, 2);
    CtrlSpec prog{.id = POPUP_RECPROGRESS, .kind = CtrlKind::ProgressBar, .name = "POPUP_RECPROGRESS", .label = "Progress",
                  .maximum = 100};
    rec->addWidget(AddCtrl(panel, prog), 2, 2, 1, 2);
    rec->addWidget(AddCtrl(panel, CtrlSpec{POPUP_RECFILENAME, CtrlKind::TextDisplay, "POPUP_RECFILENAME", "Record file"}),
                   3, 0, 1, 3);
    rec->addWidget(Button(panel, POPUP_RECFILEBTN, "POPUP_RECFILEBTN", "File ...", CC_RecordFileNameBtn), 3, 3,
                   Qt::AlignBottom);
    rec->addWidget(Button(panel, POPUP_RECSTART, "POPUP_RECSTART", "Start recording", CC_BTNStartRecord), 4, 0, 1, 2);
    rec->addWidget(Button(panel, POPUP_RECSTOP, "POPUP_RECSTOP", "Stop recording", CC_BTNStopRecord), 4, 2, 1, 2);
    QWidget* status = AddCtrl(panel, CtrlSpec{POPUP_RECSTATUS, CtrlKind::TextBox, "POPUP_RECSTATUS", "Recorder status"});
    status->setMinimumHeight(60);
    status->setMaximumHeight(60);
    ResetTextBox(panel, POPUP_RECSTATUS, "DATA-RECORDER");
    rec->addWidget(status, 5, 0, 1, 4);
    rec->setRowStretch(6, 1);
    root->addWidget(Group("Data recorder", rec), 1);
    win->resize(820, 480);
}

} // namespace

void RegisterPanels() {
    RegisterPanelResource(kPanelResourceFile, PANEL, BuildMain, CC_PANEL);
    RegisterPanelResource(kPanelResourceFile, POPUP, BuildPopup, CC_POPUP);
}
