// SPDX-License-Identifier: GPL-3.0-or-later
// The paced refresh: strip charts, numeric displays, lamps and progress bars take their new
// contents in one pass.
//
// Live answers come 25 or more times a second. The strip charts and the numeric displays they
// feed take their new contents in one pass, never two passes closer than kRefreshMs, so the
// window repaints at most at that rate instead of on every answer (laying out and painting
// the large chart and the displays costs more than the live loop itself). Values read back at
// once; only what is drawn lags, by at most kRefreshMs. A hidden chart catches up when shown.
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

struct RefreshQueue {
    QTimer* timer = nullptr;
    bool posted = false;                                       // a pass is queued to run next
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
        QObject::connect(r.timer, &QTimer::timeout, r.timer, [] { RunRefresh(); }); // which stops it
        return r;
    }();
    return q;
}

// A change waits for the next pass at most kRefreshMs. Once the last pass is that old, the pass
// runs as soon as the event loop is back, in the wake-up that brought the change: live answers
// come faster than the pace, so the pass rides on an answer instead of waking the thread in
// between, and a change waits longer than the next answer only when no answer follows.
void RequestRefresh() {
    RefreshQueue& q = Refresh();
    if (q.values.empty() && q.leds.empty() && q.bars.empty() && q.charts.empty()) return;
    if (!q.last.isValid() || q.last.elapsed() >= kRefreshMs) {
        // A queued call, not a timer of 0 ms: Qt may leave such a timer for its next idle pass.
        if (q.posted) return;
        q.posted = true;
        q.timer->stop();
        // A pass run meanwhile from elsewhere took it.
        QMetaObject::invokeMethod(q.timer, [] { if (Refresh().posted) RunRefresh(); }, Qt::QueuedConnection);
    } else if (!q.timer->isActive() && !q.posted) {
        q.timer->start(kRefreshMs);
    }
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
    q.posted = false;
    q.last.start();
    const auto values = std::move(q.values);
    const auto bars = std::move(q.bars);
    const auto charts = std::move(q.charts);
    const auto leds = std::move(q.leds); // a vector moved from is left empty
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
    // A display already waiting for the pass still asks: the pass may be due by now.
    if (v->setPending(value)) Refresh().values.emplace_back(v);
    RequestRefresh();
}

void QueueLed(LedView* v, const QString& css) {
    if (v->setPending(css)) Refresh().leds.emplace_back(v);
    RequestRefresh();
}

void QueueProgress(ProgressView* v, int value) {
    if (v->setPending(value)) Refresh().bars.emplace_back(v);
    RequestRefresh();
}

void ScheduleStrip(Chart& ch) {
    ch.dirty = true;
    if (ch.hidden || ch.panel == 0) return;
    auto& charts = Refresh().charts;
    const std::pair<int, int> key{ch.panel, ch.id};
    if (std::find(charts.begin(), charts.end(), key) == charts.end()) charts.push_back(key);
    RequestRefresh();
}

} // namespace ui
