// SPDX-License-Identifier: GPL-3.0-or-later
// The XY graph: line plots by handle, and its cursor.
#pragma once

#include <cstdint>
#include <vector>

enum class PlotStyle { ThinLine, FatLine, DashedLine };
// Draws one line through n points; returns a plot handle (> 0) or a negative error.
int PlotXY(int panel, int control, const uint16_t* x, const uint16_t* y, int n, PlotStyle style,
           int colour);
// plot -1 deletes every plot of the graph.
int DeleteGraphPlot(int panel, int control, int plot, bool drawNow);
struct GraphPlotInfo {
    std::vector<double> x, y;
    PlotStyle style;
    int colour;
};
int GetGraphPlots(int panel, int control, std::vector<GraphPlotInfo>& plots);

enum class CursorAttr { Style /* 0 cross, 1 full crosshair */ };
int SetGraphCursor(int panel, int control, int cursor /*1-based*/, double x, double y);
int GetGraphCursor(int panel, int control, int cursor, double& x, double& y);
int SetCursorAttribute(int panel, int control, int cursor, CursorAttr attribute, int value);
