// SPDX-License-Identifier: GPL-3.0-or-later
// Redraw pacing: a numeric display and a strip chart changed 100 times a second for 2 s, and how
// often each was drawn; and how often a lamp set again and again to the same state is drawn.
// Prints one figure a line. Run:  QT_QPA_PLATFORM=offscreen <build>/bin/bench_redraw
#include <QApplication>
#include <QEvent>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

#include "runtime/panel_builder.h"
#include "runtime/timing.h"
#include "runtime/ui.h"

namespace {

enum : int { B_SHOW = 2, B_STRIP, B_LED };

void Build(int panel) {
    auto* lay = new QVBoxLayout(PanelWidget(panel));
    lay->addWidget(AddCtrl(panel, {B_SHOW, CtrlKind::NumericDisplay, "B_SHOW", "Shown"}));
    lay->addWidget(AddCtrl(panel, {B_STRIP, CtrlKind::StripChart, "B_STRIP", "Strip"}));
    lay->addWidget(AddCtrl(panel, {B_LED, CtrlKind::Led, "B_LED", "Led"}));
}

struct CountPaints : QObject {
    int n = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        n += e->type() == QEvent::Paint;
        return false;
    }
};

void PumpEvents(double seconds) {
    for (const double t0 = Timer(); Timer() - t0 < seconds;) ProcessSystemEvents(t0 + seconds);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    RegisterPanelResource("bench.uir", 1, Build, nullptr);
    const int panel = LoadPanel(0, "bench.uir", 1);
    DisplayPanel(panel);
    SetCtrlAttribute(panel, B_STRIP, Attr::NumTraces, 1);
    QWidget* win = PanelWidget(panel);
    CountPaints texts, charts, lamp;
    win->findChild<QWidget*>("B_SHOW")->installEventFilter(&texts);
    win->findChild<QWidget*>("B_STRIP")->installEventFilter(&charts);
    int changes = 0;
    const double seconds = 2.0;
    for (double t0 = Timer(), next = t0; Timer() - t0 < seconds; ProcessSystemEvents()) {
        if (Timer() < next) continue;
        const double point = ++changes;
        SetCtrlVal(panel, B_SHOW, changes);
        PlotStripChart(panel, B_STRIP, &point, 1, 0, 0);
        next += 0.01;
    }
    std::printf("value_changes_per_s %.1f\n", changes / seconds);
    std::printf("display_redraws_per_s %.1f\n", texts.n / seconds);
    std::printf("chart_redraws_per_s %.1f\n", charts.n / seconds);

    SetCtrlVal(panel, B_LED, 0);
    PumpEvents(0.2);
    win->findChild<QWidget*>("B_LED")->installEventFilter(&lamp);
    for (int i = 0; i < 1000; ++i) SetCtrlVal(panel, B_LED, 0);
    PumpEvents(0.2);
    std::printf("led_draws_for_1000_same_state_sets %d\n", lamp.n);
    SetCtrlVal(panel, B_LED, 1);
    PumpEvents(0.2);
    std::printf("led_draws_for_one_change %d\n", lamp.n);
    return 0;
}
