// SPDX-License-Identifier: GPL-3.0-or-later
// Scope view: one live answer, then four 64-word data blocks drawn as curves on the XY graph,
// with the tolerance band, the dashed reference and a cursor on the reported sample.
#include "live/live.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "link/com232.h"
#include "panel/panel.h"
#include "params/params.h"
#include "runtime/serial.h"
#include "runtime/ui.h"

uint16_t upArray[256], loArray[256], refArray[256];

namespace {

constexpr int kSamples = 128;
constexpr const char* kNormAxisName = "NORM=1000*(A/Amax)";

constexpr const char* kBlockNames[4] = {"CH-A 0-63", "CH-A 64-127", "CH-B 0-63", "CH-B 64-127"};

// Returns a bit for each of the four blocks that did not come in whole. A block that did not
// come at all ends the reads: its answer may still come, and would pass for the next block.
// A close ends them at once.
unsigned ReadFourBlocks(int kind) {
    unsigned missing = 0;
    bool lineQuiet = true;
    for (int b = 0; b < 4; ++b) {
        if (!lineQuiet || ExchangeEnding()) {
            missing |= 1u << b;
            continue;
        }
        if (ReadData64(64 * b, kind, ORD_DATA64) == 64) continue;
        missing |= 1u << b;
        lineQuiet = nBytesR >= DATA64_LEN; // too long is over; too short may go on
    }
    return missing;
}

void ShowMissingBlocks(unsigned missing) {
    std::string names;
    int count = 0;
    for (int b = 0; b < 4; ++b)
        if (missing & (1u << b)) names += (count++ ? ", " : "") + std::string(kBlockNames[b]);
    char text[128];
    std::snprintf(text, sizeof text, "Data view incomplete: %d of 4 blocks missing (%s)!", count, names.c_str());
    ShowStatus(text);
}

void SetBand(uint16_t ref, uint16_t tol) {
    upTHR = int32_t{ref} + tol;
    loTHR = int32_t{ref} - tol;
    valREF = ref;
}

void ClampIndex(uint16_t& index) { index = std::clamp<uint16_t>(index, 1, kSamples); }

void PlotLine(const uint16_t* y, PlotStyle style, int colour) {
    PlotXY(panelHandle, PANEL_DATAGRAPH, xArray, y, kSamples, style, colour);
}

void NormAxisWithCursor() {
    SetCtrlAttribute(panelHandle, PANEL_DATAGRAPH, Attr::YName, kNormAxisName);
    SetAxisScalingMode(panelHandle, PANEL_DATAGRAPH, Axis::YLeft, AxisScaling::Manual, 0, 1000);
}

} // namespace

int CC_BTNData(int panel, int /*control*/, int event, void* /*callbackData*/, int /*eventData1*/,
               int /*eventData2*/) {
    if (event != EVENT_COMMIT || ExchangeBusy()) return 0;
    ExchangeHold exchange;
    WaitLineFree();

    SetCtrlAttribute(panel, PANEL_RAWCHART, Attr::Visible, false);
    SetCtrlAttribute(panel, PANEL_NORMCHART, Attr::Visible, false);
    SetCtrlAttribute(panel, PANEL_DATAGRAPH, Attr::Visible, true);

    SendRequest(com, ORD_LIVE, pp, TIMEOUT);

    // Without an answer pp still holds the request's own words; shown as live values they
    // would pass parameters off as measurements, so the last live values stay instead.
    if (WaitRxFull() == 1) PlotRAWValues();

    // The blocks are read directly, which holds the receive notification back meanwhile;
    // each read empties both queues before its request.
    unsigned missing = 0;
    switch (GraphSource()) {
    case 0:
        missing = ReadFourBlocks(0);
        break;
    case 1:
        missing = ReadFourBlocks(1);
        if (evalmode == 7) SetBand(refB, tolB);
        if (evalmode == 6) SetBand(refA, tolA);
        break;
    case 2:
        missing = ReadFourBlocks(1);
        SetBand(refA, tolA);
        break;
    case 3:
        missing = ReadFourBlocks(1);
        SetBand(refB, tolB);
        break;
    default:
        break;
    }

    upTHR = std::min(upTHR, int32_t{1000});
    loTHR = std::max(loTHR, int32_t{1});

    std::fill_n(upArray, kSamples, static_cast<uint16_t>(upTHR));
    std::fill_n(loArray, kSamples, static_cast<uint16_t>(loTHR));
    std::fill_n(refArray, kSamples, valREF);
    PlotDATACurve(yArrayA, yArrayB, upArray, loArray, refArray);
    // The last block's own text would pass flat or stale curves off as received.
    if (missing) ShowMissingBlocks(missing);

    SetCtrlAttribute(panel, PANEL_BTNDATA, Attr::Dimmed, false);
    FlushOutQ(com);
    FlushInQ(com);
    return 0;
}

