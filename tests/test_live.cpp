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

double Newest(int control, int trace) {
    std::vector<double> points;
    GetStripChartTrace(panelHandle, control, trace, points);
    return points.empty() ? -99999.0 : points.back();
}
int TraceColour(int control, int trace) {
    int c = -1;
    GetTraceAttribute(panelHandle, control, trace, TraceAttr::Color, c);
    return c;
}
int Ctrl(int control, Attr a = Attr::Dimmed) {
    int v = -1;
    GetCtrlAttribute(panelHandle, control, a, v);
    return v;
}
int Val(int control) {
    int v = -1;
    GetCtrlVal(panelHandle, control, v);
    return v;
}
// Plot entries that were never overwritten by a plot still hold the -1 seed.
int PlottedPoints(const double* history, int traces, int trace) {
    int n = 0;
    for (int k = 0; k < 100; ++k) n += history[k * traces + trace - 1] != -1.0;
    return n;
}
int LiveRequests(const zep4sim::PtyHost& host) {
    int n = 0;
    for (const auto& r : host.requests()) n += r.order == ORD_LIVE;
    return n;
}

// Receive hook: the real receive path, then the test's action for the n-th answer.
std::function<void(int)> onAnswer;
int answers = 0;
void HookedReceive(int port, int events, void* data) {
    RX_Receive_Function(port, events, data);
    if (onAnswer) onAnswer(++answers);
}
void InstallHook(std::function<void(int)> f) {
    answers = 0;
    onAnswer = std::move(f);
    InstallComCallback(com, eventMask, FRAME_LEN, sync, HookedReceive, nullptr);
}

} // namespace

TEST(LiveArrays, ShiftAndCopyEdges) {
    double a[200];
    for (int i = 0; i < 200; ++i) a[i] = i + 1;
    EXPECT_EQ(Shift(a, 200, -2, a), 0);
    for (int i = 0; i < 198; ++i) ASSERT_EQ(a[i], i + 3);
    EXPECT_EQ(a[198], 0.0);
    EXPECT_EQ(a[199], 0.0);

    double b[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(Shift(b, 6, 2, b), 0);
    EXPECT_EQ(std::vector<double>(b, b + 6), (std::vector<double>{0, 0, 1, 2, 3, 4}));
    EXPECT_EQ(Shift(b, 6, 6, b), -20102);
    EXPECT_EQ(Shift(b, 6, -7, b), -20102);
    EXPECT_EQ(Shift(b, 0, 1, b), -20003);
    EXPECT_EQ(Copy1D(b, 0, a), -20003);
    EXPECT_EQ(std::vector<double>(b, b + 6), (std::vector<double>{0, 0, 1, 2, 3, 4}));
    EXPECT_EQ(Shift(b, 6, 0, a), 0);
    EXPECT_EQ(std::vector<double>(a, a + 6), (std::vector<double>{0, 0, 1, 2, 3, 4}));
}

TEST(LiveArrays, SeedsAndDecode) {
    for (int k = 0; k < 100; ++k) arrayNORM[6 * k + 5] = 7.0;
    FillarrayNORM(512, 2048, 0);
    for (int k = 0; k < 100; ++k)
        ASSERT_EQ(std::vector<double>(arrayNORM + 6 * k, arrayNORM + 6 * k + 6),
                  (std::vector<double>{2560, 1536, 2048, 0, 0, 7}));
    FillarrayNORM(600, 500, 0);
    EXPECT_EQ(arrayNORM[1], -100.0);
    arrayRAW[17] = 5;
    FillarrayRAW(0, 0);
    for (double v : arrayRAW) ASSERT_EQ(v, 0.0);

    for (int i = 0; i < 16; ++i) pp[i] = static_cast<uint16_t>(100 + i);
    pp[0] = 65535;
    DecodeLiveAnswer();
    EXPECT_EQ(valNORMA, 65535);
    const int got[] = {valNORMB, adcCHA, adcCHB, Amax, Bmax, MAXvalA, MAXvalB, MINvalA,
                       MINvalB, tolval, btnval, inputs, valDIFF, indexA, indexB};
    for (int i = 1; i < 16; ++i) EXPECT_EQ(got[i - 1], 100 + i) << "word " << i;
    const uint16_t cases[][2] = {{0, 1}, {1, 1}, {128, 128}, {129, 128}, {65535, 128}};
    for (auto [in, out] : cases) {
        pp[14] = pp[15] = in;
        DecodeLiveAnswer();
        EXPECT_EQ(indexA, out);
        EXPECT_EQ(indexB, out);
    }
}

class LivePlot : public ::testing::Test {
protected:
    void SetUp() override {
        ResetFrontEnd();
        for (auto& w : pp) w = 0;
        SetCtrlVal(panelHandle, PANEL_HWMODE, 0);
        evalmode = 0;
        anamode = 0;
    }
    void PlotNorm(int source) {
        SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, source);
        PlotNORMValues(arrayNORM);
    }
};

