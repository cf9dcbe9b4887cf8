// User-interface run-time: panels and controls addressed by handle and control number,
// callbacks with the event codes the program compares against, the event loop and the
// nested event pump, strip charts and the XY graph. Implemented over Qt Widgets and Qt Charts;
// nothing Qt shows through this header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Event codes passed to control and panel callbacks.
enum : int {
    EVENT_COMMIT = 1,
    EVENT_VAL_CHANGED = 2,
    EVENT_LEFT_CLICK = 3,
    EVENT_CLOSE = 11,
};

using CtrlCallbackPtr = int (*)(int panel, int control, int event, void* callbackData, int eventData1,
                                int eventData2);
using PanelCallbackPtr = int (*)(int panel, int event, void* callbackData, int eventData1, int eventData2);

// Results of the calls below: 0 (or a handle / count) on success, negative on failure.
enum : int {
    UIE_NO_ERROR = 0,
    UIE_BAD_PANEL = -42,
    UIE_BAD_CONTROL = -43,
    UIE_BAD_ATTRIBUTE = -45,
    UIE_BAD_VALUE = -46,
    UIE_NO_RESOURCE = -47,
    UIE_FILE_ERROR = -48,
};

// ---- Panels ------------------------------------------------------------------------------

// A panel resource is a form registered under a resource file name and panel number; the
// builder creates the panel's controls (see platform/panel_builder.h).
using PanelBuilder = void (*)(int panel);
void RegisterPanelResource(const char* file, int resourcePanel, PanelBuilder builder,
                           PanelCallbackPtr callback);

// Returns a panel handle (> 0) or a negative error.
int LoadPanel(int parentPanel, const char* file, int resourcePanel);
int DisplayPanel(int panel);
int HidePanel(int panel);
int DiscardPanel(int panel);

// ---- Event loop ----------------------------------------------------------------------------

// Runs the event loop until QuitUserInterface; returns the code given to it.
int RunUserInterface();
int QuitUserInterface(int code);
// Runs whatever user-interface and serial events are pending (their callbacks run inside)
// and returns. When nothing is pending it sleeps until the next event arrives or a few
// milliseconds pass, so a waiting loop built on it does not keep a core busy.
int ProcessSystemEvents();

// ---- Control values ------------------------------------------------------------------------

int GetCtrlVal(int panel, int control, int& value);
int GetCtrlVal(int panel, int control, uint16_t& value); // low 16 bits of the control's value
int GetCtrlVal(int panel, int control, double& value);
int GetCtrlVal(int panel, int control, std::string& value); // text displays, text boxes, rings' labels
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, unsigned int value);
int SetCtrlVal(int panel, int control, double value);
int SetCtrlVal(int panel, int control, const char* text);
inline int SetCtrlVal(int panel, int control, const std::string& text) {
    return SetCtrlVal(panel, control, text.c_str());
}

enum class Attr {
    Dimmed,          // int 0/1
    Locked,          // int 0/1: held off while an exchange runs; dimmed on top of Dimmed
    Visible,         // int 0/1
    LabelText,       // text
    TextBgColor,     // int RGB
    TextColor,       // int RGB
    FrameColor,      // int RGB: colour of a decoration / coloured area
    Top,             // int pixels
    Left,            // int pixels
    Width,           // int pixels
    Height,          // int pixels
    TextFont,        // text: font family ("NIApp" = the application font)
    TextBold,        // int 0/1
    TextPointSize,   // int points
    PointsPerScreen, // int: strip chart points shown across the chart
    NumTraces,       // int: strip chart traces
    RefreshGraph,    // int 0/1: strip chart / graph redraws as soon as data is plotted
    XName,           // text: x-axis name of a graph
    YName,           // text: y-axis name of a graph
    NumCursors,      // int: cursors shown on an XY graph (0 hides them)
    MinValue,        // int: lowest value a numeric control / progress bar takes
    MaxValue,        // int: highest value a numeric control / progress bar takes
};
int SetCtrlAttribute(int panel, int control, Attr attribute, int value);
int SetCtrlAttribute(int panel, int control, Attr attribute, const char* text);
int GetCtrlAttribute(int panel, int control, Attr attribute, int& value);
int GetCtrlAttribute(int panel, int control, Attr attribute, std::string& text);

