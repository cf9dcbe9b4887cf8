// SPDX-License-Identifier: GPL-3.0-or-later
// The live loop: one live request after another, each answer plotted before the next request
// is built, until Stop, a close or a silent controller ends it.
#include "live/live.h"

#include <algorithm>

#include "link/com232.h"
#include "panel/panel.h"
#include "params/params.h"
#include "runtime/ui.h"

int stop_flag;
int type;

double arrayRAW[200];
double arrayNORM[600];

namespace {

// A live answer later than this after its request ends the loop.
constexpr double kLiveTimeout = 2.0;

constexpr int kNormTraces = 6;

bool TypeIsRaw() { return type == 0; }

} // namespace

bool LiveMayStart() {
    stop_flag = 0;
    WaitLineFree();
    if (stop_flag) return false;
    SetCtrlAttribute(panelHandle, PANEL_DATAGRAPH, Attr::Visible, false);
    SetCtrlAttribute(panelHandle, PANEL_BTNRUN, Attr::Dimmed, true);
    SetCtrlAttribute(panelHandle, PANEL_BTNDATA, Attr::Dimmed, true);
    return true;
}

int SendLiveRequest(double limit) {
    CopyVarsToPP(0);
    return SendRequest(com, ORD_LIVE, pp, limit);
}

LiveEnd LiveCycles(double limit, bool (*rawChart)(), bool (*onAnswer)()) {
    for (;;) {
        switch (AwaitFrame(limit, -1, &stop_flag)) {
        case Awaited::Stopped:
            return LiveEnd::Stopped;
        case Awaited::Timeout:
            ShowStatus("Timeout RS232-Line!");
            stop_flag = 1;
            return LiveEnd::Silent;
        case Awaited::Taken:
            break;
        }
        // Plot first: the answer sits in pp until the next request overwrites it.
        if (rawChart())
            PlotRAWValues();
        else
            PlotNORMValues(arrayNORM);
        graphrefresh = 0;
        if (onAnswer && !onAnswer()) return LiveEnd::Consumer;
        SendLiveRequest(limit);
    }
}

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

int CC_BTNRun(int panel, int /*control*/, int event, void* /*callbackData*/, int /*eventData1*/,
              int /*eventData2*/) {
    if (event != EVENT_COMMIT || ExchangeBusy()) return 0;
    ExchangeHold exchange(true);
    if (!LiveMayStart()) return 0;
    ApplyGraphSource();

    if (SendLiveRequest(kLiveTimeout) == FRAME_LEN) ShowStatus("Line Ok!");
    graphrefresh = 0;
    FillarrayNORM(tolA, refA, 0);
    LiveCycles(kLiveTimeout, TypeIsRaw, nullptr);

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
