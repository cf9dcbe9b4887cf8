// SPDX-License-Identifier: GPL-3.0-or-later
// Live view: chart histories, what one plot puts on each chart and display, the scope view's
// curves, and the live loop and the data blocks against the simulated controller.

#include "support/harness.h"

namespace {

using V = std::vector<double>;
using I = std::vector<int>;

// The newest point of each trace, -1 for an empty one.
V Newest(int control, int traces) {
    V out(traces, -1), points;
    for (int t = 1; t <= traces; ++t) {
        GetStripChartTrace(panelHandle, control, t, points);
        if (!points.empty()) out[t - 1] = points.back();
    }
    return out;
}
I Colours(int control, int traces) {
    I out(traces, -1);
    for (int t = 1; t <= traces; ++t) GetTraceAttribute(panelHandle, control, t, TraceAttr::Color, out[t - 1]);
    return out;
}
int Attrib(int control, Attr a = Attr::Dimmed) { return CtrlAttr(panelHandle, control, a); }
int Val(int control) { return CtrlInt(panelHandle, control); }
V Range(int control, Axis axis) {
    V r = {-1, -1};
    GetAxisRange(panelHandle, control, axis, r[0], r[1]);
    return r;
}
// A live answer whose every word differs, so a value taken from the wrong word shows.
const uint16_t kAnswer[PNUM] = {611, 433, 3101, 2202, 3500, 3300, 901, 802, 201, 102, 30, 3, 0x0100, 77, 5, 99};

} // namespace

TEST(LiveArrays, ShiftAndDecode) {
    const struct { int n, k, result; V after; } shifts[] = {
        {6, -2, 0, {3, 4, 5, 6, 0, 0}},       {6, 2, 0, {0, 0, 1, 2, 3, 4}},     {6, 6, -20102, {1, 2, 3, 4, 5, 6}},
        {6, -6, -20102, {1, 2, 3, 4, 5, 6}}, {0, 1, -20003, {1, 2, 3, 4, 5, 6}}, {1, 0, 0, {1, 2, 3, 4, 5, 6}}};
    for (const auto& s : shifts) {
        double a[7] = {1, 2, 3, 4, 5, 6, 99}; // 99: past the end, never touched
        EXPECT_EQ(Shift(a, s.n, s.k, a), s.result) << s.k;
        EXPECT_EQ(V(a, a + 6), s.after) << s.n << " " << s.k;
        EXPECT_EQ(a[6], 99);
    }

    // Words 1..10 show on their displays (GraphSourceChoosesChartAndRawPoints).
    std::copy(kAnswer, kAnswer + PNUM, pp);
    pp[0] = 65535, pp[14] = 0, pp[15] = 129; // zero-extended: never negative; samples 1..128
    DecodeLiveAnswer();
    EXPECT_EQ(I({valNORMA, btnval, inputs, valDIFF, indexA, indexB}), I({65535, 3, 0x0100, 77, 1, 128}));
    pp[14] = 129, pp[15] = 0;
    DecodeLiveAnswer();
    EXPECT_EQ(I({indexA, indexB}), I({128, 1}));
}

class LivePlot : public ::testing::Test {
protected:
    void SetUp() override {
        ResetFrontEnd();
        std::copy(kAnswer, kAnswer + PNUM, pp);
        refA = 600, tolA = 110, refB = 450, tolB = 70;
    }
};

// Graph source, evaluation mode, hardware mode and analog mode -> band, markers, value and colour.
TEST_F(LivePlot, NormChartPerSourceAndMode) {
    const int R = VAL_RED, G = VAL_DK_GRAY, C = VAL_CYAN;
    // newest: upper, lower, reference, upper marker, lower marker, value
    const struct { int source, eval, hw, ana, refA, tolA; V newest; int colour; } cases[] = {
        {2, 0, 0, 0, 600, 110, {710, 490, 600, 1005, 1005, 611}, R},
        {2, 0, 1, 1, 600, 110, {630, 570, 600, 901, 901, 611}, R}, // the controller's tolerance
        {2, 3, 2, 2, 600, 110, {710, 490, 600, 201, 201, 77}, C},  // the difference value
        {3, 0, 0, 3, 600, 110, {520, 380, 450, 802, 102, 433}, G},
        {3, 0, 1, 2, 600, 110, {480, 420, 450, 102, 102, 433}, G},
        {3, 3, 0, 1, 600, 110, {710, 490, 600, 802, 802, 77}, C},  // in channel A's band
        {2, 0, 2, 0, 950, 51, {1000, 899, 950, 1005, 1005, 611}, R}, // clamped to the scale
        {2, 0, 0, 0, 60, 61, {121, 1, 60, 1005, 1005, 611}, R},
        {1, 3, 1, 3, 500, 100, {121, 1, 60, 1005, 1005, 611}, R},  // no band of its own: kept
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, c.source);
        SetCtrlVal(panelHandle, PANEL_HWMODE, c.hw);
        evalmode = uint16_t(c.eval), anamode = uint16_t(c.ana), refA = uint16_t(c.refA), tolA = uint16_t(c.tolA);
        PlotNORMValues(arrayNORM);
        EXPECT_EQ(Newest(PANEL_NORMCHART, 6), c.newest);
        EXPECT_EQ(Colours(PANEL_NORMCHART, 6), I({VAL_DK_GREEN, VAL_DK_GREEN, VAL_BLACK, R, R, c.colour}));
    }
}

