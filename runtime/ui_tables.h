// SPDX-License-Identifier: GPL-3.0-or-later
// Inside runtime/ only: the tables of panels and controls the user-interface files share.
//
// Qt's signal handlers look their control up again by number, so a panel discarded from inside
// a callback never leaves a dangling pointer behind.
#pragma once

#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/ui.h"

QT_BEGIN_NAMESPACE
class QChart;
class QChartView;
class QColor;
class QLabel;
class QLineSeries;
class QScatterSeries;
class QValueAxis;
class QWidget;
QT_END_NAMESPACE
class StripView;

namespace ui {

struct Trace {
    std::vector<double> hist; // newest last, at most pps values
    int colour = 0;
};

struct Plot {
    QLineSeries* series = nullptr;
    GraphPlotInfo info;
};

struct Chart {
    QChart* chart = nullptr;     // XY graph
    QChartView* view = nullptr;  // XY graph
    StripView* strip = nullptr;  // strip chart
    QValueAxis* ax = nullptr;    // ranges and titles (a strip chart's only hold them)
    QValueAxis* ay = nullptr;
    bool autoX = false, autoY = false;
    // Strip chart
    int pps = 101;
    std::vector<Trace> traces;
    int panel = 0, id = 0; // where a strip chart sits, for its paced refresh
    bool dirty = false;    // the histories hold points the series have not taken yet
    bool hidden = false;
    // XY graph
    std::map<int, Plot> plots;
    int nextPlot = 1;
    QLineSeries* curV = nullptr;
    QLineSeries* curH = nullptr;
    QScatterSeries* curM = nullptr;
    int numCursors = 1;
    bool cursorPlaced = false;
    double cx = 0, cy = 0;
    int cursorStyle = 1;
};

struct Ctrl {
    CtrlKind kind = CtrlKind::TextMessage;
    std::string name;
    std::string label;
    CtrlCallbackPtr cb = nullptr;
    QWidget* box = nullptr;  // what the layout holds (label + widget)
    QLabel* lab = nullptr;   // the label, for kinds that carry one above the widget
    QWidget* w = nullptr;    // the control itself
    double num = 0;          // numeric display value
    int value = 0;           // led
    std::vector<std::string> lines; // text box
    std::string text;               // text display / message: the bytes as given
    int bg = -1, fg = -1, frame = -1;
    std::string font;
    int bold = 0, pt = 0;
    bool ownName = false;    // the form named it for screen readers; label changes keep that name
    int dimmed = 0, locked = 0, visible = 1;
    int minV = 0, maxV = 65535;
    std::unique_ptr<Chart> chart;
};

struct Panel {
    int handle = 0;
    QWidget* win = nullptr;    // its window
    PanelCallbackPtr cb = nullptr;
    std::map<int, std::unique_ptr<Ctrl>> ctrls;
    std::vector<int> order;    // creation order
    std::vector<int> newCtrls; // made with NewCtrl
    int nextNew = 1000;
};

// ui_panels.cpp: the tables and the callbacks.
Panel* FindPanel(int h);
Ctrl* FindCtrl(int h, int id);
// 0 with c set, else the error a call returns for a missing panel or control.
int Lookup(int panel, int control, Ctrl*& c);
// The same for a chart, of the given kind when one is given.
int LookupChart(int panel, int control, Chart*& ch, std::optional<CtrlKind> want = {});
int Deliver(int panel, int id, int event, int d1 = 0, int d2 = 0);

// ui_values.cpp: values set without any event; restyling.
int SetInt(Ctrl& c, long long v); // whether the value changed, or -1 when it takes no integer
int GetInt(Ctrl& c, long long& v);
void ApplyStyle(Ctrl& c);
QColor Rgb(int c);

// ui_text.cpp
void ShowTextBox(Ctrl& c);
std::vector<std::string> SplitLines(const char* text);
// Texts may come from the line (firmware text) as well as from the program: shown as UTF-8
// when they are, else byte for byte as Latin-1; read back as the bytes given either way.
QString Decode(const char* text);

// ui_strip.cpp and ui_graph.cpp: the charts a control holds.
std::unique_ptr<Chart> NewStripChart(int panel, int id);
std::unique_ptr<Chart> NewGraph();
void SetTraces(Chart& ch, int n);
int SetPointsPerScreen(Chart& ch, int value);
void UpdateCursor(Chart& ch);

} // namespace ui
