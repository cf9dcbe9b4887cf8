// SPDX-License-Identifier: GPL-3.0-or-later
// The XY graph over Qt Charts: a line series per plot, axes that follow them, and a cursor.
#include "runtime/ui_graph.h"

#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>

#include "runtime/ui_tables.h"

namespace ui {

namespace {

constexpr int kCursorColour = 0xFF00FF;

QList<QAbstractSeries*> CursorSeries(Chart& ch) { return {ch.curV, ch.curH, ch.curM}; }

void EnsureCursorSeries(Chart& ch) {
    if (ch.curV) return;
    ch.curV = new QLineSeries;
    ch.curH = new QLineSeries;
    ch.curM = new QScatterSeries;
    ch.curM->setMarkerSize(11);
    for (QAbstractSeries* s : CursorSeries(ch)) {
        ch.chart->addSeries(s);
        s->attachAxis(ch.ax);
        s->attachAxis(ch.ay);
    }
    QObject::connect(ch.ax, &QValueAxis::rangeChanged, ch.chart, [&ch](qreal, qreal) { UpdateCursor(ch); });
    QObject::connect(ch.ay, &QValueAxis::rangeChanged, ch.chart, [&ch](qreal, qreal) { UpdateCursor(ch); });
    UpdateCursor(ch);
}

// The cursor stays on top of every plot: re-adding its series puts them last in drawing order.
void RaiseCursor(Chart& ch) {
    if (!ch.curV) return;
    for (QAbstractSeries* s : CursorSeries(ch)) {
        ch.chart->removeSeries(s);
        ch.chart->addSeries(s);
        s->attachAxis(ch.ax);
        s->attachAxis(ch.ay);
    }
    UpdateCursor(ch);
}

// The axes follow the plots until a range is set on them.
void AutoScale(Chart& ch) {
    if (!ch.autoX && !ch.autoY) return;
    bool any = false;
    double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    for (auto& [h, p] : ch.plots)
        for (size_t i = 0; i < p.info.x.size(); ++i) {
            double x = p.info.x[i], y = p.info.y[i];
            if (!any) x0 = x1 = x, y0 = y1 = y, any = true;
            x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
    if (!any) return;
    if (x1 <= x0) x1 = x0 + 1;
    if (y1 <= y0) y1 = y0 + 1;
    if (ch.autoX) ch.ax->setRange(x0, x1);
    if (ch.autoY) ch.ay->setRange(y0, y1);
}

} // namespace

std::unique_ptr<Chart> NewGraph() {
    auto ch = std::make_unique<Chart>();
    ch->chart = new QChart;
    ch->chart->legend()->hide();
    ch->chart->setMargins(QMargins(4, 4, 4, 4));
    ch->chart->setBackgroundRoundness(0);
    ch->ax = new QValueAxis;
    ch->ay = new QValueAxis;
    ch->ax->setLabelFormat("%d");
    ch->ay->setLabelFormat("%d");
    ch->chart->addAxis(ch->ax, Qt::AlignBottom);
    ch->chart->addAxis(ch->ay, Qt::AlignLeft);
    ch->view = new QChartView(ch->chart);
    ch->view->setRenderHint(QPainter::Antialiasing, false);
    ch->view->setMinimumSize(200, 120);
    ch->view->setFocusPolicy(Qt::NoFocus); // draws only: Tab passes it by
    ch->ax->setRange(0, 127);
    ch->ay->setRange(0, 100);
    ch->autoX = ch->autoY = true;
    EnsureCursorSeries(*ch);
    return ch;
}

void UpdateCursor(Chart& ch) {
    if (!ch.curV) return;
    const bool show = ch.numCursors > 0 && ch.cursorPlaced;
    ch.curV->setVisible(show);
    ch.curH->setVisible(show);
    ch.curM->setVisible(show);
    if (!show) return;
    double x0 = ch.ax->min(), x1 = ch.ax->max(), y0 = ch.ay->min(), y1 = ch.ay->max();
    if (ch.cursorStyle == 0) { // small cross
        double dx = (x1 - x0) * 0.04, dy = (y1 - y0) * 0.06;
        x0 = ch.cx - dx, x1 = ch.cx + dx, y0 = ch.cy - dy, y1 = ch.cy + dy;
    }
    ch.curV->replace(QList<QPointF>{{ch.cx, y0}, {ch.cx, y1}});
    ch.curH->replace(QList<QPointF>{{x0, ch.cy}, {x1, ch.cy}});
    ch.curM->replace(QList<QPointF>{{ch.cx, ch.cy}});
    QPen pen(Rgb(kCursorColour));
    pen.setWidth(1);
    ch.curV->setPen(pen);
    ch.curH->setPen(pen);
    ch.curM->setColor(Rgb(kCursorColour));
    ch.curM->setBorderColor(Qt::black);
}

} // namespace ui

using namespace ui;

int PlotXY(int panel, int control, const uint16_t* x, const uint16_t* y, int n, PlotStyle style, int colour) {
    Chart* ch;
    if (int err = LookupChart(panel, control, ch, CtrlKind::XYGraph)) return err;
    if (!x || !y || n < 0) return UIE_BAD_VALUE;
    Plot p;
    p.series = new QLineSeries;
    p.info.style = style;
    p.info.colour = colour & 0xFFFFFF;
    QList<QPointF> pts;
    pts.reserve(n);
    for (int i = 0; i < n; ++i) {
        pts.append(QPointF(x[i], y[i]));
        p.info.x.push_back(x[i]);
        p.info.y.push_back(y[i]);
    }
    QPen pen(Rgb(p.info.colour));
    pen.setWidth(style == PlotStyle::FatLine ? 3 : 1);
    if (style == PlotStyle::DashedLine) pen.setStyle(Qt::DashLine);
    p.series->setPen(pen);
    p.series->replace(pts);
    ch->chart->addSeries(p.series);
    p.series->attachAxis(ch->ax);
    p.series->attachAxis(ch->ay);
    const int handle = ch->nextPlot++;
    ch->plots[handle] = std::move(p);
    AutoScale(*ch);
    RaiseCursor(*ch);
    return handle;
}

int DeleteGraphPlot(int panel, int control, int plot, bool drawNow) {
    (void)drawNow; // the chart repaints on its own schedule either way
    Chart* ch;
    if (int err = LookupChart(panel, control, ch, CtrlKind::XYGraph)) return err;
    if (plot == -1) {
        for (auto& [h, p] : ch->plots) {
            ch->chart->removeSeries(p.series);
            delete p.series;
        }
        ch->plots.clear();
        return 0;
    }
    auto it = ch->plots.find(plot);
    if (it == ch->plots.end()) return UIE_BAD_VALUE;
    ch->chart->removeSeries(it->second.series);
    delete it->second.series;
    ch->plots.erase(it);
    return 0;
}

int GetGraphPlots(int panel, int control, std::vector<GraphPlotInfo>& plots) {
    Chart* ch;
    if (int err = LookupChart(panel, control, ch, CtrlKind::XYGraph)) return err;
    plots.clear();
    for (auto& [h, p] : ch->plots) plots.push_back(p.info);
    return 0;
}

int SetGraphCursor(int panel, int control, int cursor, double x, double y) {
    Chart* ch;
    if (int err = LookupChart(panel, control, ch, CtrlKind::XYGraph)) return err;
    if (cursor != 1) return UIE_BAD_VALUE;
    ch->cx = x;
    ch->cy = y;
    ch->cursorPlaced = true;
    UpdateCursor(*ch);
    return 0;
}

int GetGraphCursor(int panel, int control, int cursor, double& x, double& y) {
    Chart* ch;
    if (int err = LookupChart(panel, control, ch, CtrlKind::XYGraph)) return err;
    if (cursor != 1) return UIE_BAD_VALUE;
    x = ch->cx;
    y = ch->cy;
    return 0;
}

int SetCursorAttribute(int panel, int control, int cursor, CursorAttr attribute, int value) {
    Chart* ch;
    if (int err = LookupChart(panel, control, ch, CtrlKind::XYGraph)) return err;
    if (cursor != 1) return UIE_BAD_VALUE;
    if (attribute == CursorAttr::Style) ch->cursorStyle = value ? 1 : 0;
    UpdateCursor(*ch);
    return 0;
}
