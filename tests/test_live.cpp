// Live view: history arithmetic, band and display of one plot, the live loop and the scope
// view against the simulated controller.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "app/app.h"
#include "app/panels.h"
#include "link/com232.h"
#include "live/live.h"
#include "params/params.h"
#include "platform/serial.h"
#include "support/harness.h"

namespace {

using V = std::vector<double>;

V NewestNorm() { // traces 1..6 of the normalised chart's newest point
    V out;
    for (int t = 1; t <= 6; ++t) {
        V points;
        GetStripChartTrace(panelHandle, PANEL_NORMCHART, t, points);
        out.push_back(points.empty() ? -1 : points.back());
    }
    return out;
}
int Colour(int control, int trace) {
    int c = -1;
    GetTraceAttribute(panelHandle, control, trace, TraceAttr::Color, c);
    return c;
}
int Attrib(int control, Attr a = Attr::Dimmed) { return CtrlAttr(panelHandle, control, a); }
int Val(int control) { return CtrlInt(panelHandle, control); }
// History points never overwritten by a plot still hold the -1 seed.
int Plotted(const double* history, int traces, int trace) {
    int n = 0;
    for (int k = 0; k < 100; ++k) n += history[k * traces + trace - 1] != -1.0;
    return n;
}

// Receive hook: the real receive path, then the test's action for the n-th answer.
std::function<void(int)> onAnswer;
int answers = 0;
void HookedReceive(int port, int events, void* data) {
    RX_Receive_Function(port, events, data);
    if (onAnswer) onAnswer(++answers);
}

} // namespace

TEST(LiveArrays, ShiftCopyAndSeeds) {
    double a[200];
    for (int i = 0; i < 200; ++i) a[i] = i + 1;
    EXPECT_EQ(Shift(a, 200, -2, a), 0);
    EXPECT_EQ(V(a, a + 3), (V{3, 4, 5}));
    EXPECT_EQ(V(a + 196, a + 200), (V{199, 200, 0, 0}));
    double b[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(Shift(b, 6, 2, b), 0);
    EXPECT_EQ(V(b, b + 6), (V{0, 0, 1, 2, 3, 4}));
    EXPECT_EQ(Shift(b, 6, 6, b), -20102);
    EXPECT_EQ(Shift(b, 6, -7, b), -20102);
    EXPECT_EQ(Shift(b, 0, 1, b), -20003);
    EXPECT_EQ(Copy1D(b, 0, a), -20003);
    EXPECT_EQ(Shift(b, 6, 0, a), 0);
    EXPECT_EQ(V(a, a + 6), (V{0, 0, 1, 2, 3, 4})); // failed calls changed nothing

    for (int k = 0; k < 100; ++k) arrayNORM[6 * k + 5] = 7.0;
    FillarrayNORM(512, 2048, 0);
    for (int k = 0; k < 100; ++k)
        ASSERT_EQ(V(arrayNORM + 6 * k, arrayNORM + 6 * k + 6), (V{2560, 1536, 2048, 0, 0, 7}));
    FillarrayNORM(600, 500, 0);
    EXPECT_EQ(arrayNORM[1], -100.0);
    arrayRAW[17] = 5;
    FillarrayRAW(0, 0);
    EXPECT_EQ(std::count(arrayRAW, arrayRAW + 200, 0.0), 200);
}

TEST(LiveArrays, DecodeWordOrderAndIndexClamp) {
    for (int i = 0; i < 16; ++i) pp[i] = static_cast<uint16_t>(100 + i);
    pp[0] = 65535;
    DecodeLiveAnswer();
    EXPECT_EQ(valNORMA, 65535);
    const int got[] = {valNORMB, adcCHA, adcCHB, Amax,   Bmax,    MAXvalA, MAXvalB, MINvalA,
                       MINvalB,  tolval, btnval, inputs, valDIFF, indexA,  indexB};
    for (int i = 1; i < 16; ++i) EXPECT_EQ(got[i - 1], 100 + i) << "word " << i;
    for (auto [in, out] : {std::pair{0, 1}, {1, 1}, {128, 128}, {129, 128}, {65535, 128}}) {
        pp[14] = pp[15] = static_cast<uint16_t>(in);
        DecodeLiveAnswer();
        EXPECT_EQ(indexA, out);
        EXPECT_EQ(indexB, out);
    }
}

class LivePlot : public ::testing::Test {
protected:
    void SetUp() override {
        ResetFrontEnd();
        std::fill(pp, pp + PNUM, 0);
        SetCtrlVal(panelHandle, PANEL_HWMODE, 0);
        evalmode = anamode = 0;
    }
    void Plot(int source, bool norm = true) {
        SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, source);
        norm ? PlotNORMValues(arrayNORM) : PlotRAWValues();
    }
};