void PlotDATACurve(const uint16_t* curveA, const uint16_t* curveB, const uint16_t* upper,
                   const uint16_t* lower, const uint16_t* reference) {
    ClampIndex(indexA);
    ClampIndex(indexB);

    SetCtrlAttribute(panelHandle, PANEL_RAWCHART, Attr::Visible, false);
    SetCtrlAttribute(panelHandle, PANEL_NORMCHART, Attr::Visible, false);
    SetAxisScalingMode(panelHandle, PANEL_DATAGRAPH, Axis::XBottom, AxisScaling::Manual, 1, kSamples);
    DeleteGraphPlot(panelHandle, PANEL_DATAGRAPH, -1, true);

    // In this view the two value displays show the minima.
    SetCtrlVal(panelHandle, PANEL_VALUEA, static_cast<int>(MINvalA));
    SetCtrlVal(panelHandle, PANEL_VALUEB, static_cast<int>(MINvalB));

    // The curves are 256 words long, so the cursor's sample at index 128 is still inside them.
    switch (GraphSource()) {
    case 0:
        SetCtrlAttribute(panelHandle, PANEL_DATAGRAPH, Attr::YName, "RAW-values / [ADC-units]");
        SetAxisScalingMode(panelHandle, PANEL_DATAGRAPH, Axis::YLeft, AxisScaling::Manual, 0, 1000);
        PlotLine(curveA, PlotStyle::FatLine, VAL_GREEN);
        PlotLine(curveB, PlotStyle::FatLine, VAL_BLUE);
        break;
    case 1:
        NormAxisWithCursor();
        PlotLine(upper, PlotStyle::ThinLine, VAL_BLACK);
        PlotLine(lower, PlotStyle::ThinLine, VAL_BLACK);
        PlotLine(curveA, PlotStyle::FatLine, VAL_RED);
        PlotLine(curveB, PlotStyle::FatLine, VAL_DK_GRAY);
        PlotLine(reference, PlotStyle::DashedLine, VAL_BLACK);
        SetGraphCursor(panelHandle, PANEL_DATAGRAPH, 1, indexA, curveA[indexA]);
        break;
    case 2:
        NormAxisWithCursor();
        PlotLine(upper, PlotStyle::ThinLine, VAL_BLACK);
        PlotLine(lower, PlotStyle::ThinLine, VAL_BLACK);
        PlotLine(curveA, PlotStyle::FatLine, VAL_RED);
        SetGraphCursor(panelHandle, PANEL_DATAGRAPH, 1, indexA, curveA[indexA]);
        PlotLine(reference, PlotStyle::DashedLine, VAL_BLACK);
        break;
    case 3:
        NormAxisWithCursor();
        PlotLine(upper, PlotStyle::ThinLine, VAL_BLACK);
        PlotLine(lower, PlotStyle::ThinLine, VAL_BLACK);
        PlotLine(curveB, PlotStyle::FatLine, VAL_DK_GRAY);
        SetGraphCursor(panelHandle, PANEL_DATAGRAPH, 1, indexB, curveB[indexB]);
        PlotLine(reference, PlotStyle::DashedLine, VAL_BLACK);
        break;
    default: // unknown source: the graph stays empty
        break;
    }
}
