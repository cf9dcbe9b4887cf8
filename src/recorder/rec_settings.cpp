// SPDX-License-Identifier: GPL-3.0-or-later
// Recorder settings: the total recording time shown on the popup, and the record-file chooser.
#include <cstdint>

#include "panel/panel.h"
#include "runtime/ui.h"
#include "recorder/recorder.h"

void CalcRecTime() {
    const auto interval = static_cast<uint16_t>(CtrlValue(panelPopUp, POPUP_RECINTERVAL));
    const auto samples = static_cast<uint16_t>(CtrlValue(panelPopUp, POPUP_RECSAMPLES));
    SetCtrlVal(panelPopUp, POPUP_RECCOUNT, 0u);

    // 65535 x 65535 still fits in 32 bits unsigned.
    uint32_t total = static_cast<uint32_t>(interval) * static_cast<uint32_t>(samples);
    uint32_t days = total / 86400;
    uint32_t rest = total - days * 86400;
    SetCtrlVal(panelPopUp, POPUP_RECDAYS, static_cast<unsigned>(static_cast<uint16_t>(days)));
    uint32_t hours = rest / 3600;
    rest -= hours * 3600;
    SetCtrlVal(panelPopUp, POPUP_RECHOURS, static_cast<unsigned>(static_cast<uint16_t>(hours)));
    uint32_t minutes = rest / 60;
    uint32_t seconds = rest - minutes * 60;
    SetCtrlVal(panelPopUp, POPUP_RECMINUTES, static_cast<unsigned>(static_cast<uint16_t>(minutes)));
    SetCtrlVal(panelPopUp, POPUP_RECSECONDS, static_cast<unsigned>(static_cast<uint16_t>(seconds)));
}

int CC_NEDITRecTime(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) CalcRecTime();
    return 0;
}

int CC_NEDITRecSamples(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) CalcRecTime();
    return 0;
}

int CC_RecordFileNameBtn(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    // An existing file is deleted at once, so the chooser asks before it is taken. It fills a
    // buffer of its own: a cancelled or failed choice keeps the path.
    char chosen[MAX_PATHNAME_LEN] = "";
    ret = ChooseFile("KVEXrecord.dat", "*.dat", "K-VEX-Series Recorder-File:", SelectButton::Ok, true, chosen);
    if (ret != VAL_EXISTING_FILE_SELECTED && ret != VAL_NEW_FILE_SELECTED) return 0;
    CopyText(recfile_name, chosen);
    // The file a running recording writes to stays; the next start replaces it anyway.
    if (ret == VAL_EXISTING_FILE_SELECTED && !RecordingWritesTo(recfile_name)) CVI_DeleteFile(recfile_name);
    // While a recording runs the display names the file being written; the choice shows
    // when that recording ends.
    if (!RecordingActive()) SetCtrlVal(panelPopUp, POPUP_RECFILENAME, recfile_name);
    return 0;
}
