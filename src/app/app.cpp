// SPDX-License-Identifier: GPL-3.0-or-later
// Application core: the program's entry, the defaults of every run-time variable and the two
// panel callbacks.
#include "app/app.h"

#include <algorithm>
#include <numeric>

#include "branding/logo.h"
#include "link/com232.h"
#include "live/live.h"
#include "params/params.h"
#include "runtime/serial.h"
#include "runtime/ui.h"
#include "recorder/recorder.h"

int WinMain(int argc, char** argv) {
    (void)argc;
    (void)argv;
    RegisterPanels(); // the panel resource; the run-time itself is already up (QApplication)
    panelHandle = LoadPanel(0, kPanelResourceFile, PANEL);
    panelPopUp = LoadPanel(0, kPanelResourceFile, POPUP);
    if (panelHandle < 0 || panelPopUp < 0) return -1; // the program ends: nothing to discard
    GetProjectDir(proj_dir);
    InitVars();
    InitRS232(com); // failures only leave their text on the status line
    DisplayPanel(panelHandle);
    const int code = RunUserInterface(); // what the close of the main panel gives
    CloseCom(com);
    DiscardPanel(panelPopUp);
    DiscardPanel(panelHandle);
    return code;
}

void InitVars() {
    // 1. The parameter variables take their controls' values below (12); the idle band of
    // the normalised chart is the default reference and tolerance.
    ref10Bit = 2048;
    tol10Bit = 512;
    // 2. Link and transfer target; the run state and flags are set by each exchange.
    com = 1;
    com232::sync = 0x55;
    target = RAM;
    ShowTarget(); // the radio buttons say where Send and Get go
    // 3.-5. Texts and the default files; the record file lies beside the program.
    CopyText(szStatus, "InitVars");
    CopyText(file_name, "ZEP4para.cfg");
    MakePathname(proj_dir, "KVexRecord.dat", recfile_name);
    // 6.-7. Recorder file and time.
    SetCtrlVal(panelPopUp, POPUP_RECFILENAME, recfile_name);
    CalcRecTime();
    // 8.-9. Branding.
    CopyText(szSoftname, "K-VEX-ZEP4-Duvez");
    CopyText(szSoftversion, "V2.0");
    ShowLogo(2);
    // 10. Status line.
    SetCtrlVal(panelHandle, PANEL_STATUS, szStatus);
    // 11. The power control that belongs to PANEL_POWERSWITCH = 1.
    SetCtrlAttribute(panelHandle, PANEL_POWERB, Attr::Visible, false);
    SetCtrlAttribute(panelHandle, PANEL_POWERA, Attr::Visible, true);
    // 12. Every parameter variable takes its control's value.
    GetPanelValues();
    // 13. Empty chart histories.
    FillarrayRAW(0, 0);
    FillarrayNORM(tol10Bit, ref10Bit, 0);
    // 14. Data view curves.
    std::iota(std::begin(xArray), std::end(xArray), uint16_t{0});
    std::fill(std::begin(yArrayA), std::end(yArrayA), uint16_t{0});
    std::fill(std::begin(yArrayB), std::end(yArrayB), uint16_t{0});
}

namespace {

void CloseProgram() {
    CloseCom(com);
    QuitUserInterface(0);
}

} // namespace

// A close that comes inside an exchange is acted on when the exchange has ended, so no
// exchange is cut in two; a live loop or a recording ends at its next check.
int CC_PANEL(int panel, int event, void* callbackData, int eventData1, int eventData2) {
    (void)panel, (void)callbackData, (void)eventData1, (void)eventData2;
    if (event == EVENT_CLOSE) {
        stop_flag = 1;
        WhenNoExchange(CloseProgram);
    }
    return 0;
}

int CC_POPUP(int panel, int event, void* callbackData, int eventData1, int eventData2) {
    (void)panel, (void)callbackData, (void)eventData1, (void)eventData2;
    if (event == EVENT_CLOSE) {
        HidePanel(panelPopUp);
        SetCtrlVal(panelHandle, PANEL_TOGBTNPARAII, 0);
    }
    return 0;
}
