// SPDX-License-Identifier: GPL-3.0-or-later
// Recorder run: samples the live answers at a whole-second interval into the record file
// while the strip charts keep running.
#include "recorder/recorder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "app/app.h"
#include "app/panels.h"
#include "link/com232.h"
#include "live/live.h"
#include "params/params.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "platform/ui.h"

char recfile_name[MAX_PATHNAME_LEN];
int ret;

namespace {

constexpr int kRecActiveBg = 0xFF0000, kRecActiveFg = 0xFFFFFF;
constexpr int kRecIdleBg = 0xE0E0E0, kRecIdleFg = 0x000000;

// The file the running recording writes to. Fixed at its start, so choosing another file
// mid-recording neither splits this one nor starts the other without its header.
char recActivePath[MAX_PATHNAME_LEN];
bool recActive = false;

void SetRecStatus(const char* text, int background, int colour) {
    ResetTextBox(panelPopUp, POPUP_RECSTATUS, text);
    SetCtrlAttribute(panelPopUp, POPUP_RECSTATUS, Attr::TextBgColor, background);
    SetCtrlAttribute(panelPopUp, POPUP_RECSTATUS, Attr::TextColor, colour);
}

void ShowRecordFileError(const char* path) {
    char text[MAX_PATHNAME_LEN + 32];
    std::snprintf(text, sizeof text, "Record file not written: %s", path);
    SetCtrlVal(panelHandle, PANEL_STATUS, text);
}

void SendLiveRequest() {
    FlushInQ(com);
    FlushOutQ(com);
    CopyVarsToPP(0);
    FillTxBuf(ORD_LIVE, pp);
    rx_flag = 0;
    tstart = Timer();
    nBytesW = WriteRequest(com, TIMEOUT);
}

// Graph sources 0 and 1 plot on the raw chart, the others on the band chart.
bool RawSource() {
    const int source = CtrlValue(panelHandle, PANEL_GRAPHSOURCE);
    return source == 0 || source == 1;
}

void PlotForGraphSource() {
    if (RawSource())
        PlotRAWValues();
    else
        PlotNORMValues(arrayNORM);
}

} // namespace

uint16_t RecTickMark(double now) {
    now = std::max(0.0, now); // the clock never reads negative; NaN too gives 0
    return static_cast<uint16_t>(static_cast<uint64_t>(std::fmod(std::floor(now), 65536.0)));
}

uint16_t RecElapsedSeconds(double now, uint16_t tickMark) {
    return static_cast<uint16_t>(RecTickMark(now) - tickMark);
}

