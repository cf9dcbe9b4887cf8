// SPDX-License-Identifier: GPL-3.0-or-later
// The paced refresh: strip charts, numeric displays, lamps and progress bars take their new
// contents in one pass.
//
// Live answers come 25 or more times a second. The strip charts and the numeric displays they
// feed take their new contents in one pass, at most every kRefreshMs while changes keep
// coming, so the window repaints at that rate instead of on every answer (laying out and
// painting the large chart and the displays costs more than the live loop itself). Values
// read back at once; only what is drawn lags, by less than kRefreshMs. A hidden chart catches
// up when shown.
#include "runtime/ui_refresh.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <algorithm>

#include "runtime/strip_chart.h"
#include "runtime/ui_tables.h"
#include "runtime/value_view.h"

namespace ui {

namespace {

constexpr int kRefreshMs = 80;
constexpr int kStripBatchMs = 15; // plots close together share one update

struct RefreshQueue {
    QTimer* timer = nullptr;
    QElapsedTimer last;                                        // the last refresh pass
    std::vector<std::pair<int, int>> charts;                   // panel, control
    std::vector<QPointer<ValueView>> values;                   // displays with a new number
    std::vector<QPointer<ProgressView>> bars;                  // progress bars with a new value
    std::vector<QPointer<LedView>> leds;                       // lamps with a new look
};

RefreshQueue& Refresh() {
    static RefreshQueue q = [] {
        RefreshQueue r;
        r.timer = new QTimer;
        r.timer->setSingleShot(true);
        QObject::connect(r.timer, &QTimer::timeout, r.timer, [] { RunRefresh(); });
        return r;
    }();
    return q;
}

void RequestRefresh(int batchMs) {
    RefreshQueue& q = Refresh();
    if (q.timer->isActive()) return; // the pass already planned takes this change too
    qint64 wait = batchMs;
    if (q.last.isValid()) wait = std::max<qint64>(wait, kRefreshMs - q.last.elapsed());
    q.timer->start(static_cast<int>(wait));
}

void FlushStrip(Chart& ch) {
    if (!ch.dirty || ch.hidden) return;
    ch.dirty = false;
    for (size_t i = 0; i < ch.traces.size(); ++i) ch.strip->setTrace(int(i), ch.traces[i].hist, ch.traces[i].colour);
    ch.strip->redrawLines();
}

} // namespace

void RunRefresh() {
    RefreshQueue& q = Refresh();
    q.timer->stop();
    q.last.start();
    const auto values = std::move(q.values);
    const auto bars = std::move(q.bars);
    const auto charts = std::move(q.charts);
    const auto leds = std::move(q.leds);
    q.values.clear();
    q.bars.clear();
    q.charts.clear();
    q.leds.clear();
    for (const auto& v : values)
        if (v) v->showPending();
    for (const auto& l : leds)
        if (l) l->showPending();
    for (const auto& b : bars)
        if (b) b->showPending();
    for (const auto& [panel, id] : charts) {
        Ctrl* c = FindCtrl(panel, id); // the panel may have been discarded meanwhile
        if (c && c->chart) FlushStrip(*c->chart);
    }
}

void QueueValue(ValueView* v, double value) {
    if (!v->setPending(value)) return;
    Refresh().values.emplace_back(v);
    RequestRefresh(0);
}

void QueueLed(LedView* v, const QString& css) {
    if (!v->setPending(css)) return;
    Refresh().leds.emplace_back(v);
    RequestRefresh(0);
}

void QueueProgress(ProgressView* v, int value) {
    if (!v->setPending(value)) return;
    Refresh().bars.emplace_back(v);
    RequestRefresh(0);
}

void ScheduleStrip(Chart& ch) {
    ch.dirty = true;
    if (ch.hidden || ch.panel == 0) return;
    auto& charts = Refresh().charts;
    const std::pair<int, int> key{ch.panel, ch.id};
    if (std::find(charts.begin(), charts.end(), key) == charts.end()) charts.push_back(key);
    RequestRefresh(kStripBatchMs);
}

} // namespace ui