// Text boxes: replace one line (0-based) or the whole content.
int ReplaceTextBoxLine(int panel, int control, int line, const char* text);
int ResetTextBox(int panel, int control, const char* text);
int GetTextBoxLine(int panel, int control, int line, std::string& text);

// ---- Charts --------------------------------------------------------------------------------

enum class Axis { XBottom, YLeft };
enum class AxisScaling { Manual, AutoScale };
int SetAxisScalingMode(int panel, int control, Axis axis, AxisScaling mode, double min, double max);
int GetAxisRange(int panel, int control, Axis axis, double& min, double& max);

enum class TraceAttr { Color };
int SetTraceAttribute(int panel, int control, int trace /*1-based*/, TraceAttr attribute, int value);
int GetTraceAttribute(int panel, int control, int trace, TraceAttr attribute, int& value);

// Appends points to a strip chart. data holds count values interleaved by trace
// (point k, trace t at k * traces + t - 1), taken from index start, skipping skip values
// between points. Each trace keeps the last PointsPerScreen points.
int PlotStripChart(int panel, int control, const double* data, int count, int start, int skip);
// What a strip chart shows now: the points of one trace (1-based), oldest first.
int GetStripChartTrace(int panel, int control, int trace, std::vector<double>& points);
int ClearStripChart(int panel, int control);

enum class PlotStyle { ThinLine, FatLine, DashedLine };
// Draws one line through n points; returns a plot handle (> 0) or a negative error.
int PlotXY(int panel, int control, const uint16_t* x, const uint16_t* y, int n, PlotStyle style,
           int colour);
// plot -1 deletes every plot of the graph.
int DeleteGraphPlot(int panel, int control, int plot, bool drawNow);
struct GraphPlotInfo {
    std::vector<double> x, y;
    PlotStyle style;
    int colour;
};
int GetGraphPlots(int panel, int control, std::vector<GraphPlotInfo>& plots);

enum class CursorAttr { Color, Style /* 0 cross, 1 full crosshair */ };
int SetGraphCursor(int panel, int control, int cursor /*1-based*/, double x, double y);
int GetGraphCursor(int panel, int control, int cursor, double& x, double& y);
int SetCursorAttribute(int panel, int control, int cursor, CursorAttr attribute, int value);

// ---- Pictures and controls made at run time -------------------------------------------------

int DisplayImageFile(int panel, int control, const char* path);
enum class CtrlKind {
    Numeric,        // integer input with label
    NumericDisplay, // integer display
    Ring,           // list of labelled integer values
    CommandButton,
    ToggleButton,
    RadioButton,
    BinarySwitch,
    Led,
    TextDisplay,    // one line of text, shown only
    TextBox,        // several lines of text, shown only
    TextMessage,    // a label with no frame
    StripChart,
    XYGraph,
    Picture,
    Decoration,     // a coloured area
    ProgressBar,
};
// Creates a control on a panel at run time; returns its control number (> 0).
int NewCtrl(int panel, CtrlKind kind, const char* label, int top, int left);
// Control numbers of every control made with NewCtrl on a panel, in creation order.
std::vector<int> GetNewCtrls(int panel);

// ---- Callbacks and automation ----------------------------------------------------------------

// Delivers an event to a control's callback as if the user had caused it; returns the
// callback's result (0 when the control has none).
int CallCtrlCallback(int panel, int control, int event, int eventData1 = 0, int eventData2 = 0);
int CallPanelCallback(int panel, int event, int eventData1 = 0, int eventData2 = 0);
// Operates a control the way a user does: a push button gets left click (3) then commit (1);
// a numeric / ring / toggle / radio / switch takes the value, then gets value changed (2)
// and commit (1). Returns 0 or a negative error.
int OperateCtrl(int panel, int control);
int OperateCtrl(int panel, int control, int newValue);
// Closes a panel's window the way the window manager does (delivers EVENT_CLOSE).
int ClosePanelWindow(int panel);
// Grabs a panel as a PNG image (for the README screenshot and for looking at the panels).
int SavePanelImage(int panel, const char* path);
