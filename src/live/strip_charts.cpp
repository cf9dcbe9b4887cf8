// SPDX-License-Identifier: GPL-3.0-or-later
// Strip charts: the graph source choice, the two point histories shifted in place, the band
// arithmetic of the normalised chart and the live values shown with every plot.
#include "live/live.h"

#include <algorithm>

#include "panel/panel.h"
#include "params/params.h"
#include "runtime/ui.h"

int32_t upTHR, loTHR, valNORM;
uint16_t valREF;

namespace {

constexpr int kRawLen = 200;  // 100 points x 2 traces
constexpr int kNormLen = 600; // 100 points x 6 traces
constexpr int kPointsPerScreen = 101;
constexpr int kNoMarker = 1005; // just above the clamped band: no marker shown

void ShowLiveValues() {
    SetCtrlVal(panelHandle, PANEL_VALUEA, static_cast<int>(valNORMA));
    SetCtrlVal(panelHandle, PANEL_VALUEB, static_cast<int>(valNORMB));
    SetCtrlVal(panelHandle, PANEL_ADCA, static_cast<int>(adcCHA));
    SetCtrlVal(panelHandle, PANEL_ADCB, static_cast<int>(adcCHB));
    SetCtrlVal(panelHandle, PANEL_AMAX, static_cast<int>(Amax));
    SetCtrlVal(panelHandle, PANEL_BMAX, static_cast<int>(Bmax));
    SetCtrlVal(panelHandle, PANEL_MAXVALA, static_cast<int>(MAXvalA));
    SetCtrlVal(panelHandle, PANEL_MINVALA, static_cast<int>(MINvalA));
    SetCtrlVal(panelHandle, PANEL_MAXVALB, static_cast<int>(MAXvalB));
    SetCtrlVal(panelHandle, PANEL_MINVALB, static_cast<int>(MINvalB));
    SetCtrlVal(panelHandle, PANEL_TOLVAL, static_cast<int>(tolval));

    // Only the four clean bit patterns drive the LEDs; anything else leaves them as they were.
    if ((inputs & ~0x0101) == 0) {
        SetCtrlVal(panelHandle, PANEL_INPUTLED0, (inputs & 0x0001) != 0);
        SetCtrlVal(panelHandle, PANEL_INPUTLED8, (inputs & 0x0100) != 0);
    }
}

// The traces are the form's; the width of the history shown is set with every plot.
void PrepareStripChart(int control) { SetCtrlAttribute(panelHandle, control, Attr::PointsPerScreen, kPointsPerScreen); }

} // namespace

int GraphSource() { return CtrlValue(panelHandle, PANEL_GRAPHSOURCE); }

int Copy1D(const double* input, int n, double* output) {
    if (n < 1) return -20003;
    for (int i = 0; i < n; ++i) output[i] = input[i];
    return 0;
}

int Shift(const double* input, int n, int k, double* output) {
    if (n < 1) return -20003;
    if (k >= n || -k >= n) return -20102;
    if (k == 0) return Copy1D(input, n, output);
    // Copy direction chosen so that input == output works.
    if (k > 0) {
        for (int i = n - k - 1; i >= 0; --i) output[i + k] = input[i];
        for (int i = 0; i < k; ++i) output[i] = 0.0;
    } else {
        const int m = -k;
        for (int i = 0; i < n - m; ++i) output[i] = input[i + m];
        for (int i = n - m; i < n; ++i) output[i] = 0.0;
    }
    return 0;
}

void ApplyGraphSource() {
    const int v = GraphSource();
    if (v == 0) {
        SetAxisScalingMode(panelHandle, PANEL_RAWCHART, Axis::YLeft, AxisScaling::Manual, 0, 4096);
        SetCtrlAttribute(panelHandle, PANEL_RAWCHART, Attr::Visible, true);
        SetCtrlAttribute(panelHandle, PANEL_NORMCHART, Attr::Visible, false);
        type = 0;
    } else if (v < 2) {
        SetAxisScalingMode(panelHandle, PANEL_RAWCHART, Axis::YLeft, AxisScaling::Manual, 0, 1024);
        SetCtrlAttribute(panelHandle, PANEL_RAWCHART, Attr::Visible, true);
        SetCtrlAttribute(panelHandle, PANEL_NORMCHART, Attr::Visible, false);
        type = 0;
    } else {
        SetAxisScalingMode(panelHandle, PANEL_RAWCHART, Axis::YLeft, AxisScaling::Manual, 0, 1024);
        SetCtrlAttribute(panelHandle, PANEL_RAWCHART, Attr::Visible, false);
        SetCtrlAttribute(panelHandle, PANEL_NORMCHART, Attr::Visible, true);
        type = 1;
    }
}

