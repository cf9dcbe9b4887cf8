// SPDX-License-Identifier: GPL-3.0-or-later
// The panels' side of the status line, the handles, and the program's file chooser.
#include "panel/panel.h"

#include "runtime/ui.h"

int panelHandle = 0;
int panelPopUp = 0;
char proj_dir[MAX_PATHNAME_LEN] = "";
char szSoftname[64] = "";
char szSoftversion[64] = "";

namespace {

struct Starter {
    bool popup;
    int control;
};
// Every control whose callback writes a request, and the targets, which say where one goes.
constexpr Starter kStarters[] = {
    {false, PANEL_BTNRUN},      {false, PANEL_BTNDATA},       {false, PANEL_BTNSEND},
    {false, PANEL_BTNGET},      {false, PANEL_BUTTONTEACH},   {false, PANEL_BUTTONRESET},
    {false, PANEL_BUTTONREFRESH}, {false, PANEL_DROPDCOM},    {true, POPUP_RECSTART},
    {false, PANEL_RBTRAM},      {false, PANEL_RBTEEPROM},     {false, PANEL_RBTFILE},
};
// The two stop buttons act inside the live loop and a recording, and nowhere else.
constexpr Starter kStoppers[] = {{false, PANEL_BTNSTOP}, {true, POPUP_RECSTOP}};

void Lock(const Starter& s, bool on) {
    SetCtrlAttribute(s.popup ? panelPopUp : panelHandle, s.control, Attr::Locked, on);
}

void ShowOnPanel(const char* text) { SetCtrlVal(panelHandle, PANEL_STATUS, text); }

void HoldOnPanel(bool held, bool stopsHeld) {
    for (const Starter& s : kStarters) Lock(s, held);
    for (const Starter& s : kStoppers) Lock(s, held && stopsHeld);
}

// Whatever uses the panels links this file, and with it the panels' status line.
[[maybe_unused]] const bool kOnPanels = (SetStatusLine({ShowOnPanel, HoldOnPanel}), true);

} // namespace

int CtrlValue(int panel, int control) {
    int value = 0;
    GetCtrlVal(panel, control, value);
    return value;
}

int ChooseFile(const char* defaultFile, const char* filter, const char* title, SelectButton button,
               bool restrictExtension, char (&chosen)[MAX_PATHNAME_LEN]) {
    FileSelectRequest request;
    request.defaultDirectory = proj_dir;
    request.defaultFile = defaultFile;
    request.filter = filter;
    request.title = title;
    request.button = button;
    request.restrictDirectory = false;
    request.restrictExtension = restrictExtension;
    request.allowCancel = true;
    request.allowMakeDirectory = true;
    request.confirmReplace = button != SelectButton::Load;
    return FileSelectPopup(request, chosen);
}
