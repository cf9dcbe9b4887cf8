// SPDX-License-Identifier: GPL-3.0-or-later
// Strip charts and their axes: trace histories, handed to the drawing by the paced refresh.
#include "runtime/ui_strip.h"

#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>

#include "runtime/strip_chart.h"
#include "runtime/ui_refresh.h"
#include "runtime/ui_tables.h"

namespace ui {

namespace {
const int kTraceColours[] = {0xFF0000, 0x0000FF, 0x008000, 0xFF8000, 0x800080, 0x404040, 0x00A0A0, 0x000000};
}

std::unique_ptr<Chart> NewStripChart(int panel, int id) {
    auto ch = std::make_unique<Chart>();
    ch->strip = new StripView;
    ch->strip->setFocusPolicy(Qt::NoFocus); // draws only: Tab passes it by
    ch->ax = new QValueAxis(ch->strip);
    ch->ay = new QValueAxis(ch->strip);
    StripView* v = ch->strip;
    QObject::connect(ch->ax, &QValueAxis::rangeChanged, v, [v](qreal a, qreal b) { v->setXRange(a, b); });
    QObject::connect(ch->ay, &QValueAxis::rangeChanged, v, [v](qreal a, qreal b) { v->setYRange(a, b); });
    QObject::connect(ch->ax, &QValueAxis::titleTextChanged, v,
                     [v](const QString& t) { v->setAxisTitle(Qt::Horizontal, t); });
    QObject::connect(ch->ay, &QValueAxis::titleTextChanged, v,
                     [v](const QString& t) { v->setAxisTitle(Qt::Vertical, t); });
    ch->ax->setRange(0, ch->pps - 1);
    ch->ay->setRange(0, 100);
    SetTraces(*ch, 1);
    ch->panel = panel;
    ch->id = id;
    return ch;
}

void SetTraces(Chart& ch, int n) {
    n = std::clamp(n, 1, 16);
    while (static_cast<int>(ch.traces.size()) < n) {
        Trace t;
        t.colour = kTraceColours[ch.traces.size() % 8];
        t.hist.reserve(ch.pps);
        ch.traces.push_back(std::move(t));
    }
    ch.traces.resize(n);
    ch.strip->setTraceCount(n);
}

int SetPointsPerScreen(Chart& ch, int value) {
    if (value < 2 || value > 100000) return UIE_BAD_VALUE;
    if (value == ch.pps) return 0; // set before every plot
    ch.pps = value;
    ch.ax->setRange(0, value - 1);
    for (Trace& t : ch.traces) {
        if (static_cast<int>(t.hist.size()) > value) t.hist.erase(t.hist.begin(), t.hist.end() - value);
        t.hist.reserve(value);
    }
    ScheduleStrip(ch);
    return 0;
}

} // namespace ui

using namespace ui;

int SetAxisScalingMode(int panel, int control, Axis axis, AxisScaling mode, double min, double max) {
    Chart* ch;
    if (int err = LookupChart(panel, control, ch)) return err;
    (void)mode;
    if (!(min < max) || !std::isfinite(min) || !std::isfinite(max)) return UIE_BAD_VALUE;
    (axis == Axis::XBottom ? ch->autoX : ch->autoY) = false;
    (axis == Axis::XBottom ? ch->ax : ch->ay)->setRange(min, max);
    return 0;
}

int GetAxisRange(int panel, int control, Axis axis, double& min, double& max) {
    Chart* ch;
    if (int err = LookupChart(panel, control, ch)) return err;
    QValueAxis* a = axis == Axis::XBottom ? ch->ax : ch->ay;
    min = a->min();
    max = a->max();
    return 0;
}

int SetTraceAttribute(int panel, int control, int trace, TraceAttr attribute, int value) {
    Chart* ch;
    if (int err = LookupChart(panel, control, ch, CtrlKind::StripChart)) return err;
    if (trace < 1 || trace > static_cast<int>(ch->traces.size())) return UIE_BAD_VALUE;
    if (attribute != TraceAttr::Color) return UIE_BAD_ATTRIBUTE;
    Trace& t = ch->traces[trace - 1];
    if (t.colour == (value & 0xFFFFFF)) return 0;
    t.colour = value & 0xFFFFFF;
    ScheduleStrip(*ch);
    return 0;
}

int GetTraceAttribute(int panel, int control, int trace, TraceAttr attribute, int& value) {
    Chart* ch;
    if (int err = LookupChart(panel, control, ch, CtrlKind::StripChart)) return err;
    if (trace < 1 || trace > static_cast<int>(ch->traces.size())) return UIE_BAD_VALUE;
    if (attribute != TraceAttr::Color) return UIE_BAD_ATTRIBUTE;
    value = ch->traces[trace - 1].colour;
    return 0;
}

int PlotStripChart(int panel, int control, const double* data, int count, int start, int skip) {
    Chart* ch;
    if (int err = LookupChart(panel, control, ch, CtrlKind::StripChart)) return err;
    if (!data || count < 0 || start < 0 || skip < 0) return UIE_BAD_VALUE;
    const int T = static_cast<int>(ch->traces.size());
    const int points = count / T;
    if (points == 0) return 0;
    const int stride = T + skip;
    // Only the last pps points of this call can still be seen.
    const int first = std::max(0, points - ch->pps);
    for (int t = 0; t < T; ++t) {
        Trace& tr = ch->traces[t];
        const int add = points - first;
        const int keep = std::min(static_cast<int>(tr.hist.size()), ch->pps - add);
        if (keep < static_cast<int>(tr.hist.size())) tr.hist.erase(tr.hist.begin(), tr.hist.end() - keep);
        for (int k = first; k < points; ++k) tr.hist.push_back(data[start + static_cast<long>(k) * stride + t]);
    }
    ScheduleStrip(*ch);
    return 0;
}

int GetStripChartTrace(int panel, int control, int trace, std::vector<double>& points) {
    Chart* ch;
    if (int err = LookupChart(panel, control, ch, CtrlKind::StripChart)) return err;
    if (trace < 1 || trace > static_cast<int>(ch->traces.size())) return UIE_BAD_VALUE;
    points = ch->traces[trace - 1].hist;
    return 0;
}

int ClearStripChart(int panel, int control) {
    Chart* ch;
    if (int err = LookupChart(panel, control, ch, CtrlKind::StripChart)) return err;
    for (Trace& t : ch->traces) t.hist.clear();
    ScheduleStrip(*ch);
    return 0;
}