// "Save picture…" of the band chart: PNG at the screen's pixels and twice them (whatever the
// name's case), SVG; title, firmware and software in each. (A file that cannot be written: the
// run-time's save; the status text follows its result, which "Picture saved!" shows.)
TEST_F(LivePlot, PicturesOfTheBandChart) {
    SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 2);
    CopyText(szFirmware, "FW-PIC 4.56");
    DisplayPanel(panelHandle);
    ApplyGraphSource();
    PumpFor(0.2);
    QWidget* chart = CtrlWidget(panelHandle, PANEL_NORMCHART);
    ASSERT_EQ(chart->actions().size(), 1);
    QAction* save = chart->actions().front();
    const std::string dir = MakeTempDir("zep4-pic");
    std::string answer;
    SetFileSelectHook([&](const FileSelectRequest&, std::string& path) { return (path = answer).empty() ? 0 : 2; });
    const QSize box = chart->parentWidget()->size(); // the title above the chart
    for (auto [name, scale] : {std::pair{"a.png", 1}, {"b@2X.PNG", 2}}) {
        answer = dir + "/" + name;
        save->trigger();
        const QImage png(QString::fromStdString(answer));
        EXPECT_EQ(png.size(), box * scale) << name;
        EXPECT_EQ(StatusText(), "Picture saved!");
        EXPECT_EQ((png.text("Title") + "|" + png.text("Firmware") + "|" + png.text("Software")).toStdString(),
                  "NORM with tolerance band|FW-PIC 4.56|K-VEX-ZEP4-Duvez V2.0");
    }
    answer = dir + "/c.svg";
    save->trigger();
    const std::string svg = ReadBytes(answer);
    EXPECT_TRUE(svg.find("<title>NORM with tolerance band</title>") != std::string::npos && svg.find("Firmware: FW-PIC 4.56") != std::string::npos);
    SetFileSelectHook({});
    std::filesystem::remove_all(dir);
}

// Graph source -> the chart shown, the raw chart's range, and the point and colours it plots (a
// zero point on the hidden raw chart); each display's word; the LEDs.
TEST_F(LivePlot, GraphSourceChoosesChartAndRawPoints) {
    const struct { int source, top, raw, y1, y2, colour1, colour2; } cases[] = {
        {0, 4096, 1, 3101, 2202, VAL_BLUE, VAL_GREEN}, {2, 1024, 0, 0, 0, VAL_BLUE, VAL_GREEN},
        {1, 1024, 1, 611, 433, VAL_RED, VAL_DK_GRAY}, {3, 1024, 0, 0, 0, VAL_RED, VAL_DK_GRAY}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        SetAxisScalingMode(panelHandle, PANEL_RAWCHART, Axis::YLeft, AxisScaling::Manual, 7, 8);
        SetCtrlAttribute(panelHandle, PANEL_RAWCHART, Attr::Visible, !c.raw);
        SetCtrlAttribute(panelHandle, PANEL_NORMCHART, Attr::Visible, c.raw);
        type = 5;
        Choose(panelHandle, PANEL_GRAPHSOURCE, c.source);
        EXPECT_EQ(Range(PANEL_RAWCHART, Axis::YLeft), (V{0, double(c.top)}));
        EXPECT_EQ(I({Attrib(PANEL_RAWCHART, Attr::Visible), Attrib(PANEL_NORMCHART, Attr::Visible), type}),
                  I({c.raw, !c.raw, !c.raw}));
        PlotRAWValues();
        EXPECT_EQ(Newest(PANEL_RAWCHART, 2), V({double(c.y1), double(c.y2)}));
        EXPECT_EQ(Colours(PANEL_RAWCHART, 2), I({c.colour1, c.colour2}));
    }
    // Each display shows its own word.
    const int displays[] = {PANEL_VALUEA, PANEL_VALUEB, PANEL_ADCA,    PANEL_ADCB,    PANEL_AMAX,  PANEL_BMAX,
                            PANEL_MAXVALA, PANEL_MAXVALB, PANEL_MINVALA, PANEL_MINVALB, PANEL_TOLVAL};
    for (int w = 0; w < 11; ++w) EXPECT_EQ(Val(displays[w]), kAnswer[w]) << "word " << w;
    // Only the four clean bit patterns drive the LEDs.
    const int leds[][3] = {{0x0001, 1, 0}, {0x0003, 1, 0}, {0x0100, 0, 1}, {0x1101, 0, 1}, {0x0101, 1, 1}, {0, 0, 0}};
    for (auto [in, led0, led8] : leds) {
        pp[12] = static_cast<uint16_t>(in);
        PlotRAWValues();
        EXPECT_EQ(I({Val(PANEL_INPUTLED0), Val(PANEL_INPUTLED8)}), I({led0, led8})) << std::hex << in;
    }
}

