// SPDX-License-Identifier: GPL-3.0-or-later
// Redraw pacing: a numeric display and a strip chart changed 100 times a second for 2 s, and how
// often each was drawn; and how often an LED set again and again to the same state is restyled.
// Prints one figure a line. Run:  QT_QPA_PLATFORM=offscreen <build>/bin/bench_redraw
#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>

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

struct CountStyle : QObject {
    int n = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        n += e->type() == QEvent::StyleChange;
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    RegisterPanelResource("bench.uir", 1, Build, nullptr);
    const int panel = LoadPanel(0, "bench.uir", 1);
    DisplayPanel(panel);
    SetCtrlAttribute(panel, B_STRIP, Attr::NumTraces, 1);
    QWidget* win = PanelWidget(panel);
    auto* text = win->findChild<QLineEdit*>("B_SHOW");
    auto* series = static_cast<QLineSeries*>(win->findChild<QChartView*>("B_STRIP")->chart()->series().at(0));
    int texts = 0, charts = 0, changes = 0;
    QObject::connect(text, &QLineEdit::textChanged, [&] { ++texts; });
    QObject::connect(series, &QLineSeries::pointsReplaced, [&] { ++charts; });
    const double seconds = 2.0;
    for (double t0 = Timer(), next = t0; Timer() - t0 < seconds; ProcessSystemEvents()) {
        if (Timer() < next) continue;
        const double point = ++changes;
        SetCtrlVal(panel, B_SHOW, changes);
        PlotStripChart(panel, B_STRIP, &point, 1, 0, 0);
        next += 0.01;
    }
    std::printf("value_changes_per_s %.1f\n", changes / seconds);
    std::printf("display_redraws_per_s %.1f\n", texts / seconds);
    std::printf("chart_redraws_per_s %.1f\n", charts / seconds);

    CountStyle restyles;
    SetCtrlVal(panel, B_LED, 0);
    win->findChild<QWidget*>("B_LED")->installEventFilter(&restyles);
    for (int i = 0; i < 1000; ++i) SetCtrlVal(panel, B_LED, 0);
    std::printf("led_restyles_for_1000_same_state_sets %d\n", restyles.n);
    SetCtrlVal(panel, B_LED, 1);
    std::printf("led_restyles_for_one_change %d\n", restyles.n);
    return 0;
}