TEST_F(LivePlot, BandClampsAndColours) {
    refA = 800, tolA = 300, pp[0] = 640;
    PlotNorm(2);
    EXPECT_EQ(upTHR, 1000);
    EXPECT_EQ(loTHR, 500);
    EXPECT_EQ(valREF, 800);
    const double newest[] = {1000, 500, 800, 1005, 1005, 640};
    for (int t = 1; t <= 6; ++t) EXPECT_EQ(Newest(PANEL_NORMCHART, t), newest[t - 1]) << "trace " << t;
    const int colours[] = {VAL_DK_GREEN, VAL_DK_GREEN, VAL_BLACK, VAL_RED, VAL_RED, VAL_RED};
    for (int t = 1; t <= 6; ++t) EXPECT_EQ(TraceColour(PANEL_NORMCHART, t), colours[t - 1]);

    refA = 100, tolA = 200;
    PlotNorm(2);
    EXPECT_EQ(loTHR, 1);
    EXPECT_EQ(upTHR, 300);

    // Hardware mode 1: the controller's tolerance for both channels, read at each plot.
    SetCtrlVal(panelHandle, PANEL_HWMODE, 1);
    pp[10] = 50, refB = 400, tolB = 100, pp[1] = 420;
    PlotNorm(3);
    EXPECT_EQ(upTHR, 450);
    EXPECT_EQ(loTHR, 350);
    EXPECT_EQ(Newest(PANEL_NORMCHART, 6), 420);
    EXPECT_EQ(TraceColour(PANEL_NORMCHART, 6), VAL_DK_GRAY);
    PlotNorm(2);
    EXPECT_EQ(upTHR, 150);
}

TEST_F(LivePlot, DifferenceInChannelABandAndMarkers) {
    refA = 500, tolA = 100, refB = 300, tolB = 20;
    evalmode = 3, anamode = 3;
    pp[1] = 333, pp[13] = 77, pp[7] = 710, pp[9] = 290; // valNORMB, valDIFF, MAXvalB, MINvalB
    PlotNorm(3);
    const double newest[] = {600, 400, 500, 710, 290, 77};
    for (int t = 1; t <= 6; ++t) EXPECT_EQ(Newest(PANEL_NORMCHART, t), newest[t - 1]) << "trace " << t;
    EXPECT_EQ(TraceColour(PANEL_NORMCHART, 6), VAL_CYAN);
    anamode = 1;
    PlotNorm(3);
    EXPECT_EQ(Newest(PANEL_NORMCHART, 5), 710);
}

TEST_F(LivePlot, RawPointsDisplaysAndLeds) {
    pp[0] = 611, pp[1] = 422, pp[2] = 4095, pp[3] = 17, pp[12] = 0x0001;
    SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 0);
    ApplyGraphSource();
    EXPECT_EQ(type, 0);
    double lo = -1, hi = -1;
    GetAxisRange(panelHandle, PANEL_RAWCHART, Axis::YLeft, lo, hi);
    EXPECT_EQ(hi, 4096);
    EXPECT_EQ(Ctrl(PANEL_RAWCHART, Attr::Visible), 1);
    EXPECT_EQ(Ctrl(PANEL_NORMCHART, Attr::Visible), 0);
    PlotRAWValues();
    EXPECT_EQ(Newest(PANEL_RAWCHART, 1), 4095);
    EXPECT_EQ(Newest(PANEL_RAWCHART, 2), 17);
    EXPECT_EQ(TraceColour(PANEL_RAWCHART, 1), VAL_BLUE);
    EXPECT_EQ(TraceColour(PANEL_RAWCHART, 2), VAL_GREEN);

    SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 1);
    PlotRAWValues();
    EXPECT_EQ(Newest(PANEL_RAWCHART, 1), 611);
    EXPECT_EQ(TraceColour(PANEL_RAWCHART, 2), VAL_DK_GRAY);

    // Sources 2 and 3: a zero point on the hidden raw chart, displays still refreshed.
    SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 3);
    pp[2] = 1234;
    PlotRAWValues();
    EXPECT_EQ(Newest(PANEL_RAWCHART, 1), 0);
    EXPECT_EQ(Val(PANEL_ADCA), 1234);
    EXPECT_EQ(Val(PANEL_VALUEB), 422);

    const int leds[][3] = {{0x0001, 1, 0}, {0x0003, 1, 0}, {0x0100, 0, 1}, {0x0003, 0, 1},
                           {0x0101, 1, 1}, {0x0000, 0, 0}};
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
        answeredAtStart = static_cast<int>(host->requests().size());
        host->clearRequests();
    }
    void TearDown() override { onAnswer = nullptr; }
    std::unique_ptr<zep4sim::PtyHost> host;
    int answeredAtStart = 0; // start-up's exchanges, all answered
};

