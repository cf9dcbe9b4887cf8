// SPDX-License-Identifier: GPL-3.0-or-later
// The panel resource: the two panels and their control numbers. Both panels are built by
// the forms in app/panels.cpp and loaded with LoadPanel(0, kPanelResourceFile, n).
#pragma once

inline constexpr const char* kPanelResourceFile = "KVEXZEP4V20.uir";

// Resource panel numbers.
enum : int { PANEL = 1, POPUP = 2 };

// Main panel controls.
enum : int {
    PANEL_DROPDCOM = 2,
    PANEL_NORMCHART = 3,
    PANEL_RAWCHART = 4,
    PANEL_GRAPHSOURCE = 5,
    PANEL_BTNDATA = 9,
    PANEL_STOPRECENABLE = 11,
    PANEL_RECLOCK = 12,
    PANEL_LOGO = 13,
    PANEL_RBTFILE = 18,
    PANEL_RBTEEPROM = 19,
    PANEL_RBTRAM = 20,
    PANEL_BTNRUN = 22,
    PANEL_HWMODE = 23,
    PANEL_VALUEB = 31,
    PANEL_VALUEA = 32,
    PANEL_ADCB = 33,
    PANEL_ADCA = 34,
    PANEL_BMAX = 35,
    PANEL_AMAX = 36,
    PANEL_TOLVAL = 37,
    PANEL_MAXVALB = 38,
    PANEL_MINVALB = 39,
    PANEL_MINVALA = 40,
    PANEL_MAXVALA = 41,
    PANEL_BRANDBAND = 42,
    PANEL_TOLB = 43,
    PANEL_TOLA = 44,
    PANEL_REFB = 45,
    PANEL_REFA = 46,
    PANEL_HYSTERESIS = 47,
    PANEL_STATUS = 49,
    PANEL_POWERA = 50,
    PANEL_POWERB = 51,
    PANEL_DATAGRAPH = 52,
    PANEL_TOGBTNPARAII = 53,
    PANEL_OUTMODETEXT = 54,
    PANEL_ANAMODETEXT = 55,
    PANEL_EVALMODETEXT = 56,
    PANEL_TRIGMODETEXT = 57,
    PANEL_POWERSWITCH = 58,
    PANEL_INPUTLED8 = 59,
    PANEL_INPUTLED0 = 60,
    // Buttons that act only through their callbacks.
    PANEL_BTNSEND = 61,
    PANEL_BTNGET = 62,
    PANEL_BUTTONTEACH = 63,
    PANEL_BUTTONRESET = 64,
    PANEL_BUTTONREFRESH = 65,
    PANEL_BTNSTOP = 66,
};

// Popup panel controls.
enum : int {
    POPUP_SDELAY = 2,
    POPUP_TRIGMODE = 3,
    POPUP_RECSTART = 12,
    POPUP_RECFILENAME = 13,
    POPUP_MAXMODE = 14,
    POPUP_AVERAGE = 15,
    POPUP_POLARITY = 16,
    POPUP_OUTMODE = 17,
    POPUP_ANAMODE = 18,
    POPUP_HOLD = 19,
    POPUP_EVALMODE = 20,
    POPUP_TRIGLVLA = 21,
    POPUP_TRIGLVLB = 22,
    POPUP_RECCOUNT = 23,
    POPUP_RECSECONDS = 24,
    POPUP_RECMINUTES = 25,
    POPUP_RECHOURS = 26,
    POPUP_RECDAYS = 27,
    POPUP_RECINTERVAL = 28,
    POPUP_RECSAMPLES = 29,
    POPUP_RECSTATUS = 30,
    POPUP_RECSTOP = 31,
    POPUP_RECFILEBTN = 32,
    POPUP_RECPROGRESS = 33, // samples written of samples wanted, while a recording runs
};