TEST_F(LivePlot, BandClampsToleranceSourceAndColours) {
    refA = 800, tolA = 300, pp[0] = 640;
    Plot(2);
    EXPECT_EQ(NewestNorm(), (V{1000, 500, 800, 1005, 1005, 640}));
    EXPECT_EQ(valREF, 800);
    const int colours[] = {VAL_DK_GREEN, VAL_DK_GREEN, VAL_BLACK, VAL_RED, VAL_RED, VAL_RED};
    for (int t = 1; t <= 6; ++t) EXPECT_EQ(Colour(PANEL_NORMCHART, t), colours[t - 1]);
    refA = 100, tolA = 200;
    Plot(2);
    EXPECT_EQ(loTHR, 1);
    EXPECT_EQ(upTHR, 300);

    // Hardware mode 1: the controller's tolerance for both channels, read at each plot.
    SetCtrlVal(panelHandle, PANEL_HWMODE, 1);
    pp[10] = 50, refB = 400, tolB = 100, pp[1] = 420;
    Plot(3);
    EXPECT_EQ(NewestNorm(), (V{450, 350, 400, 1005, 1005, 420}));
    EXPECT_EQ(Colour(PANEL_NORMCHART, 6), VAL_DK_GRAY);
    Plot(2);
    EXPECT_EQ(upTHR, 150);

    // Evaluation mode 3: the difference value in cyan inside channel A's band; markers.
    SetCtrlVal(panelHandle, PANEL_HWMODE, 2);
    refA = 500, tolA = 100, evalmode = 3, anamode = 3;
    pp[13] = 77, pp[7] = 710, pp[9] = 290; // valDIFF, MAXvalB, MINvalB
    Plot(3);
    EXPECT_EQ(NewestNorm(), (V{600, 400, 500, 710, 290, 77}));
    EXPECT_EQ(Colour(PANEL_NORMCHART, 6), VAL_CYAN);
    anamode = 2;
    Plot(3);
    EXPECT_EQ(NewestNorm()[3], 290);
}

TEST_F(LivePlot, RawPointsDisplaysAndLeds) {
    pp[0] = 611, pp[1] = 422, pp[2] = 4095, pp[3] = 17;
    SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 0);
    ApplyGraphSource();
    double lo = -1, hi = -1;
    GetAxisRange(panelHandle, PANEL_RAWCHART, Axis::YLeft, lo, hi);
    EXPECT_EQ(hi, 4096);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(Attrib(PANEL_NORMCHART, Attr::Visible), 0);
    const int cases[][5] = {// source, newest trace 1, trace 2, colour 1, colour 2
        {0, 4095, 17, VAL_BLUE, VAL_GREEN}, {1, 611, 422, VAL_RED, VAL_DK_GRAY}, {3, 0, 0, VAL_RED, VAL_DK_GRAY}};
    for (auto [source, y1, y2, c1, c2] : cases) {
        pp[4] = static_cast<uint16_t>(1000 + source); // Amax
        Plot(source, false);
        EXPECT_EQ(Val(PANEL_AMAX), 1000 + source); // displays refreshed whatever the source
        EXPECT_EQ(arrayRAW[198], y1) << source;
        EXPECT_EQ(arrayRAW[199], y2) << source;
        V t1;
        GetStripChartTrace(panelHandle, PANEL_RAWCHART, 1, t1);
        EXPECT_EQ(t1.back(), y1) << source;
        EXPECT_EQ(Colour(PANEL_RAWCHART, 1), c1);
        EXPECT_EQ(Colour(PANEL_RAWCHART, 2), c2);
    }
    const int leds[][3] = {{0x0001, 1, 0}, {0x0003, 1, 0}, {0x0100, 0, 1},
                           {0x0003, 0, 1}, {0x0101, 1, 1}, {0x0000, 0, 0}};
    for (auto [in, led0, led8] : leds) {
        pp[12] = static_cast<uint16_t>(in);
        PlotRAWValues();
        EXPECT_EQ(Val(PANEL_INPUTLED0), led0) << std::hex << in;
        EXPECT_EQ(Val(PANEL_INPUTLED8), led8) << std::hex << in;
    }
}