// ---- Against the simulated controller ------------------------------------------------------

namespace {

// Receive hook: the real receive path, then the test's action for the n-th answer.
std::function<void(int)> onAnswer;
int answers = 0;
void HookedReceive(int port, int events, void* data) {
    RX_Receive_Function(port, events, data);
    if (onAnswer) onAnswer(++answers);
}

} // namespace

class LiveLoop : public ::testing::Test {
protected:
    void SetUp() override {
        host = StartSim(zep4sim::defaultOptions());
        StartFrontEnd();
        host->clearRequests();
        answers = 0;
        InstallComCallback(com, eventMask, FRAME_LEN, com232::sync, HookedReceive, nullptr);
    }
    void TearDown() override { onAnswer = nullptr; }
    // An answer still due on the line, then live requests left unanswered.
    void LateAnswerThenSilence() { LeaveAnAnswerDue(*host, 0.3, MakeFaults(&zep4sim::Faults::silentOrders, std::set<int>{ORD_LIVE})); }
    // The n-th live answer (from 0) of this controller, whose tolerance was fetched at start-up.
    zep4sim::Words Live(int n) const { return zep4sim::liveWords(n, tolA); }
    std::unique_ptr<zep4sim::PtyHost> host;
};

// Answers 1 and 2 go on the raw chart, the graph source changes with answer 3, and Stop comes
// with answer 21: each action runs between its answer's arrival and its plot.
TEST_F(LiveLoop, EachAnswerPlottedOnceUntilStopAndEveryRequestCarriesSetZero) {
    SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 1);
    SetCtrlAttribute(panelHandle, PANEL_DATAGRAPH, Attr::Visible, true);
    for (int k = 0; k < 100; ++k) arrayNORM[6 * k + 5] = -1.0;
    static V during;
    onAnswer = [](int n) {
        if (n == 3) {
            during = {double(Attrib(PANEL_BTNRUN) + Attrib(PANEL_BTNDATA)), double(Attrib(PANEL_DATAGRAPH, Attr::Visible)),
                      arrayNORM[0], arrayNORM[2], arrayNORM[3], arrayRAW[196], arrayRAW[198], arrayRAW[199]};
            Choose(panelHandle, PANEL_GRAPHSOURCE, 2);
        }
        if (n == 21) Event(panelHandle, PANEL_BTNSTOP, EVENT_COMMIT);
    };
    Event(panelHandle, PANEL_BTNRUN, EVENT_COMMIT);
    const V raw = {double(Live(0)[0]), double(Live(1)[0]), double(Live(1)[1])};
    EXPECT_EQ(during, (V{2, 0, double(refA + tolA), double(refA), 0, raw[0], raw[1], raw[2]})); // the band of set 0
    PumpFor(0.3);
    CopyVarsToPP(0);
    EXPECT_EQ(CountOrder(*host, ORD_LIVE), 21);
    for (const auto& r : host->requests()) EXPECT_TRUE(std::equal(pp, pp + PNUM, r.words.begin()));
    // Answers 3..20 on the band chart in order; then Stop put back the idle histories.
    for (int k = 0; k < 100; ++k) EXPECT_EQ(arrayNORM[6 * k + 5], k < 82 ? -1.0 : Live(k - 80)[0]) << k;
    EXPECT_EQ(std::count(arrayRAW, arrayRAW + 200, 0.0), 200);
    EXPECT_EQ(V(arrayNORM + 594, arrayNORM + 599), (V{2560, 1536, 2048, 0, 0}));
    EXPECT_EQ(StatusText(), "Line Ok!");
    EXPECT_EQ(I({stop_flag, Attrib(PANEL_BTNRUN), Attrib(PANEL_BTNDATA)}), I({1, 0, 0}));

    // None of Run, Data and Stop acts inside another exchange.
    host->clearRequests();
    onAnswer = [](int) { stop_flag = 1; }; // ends a run that should not have started
    {
        ExchangeHold other;
        for (int button : {PANEL_BTNRUN, PANEL_BTNDATA}) Event(panelHandle, button, EVENT_COMMIT);
        stop_flag = 0, arrayRAW[5] = 9;
        Event(panelHandle, PANEL_BTNSTOP, EVENT_COMMIT);
        EXPECT_EQ(stop_flag + arrayRAW[5], 9);
    }
    PumpFor(0.1);
    EXPECT_TRUE(host->requests().empty());
    // A Stop while a start waits for the line: test_recorder's Stop before the first sample.
}