TEST_F(LiveLoop, EachAnswerPlottedOnceAndStopDropsPendingAnswer) {
    SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 2);
    for (int k = 0; k < 100; ++k) arrayNORM[6 * k + 5] = -1.0;
    // Stop runs between answer 21's arrival and its plot.
    InstallHook([](int n) {
        if (n == 21) CallCtrlCallback(panelHandle, PANEL_BTNSTOP, EVENT_COMMIT);
    });
    CallCtrlCallback(panelHandle, PANEL_BTNRUN, EVENT_COMMIT);
    EXPECT_EQ(answers, 21);
    EXPECT_EQ(PlottedPoints(arrayNORM, 6, 6), 20);
    for (int k = 80; k < 100; ++k) { // the controller's valNORMA, not request words
        EXPECT_GE(arrayNORM[6 * k + 5], 350);
        EXPECT_LE(arrayNORM[6 * k + 5], 850);
    }
    PumpFor(0.3);
    EXPECT_EQ(LiveRequests(*host), 21);
    for (const auto& r : host->requests()) EXPECT_EQ(r.words[0], 0); // parameter set 0
    EXPECT_EQ(stop_flag, 1);
    EXPECT_EQ(Ctrl(PANEL_BTNRUN), 0);
    EXPECT_EQ(Ctrl(PANEL_BTNDATA), 0);
    EXPECT_EQ(arrayNORM[0], 2560.0); // idle band back
}

TEST_F(LiveLoop, GraphSourceChangeDuringRun) {
    SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 2);
    for (int k = 0; k < 100; ++k) arrayNORM[6 * k + 5] = -1.0;
    FillarrayRAW(-1, -1);
    InstallHook([](int n) {
        if (n == 5) OperateCtrl(panelHandle, PANEL_GRAPHSOURCE, 1);
        if (n == 13) stop_flag = 1; // as closing the panel does: answer 13 stays unplotted
    });
    CallCtrlCallback(panelHandle, PANEL_BTNRUN, EVENT_COMMIT);
    EXPECT_EQ(PlottedPoints(arrayNORM, 6, 6), 4);
    EXPECT_EQ(PlottedPoints(arrayRAW, 2, 1), 8);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(Ctrl(PANEL_RAWCHART, Attr::Visible), 1);
    EXPECT_EQ(Ctrl(PANEL_NORMCHART, Attr::Visible), 0);
    EXPECT_GE(arrayRAW[198], 350); // valNORMA of the controller's live values
    EXPECT_LE(arrayRAW[198], 850);
}

TEST_F(LiveLoop, SilentControllerTimesOut) {
    zep4sim::Faults f;
    f.silent = true;
    host->setFaults(f);
    const double t0 = Timer();
    CallCtrlCallback(panelHandle, PANEL_BTNRUN, EVENT_COMMIT);
    const double took = Timer() - t0;
    EXPECT_GT(took, 1.95);
    EXPECT_LT(took, 3.0);
    EXPECT_EQ(StatusText(), "Timeout RS232-Line!");
    EXPECT_EQ(Ctrl(PANEL_BTNRUN), 0);
    EXPECT_EQ(Ctrl(PANEL_BTNDATA), 1);
    EXPECT_EQ(LiveRequests(*host), 1);
}