class LiveLoop : public ::testing::Test {
protected:
    void SetUp() override {
        host = StartSim(zep4sim::defaultOptions());
        StartFrontEnd();
        host->clearRequests();
    }
    void TearDown() override { onAnswer = nullptr; }
    void Run(std::function<void(int)> hook) {
        answers = 0;
        onAnswer = std::move(hook);
        InstallComCallback(com, eventMask, FRAME_LEN, sync, HookedReceive, nullptr);
        CallCtrlCallback(panelHandle, PANEL_BTNRUN, EVENT_COMMIT);
    }
    int LiveRequests() const {
        int n = 0;
        for (const auto& r : host->requests()) n += r.order == ORD_LIVE && r.words[0] == 0;
        return n;
    }
    std::vector<GraphPlotInfo> DataView(int source) {
        SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, source);
        CallCtrlCallback(panelHandle, PANEL_BTNDATA, EVENT_COMMIT);
        std::vector<GraphPlotInfo> plots;
        GetGraphPlots(panelHandle, PANEL_DATAGRAPH, plots);
        return plots;
    }
    std::unique_ptr<zep4sim::PtyHost> host;
};

TEST_F(LiveLoop, EachAnswerPlottedOnceAndStopDropsPendingAnswer) {
    SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 2);
    for (int k = 0; k < 100; ++k) arrayNORM[6 * k + 5] = -1.0;
    // Stop runs between answer 21's arrival and its plot.
    Run([](int n) {
        if (n == 21) CallCtrlCallback(panelHandle, PANEL_BTNSTOP, EVENT_COMMIT);
    });
    EXPECT_EQ(answers, 21);
    EXPECT_EQ(Plotted(arrayNORM, 6, 6), 20);
    for (int k = 80; k < 100; ++k) { // the controller's valNORMA, not request words
        EXPECT_GE(arrayNORM[6 * k + 5], 350);
        EXPECT_LE(arrayNORM[6 * k + 5], 850);
    }
    PumpFor(0.3);
    EXPECT_EQ(LiveRequests(), 21); // each with parameter set 0
    EXPECT_EQ(StatusText(), "Line Ok!");
    EXPECT_EQ(stop_flag, 1);
    EXPECT_EQ(Attrib(PANEL_BTNRUN) + Attrib(PANEL_BTNDATA), 0);
    EXPECT_EQ(arrayNORM[0], 2560.0); // idle band back
}

TEST_F(LiveLoop, GraphSourceChangeDuringRun) {
    SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 2);
    for (int k = 0; k < 100; ++k) arrayNORM[6 * k + 5] = -1.0;
    FillarrayRAW(-1, -1);
    Run([](int n) {
        if (n == 5) OperateCtrl(panelHandle, PANEL_GRAPHSOURCE, 1);
        if (n == 13) stop_flag = 1; // as closing the panel does: answer 13 stays unplotted
    });
    EXPECT_EQ(Plotted(arrayNORM, 6, 6), 4);
    EXPECT_EQ(Plotted(arrayRAW, 2, 1), 8);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(Attrib(PANEL_RAWCHART, Attr::Visible), 1);
    EXPECT_EQ(Attrib(PANEL_NORMCHART, Attr::Visible), 0);
    EXPECT_GE(arrayRAW[198], 350); // valNORMA
}

TEST_F(LiveLoop, SilentControllerTimesOut) {
    host->setFaults(MakeFaults(&zep4sim::Faults::silent, true));
    const double t0 = Timer();
    Run(nullptr);
    EXPECT_GT(Timer() - t0, 1.95); // the status text and the upper bound: the fault matrix
    EXPECT_EQ(Attrib(PANEL_BTNRUN), 0);
    EXPECT_EQ(Attrib(PANEL_BTNDATA), 1);
    EXPECT_EQ(LiveRequests(), 1);
}

