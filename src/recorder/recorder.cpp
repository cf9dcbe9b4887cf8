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

#include "link/com232.h"
#include "live/live.h"
#include "panel/panel.h"
#include "runtime/files.h"
#include "runtime/timing.h"
#include "runtime/ui.h"

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
    ShowStatus(text);
}

// Graph sources 0 and 1 plot on the raw chart, the others on the band chart.
bool RawSource() { return GraphSource() <= 1; }

// The running recording: what it was started with, and how far it came.
struct Recording {
    uint16_t samples, interval, count;
    uint16_t tickMark;
    bool headerDue, ended;
};
Recording rec;

// The earlier file is replaced by the header only once this recording counts: with its first
// sample, or when it ends by itself. One stopped before that leaves it as it was.
bool WriteHeaderOnce() {
    return !std::exchange(rec.headerDue, false) || WriteRecHeader(recActivePath, rec.interval);
}

// One live answer, plotted already: a line when the interval has passed. The recording ends
// with its last sample (no further request: its answer would only be flushed) or a failed write.
bool RecordAnswer() {
    if (RecElapsedSeconds(Timer(), rec.tickMark) >= rec.interval) {
        if (!WriteHeaderOnce() || !WriteRecSample(recActivePath)) {
            ShowRecordFileError(recActivePath);
            stop_flag = 1;
            return false;
        }
        ++rec.count;
        SetCtrlVal(panelPopUp, POPUP_RECCOUNT, static_cast<unsigned>(rec.count));
        SetCtrlVal(panelPopUp, POPUP_RECPROGRESS, static_cast<int>(rec.count));
        rec.tickMark = RecTickMark(Timer());
    }
    if (rec.count < rec.samples) return true;
    stop_flag = 1;
    rec.ended = true;
    return false;
}

} // namespace

int CC_BTNStartRecord(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT || ExchangeBusy()) return 0;
    ExchangeHold exchange(true);
    if (!LiveMayStart()) return 0;
    SetCtrlAttribute(panelHandle, PANEL_RECLOCK, Attr::Dimmed, true);
    SetCtrlAttribute(panelPopUp, POPUP_RECSTART, Attr::Dimmed, true);

    const bool raw = RawSource();
    SetCtrlAttribute(panelHandle, PANEL_RAWCHART, Attr::Visible, raw);
    SetCtrlAttribute(panelHandle, PANEL_NORMCHART, Attr::Visible, !raw);

    SetRecStatus("DATA-RECORDER active ...", kRecActiveBg, kRecActiveFg);

    rec = {};
    rec.samples = static_cast<uint16_t>(CtrlValue(panelPopUp, POPUP_RECSAMPLES));
    rec.interval = static_cast<uint16_t>(CtrlValue(panelPopUp, POPUP_RECINTERVAL));
    rec.headerDue = true;
    CopyText(recActivePath, recfile_name);
    recActive = true;
    SetCtrlVal(panelPopUp, POPUP_RECFILENAME, recActivePath);

    SetCtrlAttribute(panelPopUp, POPUP_RECPROGRESS, Attr::MinValue, 0);
    // An empty range would make the bar a busy indicator: 0 wanted shows as 0 of 1.
    SetCtrlAttribute(panelPopUp, POPUP_RECPROGRESS, Attr::MaxValue, std::max<int>(rec.samples, 1));
    SetCtrlVal(panelPopUp, POPUP_RECPROGRESS, 0);

    // A file that cannot be written ends the recording at once; an empty append changes no byte.
    if (ArrayToFile(recActivePath, "", 0, FileAction::Append) != kFile_Ok) {
        ShowRecordFileError(recActivePath);
        stop_flag = 1;
    } else if (rec.samples == 0) {
        // Nothing to record: no request, and no answer left on the line.
        stop_flag = 1;
        rec.ended = true;
    } else {
        if (SendLiveRequest(TIMEOUT) == FRAME_LEN) ShowStatus("Line Ok!");
        rec.tickMark = RecTickMark(Timer());
        graphrefresh = 0;
        if (LiveCycles(TIMEOUT, RawSource, RecordAnswer) == LiveEnd::Silent) rec.ended = true;
    }
    if (rec.ended && !WriteHeaderOnce()) ShowRecordFileError(recActivePath);

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
