// SPDX-License-Identifier: GPL-3.0-or-later
// The live loop: one live request after another, each answer plotted before the next request
// is built, until Stop, a close or a silent controller ends it.
#include "live/live.h"

#include <algorithm>

#include "app/app.h"
#include "app/panels.h"
#include "link/com232.h"
#include "params/params.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "platform/ui.h"

int stop_flag;
int type;

int32_t valNORMA, valNORMB;
uint16_t adcCHA, adcCHB, Amax, Bmax, MAXvalA, MAXvalB, MINvalA, MINvalB, tolval, btnval, inputs, valDIFF,
    indexA, indexB;

double arrayRAW[200];
double arrayNORM[600];

namespace {

// A live answer later than this after its request ends the loop.
constexpr double kLiveTimeout = 2.0;

constexpr int kNormTraces = 6;

void FlushBoth() {
    FlushInQ(com);
    FlushOutQ(com);
}

// Fills pp with parameter set 0 and builds the live request in szWriteBuf.
void BuildLiveRequest() {
    CopyVarsToPP(0);
    FillTxBuf(ORD_LIVE, pp);
}

} // namespace

void FillarrayRAW(int a, int b) {
    for (double* point = arrayRAW; point != std::end(arrayRAW); point += 2) {
        point[0] = a;
        point[1] = b;
    }
}

void FillarrayNORM(int tolerance, int reference, int marker) {
    const double upper = reference + tolerance;
    const double lower = reference - tolerance;
    for (double* point = arrayNORM; point != std::end(arrayNORM); point += kNormTraces) {
        point[0] = upper;
        point[1] = lower;
        point[2] = reference;
        point[3] = marker;
        point[4] = marker;
        // point[5], the plotted value, scrolls out on its own.
    }
}

// Word i of a live answer goes to the variable of entry i.
const LiveWord kLiveWords[16] = {
    {"valNORMA", &valNORMA, nullptr}, {"valNORMB", &valNORMB, nullptr}, {"adcCHA", nullptr, &adcCHA},
    {"adcCHB", nullptr, &adcCHB},     {"Amax", nullptr, &Amax},         {"Bmax", nullptr, &Bmax},
    {"MAXvalA", nullptr, &MAXvalA},   {"MAXvalB", nullptr, &MAXvalB},   {"MINvalA", nullptr, &MINvalA},
    {"MINvalB", nullptr, &MINvalB},   {"tolval", nullptr, &tolval},     {"btnval", nullptr, &btnval},
    {"inputs", nullptr, &inputs},     {"valDIFF", nullptr, &valDIFF},   {"indexA", nullptr, &indexA},
    {"indexB", nullptr, &indexB},
};

uint32_t LiveValue(const LiveWord& w) { return w.wide ? static_cast<uint32_t>(*w.wide) : *w.word; }

void DecodeLiveAnswer() {
    // Zero-extended: a normalised value is never negative.
    for (int i = 0; i < PNUM; ++i) {
        const LiveWord& w = kLiveWords[i];
        if (w.wide)
            *w.wide = static_cast<int32_t>(pp[i]);
        else
            *w.word = pp[i];
    }
    // The indices address samples 1..128 of a data block.
    indexA = std::clamp<uint16_t>(indexA, 1, 128);
    indexB = std::clamp<uint16_t>(indexB, 1, 128);
}

int CC_BTNRun(int panel, int /*control*/, int event, void* /*callbackData*/, int /*eventData1*/,
              int /*eventData2*/) {
    if (event != EVENT_COMMIT || ExchangeBusy()) return 0;
    ExchangeHold hold(true);
    stop_flag = 0; // a Stop (or a close) from here on ends the run, even before it starts
    WaitLineFree();
    if (stop_flag) return 0;

    SetCtrlAttribute(panel, PANEL_DATAGRAPH, Attr::Visible, false);
    SetCtrlAttribute(panel, PANEL_BTNRUN, Attr::Dimmed, true);
    SetCtrlAttribute(panel, PANEL_BTNDATA, Attr::Dimmed, true);
    ApplyGraphSource();

    FlushBoth();
    rx_flag = 0;
    order = ORD_LIVE;
    BuildLiveRequest();
    nBytesW = WriteRequest(com, kLiveTimeout);
    if (nBytesW == FRAME_LEN) ShowStatus("Line Ok!");

    tstart = Timer();
    graphrefresh = 0;
    FillarrayNORM(tolA, refA, 0);

    do {
        // Plot first: the answer sits in pp until the next request overwrites it.
        if (graphrefresh == 1) {
            if (type == 0)
                PlotRAWValues();
            else
                PlotNORMValues(arrayNORM);
            graphrefresh = 0;
        }
        if (rx_flag == 1) {
            FlushBoth();
            BuildLiveRequest();
            rx_flag = 0;
            tstart = Timer();
            nBytesW = WriteRequest(com, kLiveTimeout);
        }
        tdiff = Timer() - tstart;
        if (tdiff > kLiveTimeout) {
            ShowStatus("Timeout RS232-Line!");
            stop_flag = 1;
            break;
        }
        ProcessSystemEvents(tstart + kLiveTimeout);
    } while (stop_flag == 0);

    // No flush: it would tear a request or an answer on its way. The exchange in flight ends
    // unused; the next exchange waits for it and clears the flags before its request.
    SetCtrlAttribute(panel, PANEL_BTNRUN, Attr::Dimmed, false);
    return 0;
}

int CC_BTNStop(int panel, int /*control*/, int event, void* /*callbackData*/, int /*eventData1*/,
               int /*eventData2*/) {
    if (event != EVENT_COMMIT || StopHeld()) return 0;

    // Stop comes through the event pump of a live loop or a recording, which ends right after
    // it: an answer already in is neither plotted nor answered. What is on the line is left
    // whole (see the end of the loop). The loop's end gives Run back; Data is given back here.
    stop_flag = 1;
    SetCtrlAttribute(panel, PANEL_BTNDATA, Attr::Dimmed, false);
    FillarrayRAW(0, 0);
    FillarrayNORM(tol10Bit, ref10Bit, 0);
    return 0;
}
