// SPDX-License-Identifier: GPL-3.0-or-later
// Strip charts and the axes every chart has: traces, their colours, and axis ranges.
#pragma once

#include <vector>

enum class Axis { XBottom, YLeft };
enum class AxisScaling { Manual }; // a graph follows its plots until given a range
int SetAxisScalingMode(int panel, int control, Axis axis, AxisScaling mode, double min, double max);
int GetAxisRange(int panel, int control, Axis axis, double& min, double& max);

enum class TraceAttr { Color };
int SetTraceAttribute(int panel, int control, int trace /*1-based*/, TraceAttr attribute, int value);
int GetTraceAttribute(int panel, int control, int trace, TraceAttr attribute, int& value);

// Appends points to a strip chart. data holds count values interleaved by trace
// (point k, trace t at k * traces + t - 1), taken from index start, skipping skip values
// between points. Each trace keeps the last PointsPerScreen points.
int PlotStripChart(int panel, int control, const double* data, int count, int start, int skip);
// What a strip chart shows now: the points of one trace (1-based), oldest first.
int GetStripChartTrace(int panel, int control, int trace, std::vector<double>& points);
int ClearStripChart(int panel, int control);