int CC_RNGGraphSource(int /*panel*/, int /*control*/, int event, void* /*callbackData*/, int /*eventData1*/,
                      int /*eventData2*/) {
    if (event == EVENT_COMMIT) ApplyGraphSource();
    return 0;
}

void PlotRAWValues() {
    Shift(arrayRAW, kRawLen, -2, arrayRAW);
    DecodeLiveAnswer();
    PrepareStripChart(PANEL_RAWCHART);

    switch (GraphSource()) {
    case 0:
        arrayRAW[198] = adcCHA;
        arrayRAW[199] = adcCHB;
        SetTraceAttribute(panelHandle, PANEL_RAWCHART, 1, TraceAttr::Color, VAL_BLUE);
        SetTraceAttribute(panelHandle, PANEL_RAWCHART, 2, TraceAttr::Color, VAL_GREEN);
        break;
    case 1:
        arrayRAW[198] = valNORMA;
        arrayRAW[199] = valNORMB;
        SetTraceAttribute(panelHandle, PANEL_RAWCHART, 1, TraceAttr::Color, VAL_RED);
        SetTraceAttribute(panelHandle, PANEL_RAWCHART, 2, TraceAttr::Color, VAL_DK_GRAY);
        break;
    default: // the hidden raw chart gets a zero point
        break;
    }

    PlotStripChart(panelHandle, PANEL_RAWCHART, arrayRAW, kRawLen, 0, 0);
    ShowLiveValues();
}

void PlotNORMValues(double* history) {
    int upperMarker = kNoMarker, lowerMarker = kNoMarker;
    Shift(history, kNormLen, -6, history);
    DecodeLiveAnswer();

    // The hardware-mode switch on the panel, not the stored parameter, picks the band width.
    const int hw = CtrlValue(panelHandle, PANEL_HWMODE);
    const bool panelTolerance = (hw == 0 || hw == 2);
    const int32_t tolA32 = panelTolerance ? tolA : tolval;
    const int32_t tolB32 = panelTolerance ? tolB : tolval;

    auto markers = [&](uint16_t maxVal, uint16_t minVal) {
        switch (anamode) {
        case 1: upperMarker = lowerMarker = maxVal; break;
        case 2: upperMarker = lowerMarker = minVal; break;
        case 3: upperMarker = maxVal; lowerMarker = minVal; break;
        default: break; // 0 and unknown modes: no markers
        }
    };

    switch (GraphSource()) {
    case 2:
        upTHR = int32_t{refA} + tolA32;
        loTHR = int32_t{refA} - tolA32;
        valREF = refA;
        valNORM = (evalmode == 3) ? int32_t{valDIFF} : valNORMA;
        markers(MAXvalA, MINvalA);
        SetTraceAttribute(panelHandle, PANEL_NORMCHART, 6, TraceAttr::Color,
                          evalmode == 3 ? VAL_CYAN : VAL_RED);
        break;
    case 3:
        if (evalmode == 3) {
            // The difference value lives in channel A's band.
            upTHR = int32_t{refA} + tolA32;
            loTHR = int32_t{refA} - tolA32;
            valREF = refA;
            valNORM = valDIFF;
        } else {
            upTHR = int32_t{refB} + tolB32;
            loTHR = int32_t{refB} - tolB32;
            valREF = refB;
            valNORM = valNORMB;
        }
        markers(MAXvalB, MINvalB);
        SetTraceAttribute(panelHandle, PANEL_NORMCHART, 6, TraceAttr::Color,
                          evalmode == 3 ? VAL_CYAN : VAL_DK_GRAY);
        break;
    default: // band kept from the last plot
        break;
    }

    upTHR = std::min(upTHR, int32_t{1000});
    loTHR = std::max(loTHR, int32_t{1});

    double* newest = history + kNormLen - 6;
    newest[0] = upTHR;
    newest[1] = loTHR;
    newest[2] = valREF;
    newest[3] = upperMarker;
    newest[4] = lowerMarker;
    newest[5] = valNORM;

    PrepareStripChart(PANEL_NORMCHART);
    SetTraceAttribute(panelHandle, PANEL_NORMCHART, 1, TraceAttr::Color, VAL_DK_GREEN);
    SetTraceAttribute(panelHandle, PANEL_NORMCHART, 2, TraceAttr::Color, VAL_DK_GREEN);
    SetTraceAttribute(panelHandle, PANEL_NORMCHART, 3, TraceAttr::Color, VAL_BLACK);
    SetTraceAttribute(panelHandle, PANEL_NORMCHART, 4, TraceAttr::Color, VAL_RED);
    SetTraceAttribute(panelHandle, PANEL_NORMCHART, 5, TraceAttr::Color, VAL_RED);

    PlotStripChart(panelHandle, PANEL_NORMCHART, history, kNormLen, 0, 0);
    ShowLiveValues();
}