int CC_BTNStartRecord(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || ExchangeBusy()) return 0;
    ExchangeHold hold(true);
    stop_flag = 0; // a Stop (or a close) from here on ends the recording, even before it starts
    WaitLineFree();
    if (stop_flag) return 0;

    SetCtrlAttribute(panelHandle, PANEL_DATAGRAPH, Attr::Visible, false);
    SetCtrlAttribute(panelHandle, PANEL_BTNRUN, Attr::Dimmed, true);
    SetCtrlAttribute(panelHandle, PANEL_BTNDATA, Attr::Dimmed, true);
    SetCtrlAttribute(panelHandle, PANEL_RECLOCK, Attr::Dimmed, true);
    SetCtrlAttribute(panelPopUp, POPUP_RECSTART, Attr::Dimmed, true);

    const bool raw = RawSource();
    SetCtrlAttribute(panelHandle, PANEL_RAWCHART, Attr::Visible, raw);
    SetCtrlAttribute(panelHandle, PANEL_NORMCHART, Attr::Visible, !raw);

    SetRecStatus("DATA-RECORDER active ...", kRecActiveBg, kRecActiveFg);

    const auto samples = static_cast<uint16_t>(CtrlValue(panelPopUp, POPUP_RECSAMPLES));
    const auto interval = static_cast<uint16_t>(CtrlValue(panelPopUp, POPUP_RECINTERVAL));

    // The earlier file is replaced by the header only once this recording counts: with its
    // first sample, or when it ends by itself. One stopped before that leaves it as it was.
    CopyText(recActivePath, recfile_name);
    recActive = true;
    SetCtrlVal(panelPopUp, POPUP_RECFILENAME, recActivePath);
    bool headerDue = true;
    auto writeHeader = [&] { return !std::exchange(headerDue, false) || WriteRecHeader(recActivePath, interval); };

    uint16_t count = 0;
    SetCtrlAttribute(panelPopUp, POPUP_RECPROGRESS, Attr::MinValue, 0);
    // An empty range would make the bar a busy indicator: 0 wanted shows as 0 of 1.
    SetCtrlAttribute(panelPopUp, POPUP_RECPROGRESS, Attr::MaxValue, std::max<int>(samples, 1));
    SetCtrlVal(panelPopUp, POPUP_RECPROGRESS, 0);

    bool endedItself = false;
    // A file that cannot be written ends the recording at once; an empty append changes no byte.
    if (ArrayToFile(recActivePath, "", 0, FileAction::Append) != kFile_Ok) {
        ShowRecordFileError(recActivePath);
        stop_flag = 1;
    } else {
        rx_flag = 0; // only this recording's answers count
        if (samples > 0) { // nothing to record: no request, and no answer left on the line
            CopyVarsToPP(0);
            FlushInQ(com);
            FlushOutQ(com);
            order = ORD_LIVE;
            FillTxBuf(ORD_LIVE, pp);
            nBytesW = WriteRequest(com, TIMEOUT);
            if (nBytesW == FRAME_LEN) ShowStatus("Line Ok!");
        }

        tstart = Timer();
        uint16_t tickMark = RecTickMark(Timer());
        graphrefresh = 0;
        bool writeFailed = false;

        while (stop_flag == 0) {
            uint16_t elapsed = RecElapsedSeconds(Timer(), tickMark);

            // The answer in pp is plotted and recorded before the next request refills pp.
            if (graphrefresh == 1) {
                PlotForGraphSource();
                if (elapsed >= interval) {
                    if (writeHeader() && WriteRecSample(recActivePath)) {
                        ++count;
                        SetCtrlVal(panelPopUp, POPUP_RECCOUNT, static_cast<unsigned>(count));
                        SetCtrlVal(panelPopUp, POPUP_RECPROGRESS, static_cast<int>(count));
                    } else {
                        ShowRecordFileError(recActivePath);
                        writeFailed = true;
                    }
                    tickMark = RecTickMark(Timer());
                }
                graphrefresh = 0;
            }
            if (writeFailed) {
                stop_flag = 1;
                break;
            }

            // With the last sample in, no further request: its answer would only be flushed.
            if (count >= samples) {
                stop_flag = 1;
                endedItself = true;
                break;
            }
            if (rx_flag == 1) SendLiveRequest();

            tdiff = Timer() - tstart;
            if (tdiff > TIMEOUT) {
                ShowStatus("Timeout RS232-Line!");
                stop_flag = 1;
                endedItself = true;
                break;
            }

            ProcessSystemEvents(tstart + TIMEOUT);
        }
    }
    if (endedItself && !writeHeader()) ShowRecordFileError(recActivePath);

    // No flush: the exchange in flight ends whole; the next one waits for it and clears the
    // flags before its request.
    recActive = false;

    SetCtrlAttribute(panelHandle, PANEL_BTNRUN, Attr::Dimmed, false);
    SetCtrlAttribute(panelHandle, PANEL_BTNDATA, Attr::Dimmed, false);
    SetCtrlAttribute(panelPopUp, POPUP_RECSTART, Attr::Dimmed, false);
    SetRecStatus("DATA-RECORDER", kRecIdleBg, kRecIdleFg);
    // A file chosen during the recording shows now that it is the one the next start takes.
    SetCtrlVal(panelPopUp, POPUP_RECFILENAME, recfile_name);
    return 0;
}

int CC_BTNStopRecord(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || StopHeld()) return 0;
    stop_flag = 1; // a recording's end, or a live run's, gives back Run and Start
    SetCtrlAttribute(panelHandle, PANEL_BTNDATA, Attr::Dimmed, false);
    SetCtrlAttribute(panelHandle, PANEL_RECLOCK, Attr::Dimmed, false);
    SetCtrlAttribute(panelHandle, PANEL_STOPRECENABLE, Attr::Dimmed, false);
    return 0;
}

bool RecordingActive() { return recActive; }

bool RecordingWritesTo(const char* path) {
    return recActive && path && std::strcmp(path, recActivePath) == 0;
}