TEST_F(LiveLoop, ScopeViewPerGraphSource) {
    refA = 500, tolA = 100, refB = 400, tolB = 50, evalmode = 6;
    const PlotStyle thin = PlotStyle::ThinLine, fat = PlotStyle::FatLine, dash = PlotStyle::DashedLine;
    struct Want { PlotStyle style; int colour; const uint16_t* y; };
    const Want up{thin, VAL_BLACK, upArray}, lo{thin, VAL_BLACK, loArray}, ref{dash, VAL_BLACK, refArray};
    const std::vector<Want> want[] = {{{fat, VAL_GREEN, yArrayA}, {fat, VAL_BLUE, yArrayB}},
                                      {up, lo, {fat, VAL_RED, yArrayA}, {fat, VAL_DK_GRAY, yArrayB}, ref},
                                      {up, lo, {fat, VAL_RED, yArrayA}, ref},
                                      {up, lo, {fat, VAL_DK_GRAY, yArrayB}, ref}};
    const int bands[][3] = {{0, 0, 0}, {600, 400, 500}, {600, 400, 500}, {450, 350, 400}};
    for (int v = 0; v < 4; ++v) {
        SCOPED_TRACE(v);
        host->clearRequests();
        const auto plots = DataView(v);
        EXPECT_EQ(Attrib(PANEL_DATAGRAPH, Attr::Visible) - Attrib(PANEL_NORMCHART, Attr::Visible), 1);
        EXPECT_EQ(Attrib(PANEL_BTNDATA), 0);
        int kinds = 0; // data requests asking for the block kind of this source
        for (const auto& r : host->requests()) kinds += r.order == ORD_DATA64 && r.words[1] == (v == 0 ? 0 : 1);
        EXPECT_EQ(kinds, 4);
        std::string yName;
        GetCtrlAttribute(panelHandle, PANEL_DATAGRAPH, Attr::YName, yName);
        EXPECT_EQ(yName, v == 0 ? "RAW-values / [ADC-units]" : "NORM=1000*(A/Amax)");
        ASSERT_EQ(plots.size(), want[v].size());
        for (size_t p = 0; p < plots.size(); ++p) {
            EXPECT_EQ(plots[p].style, want[v][p].style) << p;
            EXPECT_EQ(plots[p].colour, want[v][p].colour) << p;
            ASSERT_EQ(plots[p].y, V(want[v][p].y, want[v][p].y + 128)) << p;
            EXPECT_EQ(plots[p].x[127], 127);
        }
        EXPECT_EQ(*std::max_element(yArrayA, yArrayA + 128) > 1000, v == 0); // raw or normalised
        if (v == 0) continue;
        EXPECT_EQ(V({double(upArray[0]), double(loArray[127]), double(refArray[64])}),
                  V(bands[v], bands[v] + 3));
        const uint16_t index = v == 3 ? indexB : indexA;
        double x = -1, y = -1;
        GetGraphCursor(panelHandle, PANEL_DATAGRAPH, 1, x, y);
        EXPECT_EQ(x, index);
        EXPECT_EQ(y, (v == 3 ? yArrayB : yArrayA)[index]);
        EXPECT_EQ(Val(PANEL_VALUEA), MINvalA);
    }
}

// A missing block flattens both curves, an overlong one only its own place; either way the
// status says the curves are incomplete rather than "received".
TEST_F(LiveLoop, ScopeViewWithAMissingOrOverlongBlockSaysSo) {
    host->setFaults(MakeFaults(&zep4sim::Faults::silentAfter, 4)); // live answer, 3 blocks
    const auto plots = DataView(2);
    ASSERT_EQ(plots.size(), 4u);
    EXPECT_EQ(plots[2].y, V(128, 0.0));
    EXPECT_EQ(std::count(yArrayB, yArrayB + 128, 0), 128);
    EXPECT_EQ(StatusText(), "Data view incomplete: 1 of 4 blocks missing!");

    PumpFor(0.1);
    host->setFaults(MakeFaults(&zep4sim::Faults::overlongBy, 3));
    std::fill(yArrayA, yArrayA + 128, uint16_t{777}); // an earlier view's samples
    DataView(2);
    EXPECT_EQ(std::count(yArrayA, yArrayA + 128, 777), 0);
    EXPECT_EQ(StatusText(), "Data view incomplete: 4 of 4 blocks missing!");
}

TEST_F(LiveLoop, ScopeViewWithoutLiveAnswerKeepsLiveValues) {
    host->setFaults(MakeFaults(&zep4sim::Faults::silentOrders, std::set<int>{ORD_LIVE}));
    adcCHA = 4321;
    const auto plots = DataView(2);
    EXPECT_EQ(adcCHA, 4321); // the request's own words are not taken for live values
    ASSERT_EQ(plots.size(), 4u);
    EXPECT_GT(*std::max_element(plots[2].y.begin(), plots[2].y.end()), 0.0); // blocks still read
}