// A controller that leaves live requests unanswered, a late answer still due before each: the
// run ends at its time-out, and the scope view keeps the last live values.
TEST_F(LiveLoop, SilentControllerEndsTheRunAndScopeViewDrawsTheBlocksOfItsSource) {
    LateAnswerThenSilence();
    const double t0 = Timer();
    Event(panelHandle, PANEL_BTNRUN, EVENT_COMMIT);
    EXPECT_GT(Timer() - t0, 1.95); // the run's own time-out of 2 s, after the late answer
    EXPECT_EQ(StatusText(), "Timeout RS232-Line!");
    EXPECT_EQ(I({Attrib(PANEL_BTNRUN), Attrib(PANEL_BTNDATA), CountOrder(*host, ORD_LIVE), Overlapping(*host)}), I({0, 1, 1, 0}));

    refA = 950, tolA = 80, refB = 40, tolB = 60; // the bands pass both ends of the scale
    const uint16_t tolerance = zep4sim::initialRamSet(0)[3];
    host->clearRequests();
    LateAnswerThenSilence();
    SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 2);
    adcCHA = 4321, indexA = 0, indexB = 500; // before any live answer: the cursor's samples are 1..128
    static I during;
    for (int c : {PANEL_RAWCHART, PANEL_NORMCHART, PANEL_DATAGRAPH}) SetCtrlAttribute(panelHandle, c, Attr::Visible, c != PANEL_DATAGRAPH);
    QTimer::singleShot(800, [] { // while the live answer is waited for, the view is already the data view
        during = {Attrib(PANEL_RAWCHART, Attr::Visible), Attrib(PANEL_NORMCHART, Attr::Visible), Attrib(PANEL_DATAGRAPH, Attr::Visible)};
    });
    Event(panelHandle, PANEL_BTNDATA, EVENT_COMMIT);
    EXPECT_EQ(Overlapping(*host), 0);
    EXPECT_EQ(during, I({0, 0, 1}));
    // The request's own words are not taken for live values; the blocks are still read.
    EXPECT_EQ(I({adcCHA, yArrayA[7], indexA, indexB}), I({4321, zep4sim::dataSample(0, 1, 7), 1, 128}));

    // Graph source and evaluation mode -> the block kind read, the band, and the curves drawn
    // (curves: A, B, upper, lower, reference).
    host->setFaults({});
    const struct { int source, eval, kind, up, lo, ref; } cases[] = {
        {0, 0, 0, 880, 5, 333}, {1, 6, 1, 1000, 870, 950}, {1, 7, 1, 100, 1, 40},
        {1, 0, 1, 880, 5, 333}, {2, 7, 1, 1000, 870, 950}, {3, 6, 1, 100, 1, 40}};
    const int thin = int(PlotStyle::ThinLine), fat = int(PlotStyle::FatLine), dash = int(PlotStyle::DashedLine);
    const I up{thin, VAL_BLACK, 2}, lo{thin, VAL_BLACK, 3}, ref{dash, VAL_BLACK, 4}; // style, colour, curve
    const std::vector<I> plots[] = {{{fat, VAL_GREEN, 0}, {fat, VAL_BLUE, 1}},
                                    {up, lo, {fat, VAL_RED, 0}, {fat, VAL_DK_GRAY, 1}, ref},
                                    {up, lo, {fat, VAL_RED, 0}, ref},
                                    {up, lo, {fat, VAL_DK_GRAY, 1}, ref}};
    for (const auto& c : cases) {
        const int n = int(&c - cases);
        SCOPED_TRACE(n);
        SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, c.source);
        evalmode = uint16_t(c.eval);
        upTHR = 880, loTHR = 5, valREF = 333; // no band of its own: this one is kept
        SetGraphCursor(panelHandle, PANEL_DATAGRAPH, 1, -1, -1);
        SetAxisScalingMode(panelHandle, PANEL_DATAGRAPH, Axis::YLeft, AxisScaling::Manual, 3, 4);
        SetAxisScalingMode(panelHandle, PANEL_DATAGRAPH, Axis::XBottom, AxisScaling::Manual, 5, 6);
        onAnswer = [s = c.source](int) { Choose(panelHandle, PANEL_GRAPHSOURCE, s); }; // shows a chart again
        host->clearRequests();
        Event(panelHandle, PANEL_BTNDATA, EVENT_COMMIT);
        ASSERT_EQ(Orders(*host), I({ORD_LIVE, ORD_DATA64, ORD_DATA64, ORD_DATA64, ORD_DATA64}));
        const auto r = host->requests();
        for (int b = 0; b < 4; ++b) EXPECT_EQ(I({r[b + 1].words[0], r[b + 1].words[1]}), I({64 * b, c.kind}));
        EXPECT_EQ(I({upArray[0], loArray[64], refArray[127]}), I({c.up, c.lo, c.ref}));
        // The live answer came; the charts give way, and the two displays show the minima.
        const auto live = zep4sim::liveWords(n + 2, tolerance); // after the two left unanswered
        EXPECT_EQ(I({Val(PANEL_ADCA), Val(PANEL_VALUEA), Val(PANEL_VALUEB), Attrib(PANEL_RAWCHART, Attr::Visible),
                     Attrib(PANEL_NORMCHART, Attr::Visible)}),
                  I({live[2], live[8], live[9], 0, 0}));
        V curves[5] = {{}, {}, V(128, c.up), V(128, c.lo), V(128, c.ref)};
        for (int i = 0; i < 128; ++i)
            for (int ch : {0, 1}) curves[ch].push_back(zep4sim::dataSample(ch, c.kind, i));
        std::vector<GraphPlotInfo> got;
        GetGraphPlots(panelHandle, PANEL_DATAGRAPH, got);
        std::vector<I> drawn; // style, colour, which curve (5: none of them)
        for (const auto& g : got)
            drawn.push_back({int(g.style), g.colour, int(std::find(curves, curves + 5, g.y) - curves)});
        EXPECT_EQ(drawn, plots[c.source]);
        EXPECT_EQ(std::make_pair(Range(PANEL_DATAGRAPH, Axis::YLeft), Range(PANEL_DATAGRAPH, Axis::XBottom)), std::make_pair(V{0, 1000}, V{1, 128}));
        const int index = c.source == 3 ? live[15] : live[14];
        V cursor(2);
        GetGraphCursor(panelHandle, PANEL_DATAGRAPH, 1, cursor[0], cursor[1]);
        EXPECT_EQ(cursor, (c.source ? V{double(index), curves[c.source == 3][index]} : V{-1, -1}));
    }
    // A block that does not come ends the reads (its late answer would pass for the next one);
    // a close while the live answer is awaited ends the view before them, then the port.
    zep4sim::Faults late = MakeFaults(&zep4sim::Faults::lateOrders, std::set<int>{ORD_DATA64});
    late.lateSeconds = 1.6;
    const std::string all = "4 of 4 blocks missing (CH-A 0-63, CH-A 64-127, CH-B 0-63, CH-B 64-127)!";
    const struct { zep4sim::Faults faults; bool close; int blocks; std::string status; } ends[] = {
        {MakeFaults(&zep4sim::Faults::silentAfter, 4), false, 4, "1 of 4 blocks missing (CH-B 64-127)!"},
        {late, false, 1, all}, {{}, true, 0, all}};
    for (const auto& e : ends) {
        PumpFor(0.3); // the late block of the row before is gone
        host->setFaults(e.faults), host->clearRequests();
        if (e.close) QTimer::singleShot(0, [] { CallPanelCallback(panelHandle, EVENT_CLOSE); });
        const double t1 = Timer();
        Event(panelHandle, PANEL_BTNDATA, EVENT_COMMIT);
        EXPECT_EQ(StatusText(), "Data view incomplete: " + e.status);
        EXPECT_EQ(I({CountOrder(*host, ORD_DATA64), ComWrt(com, "", 0), Timer() - t1 < 1.0}), // not 4 time-outs
                  I({e.blocks, e.close ? kRS_PortNotOpen : 0, e.close}));
    }
}
