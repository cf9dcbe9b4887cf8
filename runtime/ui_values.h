// SPDX-License-Identifier: GPL-3.0-or-later
// Control values and attributes: what a control holds, and how it looks and where it sits.
#pragma once

#include <cstdint>
#include <string>

int GetCtrlVal(int panel, int control, int& value);
int GetCtrlVal(int panel, int control, uint16_t& value); // low 16 bits of the control's value
int GetCtrlVal(int panel, int control, double& value);
int GetCtrlVal(int panel, int control, std::string& value); // text displays, text boxes, rings' labels
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, unsigned int value);
int SetCtrlVal(int panel, int control, double value);
int SetCtrlVal(int panel, int control, const char* text);
inline int SetCtrlVal(int panel, int control, const std::string& text) {
    return SetCtrlVal(panel, control, text.c_str());
}

enum class Attr {
    Dimmed,          // int 0/1
    Locked,          // int 0/1: held off while an exchange runs; dimmed on top of Dimmed
    Visible,         // int 0/1
    LabelText,       // text
    TextBgColor,     // int RGB
    TextColor,       // int RGB
    FrameColor,      // int RGB: colour of a decoration / coloured area
    Top,             // int pixels
    Left,            // int pixels
    Width,           // int pixels
    TextFont,        // text: font family ("NIApp" = the application font)
    TextBold,        // int 0/1
    TextPointSize,   // int points
    PointsPerScreen, // int, set only: strip chart points shown across the chart
    NumTraces,       // int, set only: strip chart traces
    RefreshGraph,    // int 0/1, set only: taken; charts redraw at the paced refresh either way
    YName,           // text: y-axis name of a chart
    NumCursors,      // int, set only: cursors shown on an XY graph (0 hides them)
    MinValue,        // int: lowest value a numeric control / progress bar takes
    MaxValue,        // int: highest value a numeric control / progress bar takes
};
int SetCtrlAttribute(int panel, int control, Attr attribute, int value);
int SetCtrlAttribute(int panel, int control, Attr attribute, const char* text);
int GetCtrlAttribute(int panel, int control, Attr attribute, int& value);
int GetCtrlAttribute(int panel, int control, Attr attribute, std::string& text);
