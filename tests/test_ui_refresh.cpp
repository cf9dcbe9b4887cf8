// Paced refresh of what live answers change: values read back at once, what is drawn follows
// shortly, and a stream of changes redraws a few times a second rather than on every change.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QVBoxLayout>
#include <QWidget>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/panel_builder.h"
#include "platform/timing.h"
#include "platform/ui.h"
#include "support/harness.h"

namespace {

enum : int { R_SHOW = 2, R_STRIP, R_LED };

void Build(int panel) {
    auto* lay = new QVBoxLayout(PanelWidget(panel));
    lay->addWidget(AddCtrl(panel, {R_SHOW, CtrlKind::NumericDisplay, "R_SHOW", "Shown"}));
    lay->addWidget(AddCtrl(panel, {R_STRIP, CtrlKind::StripChart, "R_STRIP", "Strip"}));
    lay->addWidget(AddCtrl(panel, {R_LED, CtrlKind::Led, "R_LED", "Led"}));
}

int Panel() {
    static int handle = [] {
        RegisterPanelResource("refreshtest.uir", 1, Build, nullptr);
        const int h = LoadPanel(0, "refreshtest.uir", 1);
        DisplayPanel(h);
        return h;
    }();
    return handle;
}

template <class W>
W* Widget(const char* name) {
    return PanelWidget(Panel())->findChild<W*>(name);
}

std::vector<double> Drawn() {
    auto* series = static_cast<QLineSeries*>(Widget<QChartView>("R_STRIP")->chart()->series().at(0));
    std::vector<double> ys;
    for (const QPointF& pt : series->points()) ys.push_back(pt.y());
    return ys;
}

// Changes the display and the chart every 10 ms for a while, like a fast live loop, and counts
// how often each was redrawn.
struct Redraws {
    int texts = 0, charts = 0, changes = 0;
};
Redraws Stream(double seconds, int from) {
    Redraws r;
    auto* le = Widget<QLineEdit>("R_SHOW");
    auto* series = static_cast<QLineSeries*>(Widget<QChartView>("R_STRIP")->chart()->series().at(0));
    QObject ctx;
    QObject::connect(le, &QLineEdit::textChanged, &ctx, [&r] { ++r.texts; });
    QObject::connect(series, &QLineSeries::pointsReplaced, &ctx, [&r] { ++r.charts; });
    const double t0 = Timer();
    double next = t0;
    int v = from;
    while (Timer() - t0 < seconds) {
        if (Timer() >= next) {
            SetCtrlVal(Panel(), R_SHOW, v);
            const double point = v;
            PlotStripChart(Panel(), R_STRIP, &point, 1, 0, 0);
            int back = -1;
            GetCtrlVal(Panel(), R_SHOW, back);
            EXPECT_EQ(back, v); // the value itself is never held back
            ++v;
            ++r.changes;
            next += 0.01;
        }
        ProcessSystemEvents();
    }
    return r;
}

} // namespace

TEST(UiRefresh, DrawnContentsFollowAtAPacedRate) {
    ASSERT_GT(Panel(), 0);
    auto* le = Widget<QLineEdit>("R_SHOW");
    ASSERT_NE(le, nullptr);
    SetCtrlAttribute(Panel(), R_STRIP, Attr::PointsPerScreen, 1000);
    ClearStripChart(Panel(), R_STRIP);

    // A single change shows within a pass or two.
    PumpFor(0.2);
    SetCtrlVal(Panel(), R_SHOW, 4711);
    const double t0 = Timer();
    while (le->text() != "4711" && Timer() - t0 < 1.0) ProcessSystemEvents();
    EXPECT_EQ(le->text(), "4711");
    EXPECT_LT(Timer() - t0, 0.2);

    // A stream of 100 changes a second is drawn about every 80 ms, ending on the newest.
    const Redraws r = Stream(1.0, 1);
    EXPECT_GT(r.changes, 60);
    EXPECT_GE(r.texts, 5);
    EXPECT_LE(r.texts, 20);
    EXPECT_GE(r.charts, 5);
    EXPECT_LE(r.charts, 20);
    PumpFor(0.15);
    EXPECT_EQ(le->text().toStdString(), std::to_string(r.changes));
    std::vector<double> model;
    GetStripChartTrace(Panel(), R_STRIP, 1, model);
    EXPECT_EQ(static_cast<int>(model.size()), r.changes);
    EXPECT_EQ(Drawn(), model);

    // An image of the panel shows the newest values even before any event pass.
    SetCtrlVal(Panel(), R_SHOW, 99);
    const std::string path = ::testing::TempDir() + "refresh_panel.png";
    EXPECT_EQ(SavePanelImage(Panel(), path.c_str()), 0);
    EXPECT_EQ(le->text(), "99");
    std::remove(path.c_str());
}

// Live answers set the LEDs every time; only a change of state may restyle (and repaint) one.
TEST(UiRefresh, LedRestyledOnlyWhenItsStateChanges) {
    ASSERT_GT(Panel(), 0);
    auto* led = PanelWidget(Panel())->findChild<QWidget*>("R_LED");
    ASSERT_NE(led, nullptr);
    struct CountStyle : QObject {
        int n = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::StyleChange) ++n;
            return false;
        }
    } restyles;
    SetCtrlVal(Panel(), R_LED, 0);
    led->installEventFilter(&restyles);
    for (int i = 0; i < 5; ++i) SetCtrlVal(Panel(), R_LED, 0);
    EXPECT_EQ(restyles.n, 0);
    SetCtrlVal(Panel(), R_LED, 1);
    EXPECT_GT(restyles.n, 0);
    int v = -1;
    GetCtrlVal(Panel(), R_LED, v);
    EXPECT_EQ(v, 1);
    led->removeEventFilter(&restyles);
}