TEST_F(LiveLoop, ScopeViewPerGraphSource) {
    refA = 500, tolA = 100, refB = 400, tolB = 50, evalmode = 6;
    const PlotStyle thin = PlotStyle::ThinLine, fat = PlotStyle::FatLine, dash = PlotStyle::DashedLine;
    struct Plot { PlotStyle style; int colour; const uint16_t* y; };
    const std::vector<Plot> want[] = {
        {{fat, VAL_GREEN, yArrayA}, {fat, VAL_BLUE, yArrayB}},
        {{thin, VAL_BLACK, upArray}, {thin, VAL_BLACK, loArray}, {fat, VAL_RED, yArrayA},
         {fat, VAL_DK_GRAY, yArrayB}, {dash, VAL_BLACK, refArray}},
        {{thin, VAL_BLACK, upArray}, {thin, VAL_BLACK, loArray}, {fat, VAL_RED, yArrayA},
         {dash, VAL_BLACK, refArray}},
        {{thin, VAL_BLACK, upArray}, {thin, VAL_BLACK, loArray}, {fat, VAL_DK_GRAY, yArrayB},
         {dash, VAL_BLACK, refArray}}};
    const int bands[][3] = {{0, 0, 0}, {600, 400, 500}, {600, 400, 500}, {450, 350, 400}};
    for (int v = 0; v < 4; ++v) {
        SCOPED_TRACE(v);
        host->clearRequests();
        SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, v);
        CallCtrlCallback(panelHandle, PANEL_BTNDATA, EVENT_COMMIT);
        EXPECT_EQ(Ctrl(PANEL_DATAGRAPH, Attr::Visible), 1);
        EXPECT_EQ(Ctrl(PANEL_NORMCHART, Attr::Visible), 0);
        EXPECT_EQ(Ctrl(PANEL_BTNDATA), 0);
        for (const auto& r : host->requests())
            if (r.order == ORD_DATA64) {
                EXPECT_EQ(r.words[1], v == 0 ? 0 : 1);
            }
        std::string yName;
        GetCtrlAttribute(panelHandle, PANEL_DATAGRAPH, Attr::YName, yName);
        EXPECT_EQ(yName, v == 0 ? "RAW-values / [ADC-units]" : "NORM=1000*(A/Amax)");
        std::vector<GraphPlotInfo> plots;
        GetGraphPlots(panelHandle, PANEL_DATAGRAPH, plots);
        ASSERT_EQ(plots.size(), want[v].size());
        for (size_t p = 0; p < plots.size(); ++p) {
            EXPECT_EQ(plots[p].style, want[v][p].style) << p;
            EXPECT_EQ(plots[p].colour, want[v][p].colour) << p;
            ASSERT_EQ(plots[p].y.size(), 128u);
            for (int i = 0; i < 128; ++i) ASSERT_EQ(plots[p].y[i], want[v][p].y[i]) << p << ":" << i;
            EXPECT_EQ(plots[p].x[127], 127);
        }
        if (v == 0) {
            EXPECT_GT(*std::max_element(yArrayA, yArrayA + 128), 1500); // raw samples
            continue;
        }
        EXPECT_LT(*std::max_element(yArrayA, yArrayA + 128), 1000); // normalised samples
        EXPECT_EQ(upArray[0], bands[v][0]);
        EXPECT_EQ(loArray[127], bands[v][1]);
        EXPECT_EQ(refArray[64], bands[v][2]);
        const uint16_t index = v == 3 ? indexB : indexA;
        const uint16_t* curve = v == 3 ? yArrayB : yArrayA;
        double x = -1, y = -1;
        GetGraphCursor(panelHandle, PANEL_DATAGRAPH, 1, x, y);
        EXPECT_EQ(x, index);
        EXPECT_EQ(y, curve[index]);
        EXPECT_EQ(Val(PANEL_VALUEA), MINvalA);
    }
}

TEST_F(LiveLoop, ScopeViewFlatWhenFourthBlockMissing) {
    zep4sim::Faults f;
    f.silentAfter = answeredAtStart + 4; // live answer and three blocks
    host->setFaults(f);
    SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 2);
    CallCtrlCallback(panelHandle, PANEL_BTNDATA, EVENT_COMMIT);
    std::vector<GraphPlotInfo> plots;
    GetGraphPlots(panelHandle, PANEL_DATAGRAPH, plots);
    ASSERT_EQ(plots.size(), 4u);
    for (double y : plots[2].y) ASSERT_EQ(y, 0.0);
    for (int i = 0; i < 128; ++i) ASSERT_EQ(yArrayB[i], 0);
    EXPECT_EQ(StatusText(), "Timeout-RS-232 while reading 64 data-words!");
}

TEST_F(LiveLoop, ScopeViewWithoutLiveAnswerKeepsLiveValues) {
    zep4sim::Faults f;
    f.silentOrders = {ORD_LIVE};
    host->setFaults(f);
    adcCHA = 4321;
    SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 2);
    CallCtrlCallback(panelHandle, PANEL_BTNDATA, EVENT_COMMIT);
    EXPECT_EQ(adcCHA, 4321);
    std::vector<GraphPlotInfo> plots;
    GetGraphPlots(panelHandle, PANEL_DATAGRAPH, plots);
    ASSERT_EQ(plots.size(), 4u);
    EXPECT_GT(*std::max_element(plots[2].y.begin(), plots[2].y.end()), 0.0); // blocks still read
}
