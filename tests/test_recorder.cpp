// SPDX-License-Identifier: GPL-3.0-or-later
// Recorder: the record file a recording writes against the simulated controller, the ways a
// recording ends, the whole-second tick rules, the recording-time display and the chooser.

#include <cmath>

#include "support/harness.h"

namespace fs = std::filesystem;

namespace {

using I = std::vector<int>;
const std::string kHeader = "K-VEX-ZEP4-RECORDER-FILE: Time-Interval[s]: ";

// The data lines of n live answers of a fresh controller, from answer `from` on.
std::string Lines(int n, int from = 0) {
    std::string s;
    for (int i = from; i < from + n; ++i) {
        const zep4sim::Words w = zep4sim::liveWords(i, zep4sim::initialRamSet(0)[3]);
        s += std::to_string(w[0]) + "\t" + std::to_string(w[1]) + "\t" + std::to_string(w[2]) + "\t" + std::to_string(w[3]) + "\n";
    }
    return s;
}
int Pop(int control, Attr a) { return CtrlAttr(panelPopUp, control, a); }
int PopVal(int control) { return CtrlInt(panelPopUp, control); }
int Main(int control, Attr a = Attr::Dimmed) { return CtrlAttr(panelHandle, control, a); }

class RecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim = StartSim();
        StartFrontEnd();
        for (int c : {POPUP_RECINTERVAL, POPUP_RECSAMPLES}) SetCtrlAttribute(panelPopUp, c, Attr::MinValue, 0);
        SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 1);
        CopyText(recfile_name, (dir + "/rec.dat").c_str());
        sim->clearRequests();
    }
    void TearDown() override {
        SetFileSelectHook({});
        SetConfirmHook({});
        CloseCom(com);
        fs::remove_all(dir);
    }
    // One whole recording, as the start button runs it; returns its length in seconds.
    double Record(int interval, int samples) {
        SetCtrlVal(panelPopUp, POPUP_RECINTERVAL, interval);
        SetCtrlVal(panelPopUp, POPUP_RECSAMPLES, samples);
        const double t0 = Timer();
        Event(panelPopUp, POPUP_RECSTART, EVENT_COMMIT);
        return Timer() - t0;
    }
    std::string File() const { return ReadBytes(recfile_name); }
    // The recorder panel back at rest.
    void ExpectIdle() {
        EXPECT_EQ(CtrlText(panelPopUp, POPUP_RECSTATUS), "DATA-RECORDER");
        EXPECT_EQ(I({Pop(POPUP_RECSTATUS, Attr::TextBgColor), Pop(POPUP_RECSTATUS, Attr::TextColor),
                     Pop(POPUP_RECSTART, Attr::Dimmed), Main(PANEL_BTNRUN), Main(PANEL_BTNDATA), stop_flag}),
                  I({0xE0E0E0, 0x000000, 0, 0, 0, 1}));
        EXPECT_EQ(CtrlText(panelPopUp, POPUP_RECFILENAME), recfile_name);
    }
    std::string dir = MakeTempDir("zep4-rec");
    std::unique_ptr<zep4sim::PtyHost> sim;
};

} // namespace

TEST_F(RecorderTest, RecordingTimeResetsTheCountAndTheTicksSurviveTheWrap) {
    const int cases[][6] = {{10, 10000, 1, 3, 46, 40}, {65535, 65535, 49708, 18, 3, 45}, {2, 43199, 0, 23, 59, 58},
                            {2, 43200, 1, 0, 0, 0},    {3, 1200, 0, 1, 0, 0},    {5, 12, 0, 0, 1, 0}}; // each unit just full
    for (const auto& c : cases) {
        SetCtrlVal(panelPopUp, POPUP_RECCOUNT, 7);
        SetCtrlVal(panelPopUp, POPUP_RECINTERVAL, c[0]);
        SetCtrlVal(panelPopUp, POPUP_RECSAMPLES, c[1]);
        const int field = (&c - cases) % 2 ? POPUP_RECINTERVAL : POPUP_RECSAMPLES; // either one's commit
        Choose(panelPopUp, field, PopVal(field));
        EXPECT_EQ(I({PopVal(POPUP_RECDAYS), PopVal(POPUP_RECHOURS), PopVal(POPUP_RECMINUTES), PopVal(POPUP_RECSECONDS),
                     PopVal(POPUP_RECCOUNT)}), I({c[2], c[3], c[4], c[5], 0})) << c[0] << " x " << c[1];
    }
    // The whole-second ticks a recording paces itself by survive the 16-bit wrap.
    const double marks[][2] = {{65535.9, 65535}, {65537.5, 1}, {-3.5, 0}, {NAN, 0}, {0.7, 0}};
    for (auto [now, mark] : marks) EXPECT_EQ(RecTickMark(now), mark) << now;
    EXPECT_EQ(RecElapsedSeconds(65536.01, 65535), 1);
    EXPECT_EQ(RecElapsedSeconds(12.1, RecTickMark(10.9)), 2); // whole-second readings, not 1.2 s
}

TEST_F(RecorderTest, IntervalZeroRecordsEveryAnswerPlotsItAndSendsNoMoreIntervalOneEachWholeSecond) {
    std::string during;
    QTimer::singleShot(0, [&] {
        during = CtrlText(panelPopUp, POPUP_RECSTATUS);
        for (int v : {Pop(POPUP_RECSTATUS, Attr::TextBgColor), Pop(POPUP_RECSTATUS, Attr::TextColor), Main(PANEL_RECLOCK),
                      Pop(POPUP_RECSTART, Attr::Dimmed), Main(PANEL_RAWCHART, Attr::Visible),
                      Main(PANEL_NORMCHART, Attr::Visible)})
            during += " " + std::to_string(v);
    });
    SetCtrlAttribute(panelPopUp, POPUP_RECPROGRESS, Attr::MinValue, 5);
    Record(0, 150);
    EXPECT_EQ(during, "DATA-RECORDER active ... 16711680 16777215 1 1 1 0");
    EXPECT_EQ(File(), kHeader + "0\n" + Lines(150));
    EXPECT_EQ(arrayRAW[198], zep4sim::liveWords(149, tolA)[0]); // graph source 1: the raw chart
    EXPECT_EQ(I({PopVal(POPUP_RECCOUNT), PopVal(POPUP_RECPROGRESS), Pop(POPUP_RECPROGRESS, Attr::MinValue),
                 Pop(POPUP_RECPROGRESS, Attr::MaxValue)}), I({150, 150, 0, 150}));
    ExpectIdle();

    // On the band chart (graph source 2), and a recording with nothing to record: the header
    // alone replaces the file, and nothing goes out.
    SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 2);
    Record(0, 2);
    EXPECT_EQ(arrayNORM[599], zep4sim::liveWords(151, tolA)[0]);
    EXPECT_EQ(I({Main(PANEL_RAWCHART, Attr::Visible), Main(PANEL_NORMCHART, Attr::Visible)}), I({0, 1}));
    EXPECT_LT(Record(3, 0), 1.0);
    EXPECT_EQ(File(), kHeader + "3\n");
    EXPECT_EQ(I({PopVal(POPUP_RECPROGRESS), Pop(POPUP_RECPROGRESS, Attr::MaxValue), stop_flag}), I({0, 1, 1}));
    PumpFor(0.2);
    EXPECT_EQ(CountOrder(*sim, ORD_LIVE), 152); // none after the last sample of either
    // Interval 1: the first after the next whole second, then one a second.
    const double took = Record(1, 3);
    EXPECT_TRUE(took > 2.0 && took < 6.0) << took;
    const std::string bytes = File();
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 4) << bytes;
}

// A file that cannot take more ends a recording, keeping the lines written, and so do a silent
// controller and a dropped line; a file that cannot be made ends it at once. A start inside
// another exchange does not start one, nor does a stop act there; outside, a stop gives back Data
// and the lamps.
TEST_F(RecorderTest, FailingFileOrLineEndsARecordingKeepingItsLines) {
    double short_ = 0;
    WithFileSizeLimit(160, [&] { short_ = Record(0, 1000); }); // the header and a handful of lines
    EXPECT_LT(short_, 1.0); // ended by the failure, not by a time-out
    EXPECT_EQ(File() + StatusText(), kHeader + "0\n" + Lines(PopVal(POPUP_RECCOUNT)) + // no half line either
                                         "Record file not written: " + recfile_name);

    // A name as long as the recorder holds, told whole.
    const std::string missing = dir + "/missing/" + std::string(MAX_PATHNAME_LEN - 10 - dir.size(), 'n');
    CopyText(recfile_name, missing.c_str());
    Record(0, 10);
    EXPECT_EQ(StatusText(), "Record file not written: " + missing);
    CopyText(recfile_name, (dir + "/late.dat").c_str());
    SetCtrlAttribute(panelHandle, PANEL_BTNDATA, Attr::Dimmed, true); // as a live run leaves it
    {
        ExchangeHold other; // nor does a start inside another exchange, and a stop does nothing there
        Event(panelPopUp, POPUP_RECSTART, EVENT_COMMIT);
        Event(panelPopUp, POPUP_RECSTOP, EVENT_COMMIT);
        EXPECT_EQ(I({stop_flag, Main(PANEL_STOPRECENABLE)}), I({1, 1})); // set when the file could not be made
    }
    Event(panelPopUp, POPUP_RECSTOP, EVENT_COMMIT); // outside, it gives back Data and the recorder's lamps
    EXPECT_EQ(I({Main(PANEL_BTNDATA), Main(PANEL_RECLOCK), Main(PANEL_STOPRECENABLE)}), I({0, 0, 0}));
    Event(panelPopUp, POPUP_RECSTART, EVENT_LEFT_CLICK); // nor its left click
    EXPECT_FALSE(fs::exists(recfile_name));

    // A controller that falls silent, then a line that drops, after three answers: the lines stay.
    for (bool hangup : {false, true}) {
        const int from = CountOrder(*sim, ORD_LIVE), heard = 4 + int(sim->requests().size()); // and start-up's four
        sim->setFaults(hangup ? MakeFaults(&zep4sim::Faults::hangupAfter, heard + 3) : MakeFaults(&zep4sim::Faults::silentAfter, 3));
        Record(0, 100);
        EXPECT_EQ(File() + StatusText(), kHeader + "0\n" + Lines(3, from) +
                                             (hangup ? "RS-232 line lost - waiting for the device ..." : "Timeout RS232-Line!"));
        ExpectIdle();
    }
}

// The stop button ends a recording on its commit only. The chooser deletes an existing file it
// takes, once asked, but not the one being written: a file chosen during a recording serves the
// next one.
TEST_F(RecorderTest, StopButtonAndTheChooserDuringAndAfterARecording) {
    const std::string first = recfile_name, next = dir + "/next.dat";
    std::string answer, question;
    int reply = 1;
    std::vector<FileSelectRequest> seen;
    SetFileSelectHook([&](const FileSelectRequest& r, std::string& p) { return seen.push_back(r), p = answer, 1; });
    SetConfirmHook([&](const std::string&, const std::string& q) { return question = q, reply; });
    std::ofstream(next) << "another file, deleted when chosen\n";
    std::string shownDuring;
    QTimer::singleShot(200, [&] {
        for (const std::string& choice : {first, next}) {
            answer = choice;
            Press(panelPopUp, POPUP_RECFILEBTN);
        }
        shownDuring = CtrlText(panelPopUp, POPUP_RECFILENAME);
    });
    QTimer::singleShot(500, [] {
        Event(panelPopUp, POPUP_RECSTOP, EVENT_LEFT_CLICK); // the commit decides
        PumpFor(0.2);
        Event(panelPopUp, POPUP_RECSTOP, EVENT_COMMIT);
    });
    EXPECT_GT(Record(0, 65535), 0.65);
    EXPECT_EQ(ReadBytes(first), kHeader + "0\n" + Lines(PopVal(POPUP_RECCOUNT)));
    EXPECT_EQ(I({shownDuring == first, fs::exists(next)}), I({1, 0})); // the file being written shows; next was deleted
    ExpectIdle(); // the display names next: recfile_name is next, checked below

    answer = dir + "/old.dat", reply = 0, seen.clear();
    std::ofstream(answer) << "earlier recording\n";
    Event(panelPopUp, POPUP_RECFILEBTN, EVENT_LEFT_CLICK); // the commit decides
    Press(panelPopUp, POPUP_RECFILEBTN);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(Describe(seen[0]), std::string(proj_dir) + "|KVEXrecord.dat|*.dat|K-VEX-Series Recorder-File:|0|01111");
    EXPECT_EQ(I({ret, fs::exists(answer), recfile_name == next}), I({0, 1, 1}));
    EXPECT_EQ(question, dir + "/old.dat already exists.\nDo you want to replace it?");
    // A new file is taken and shown at once (the chooser adds the extension); nothing is on disk
    // until a recording starts.
    answer = dir + "/new";
    Press(panelPopUp, POPUP_RECFILEBTN);
    EXPECT_EQ(I({ret, fs::exists(dir + "/new.dat")}), I({VAL_NEW_FILE_SELECTED, 0}));
    EXPECT_EQ(CtrlText(panelPopUp, POPUP_RECFILENAME), dir + "/new.dat");
    answer = dir + "/" + std::string(MAX_PATHNAME_LEN, 'n'); // too long to hold: refused, never cut
    Press(panelPopUp, POPUP_RECFILEBTN);
    EXPECT_EQ(std::to_string(ret) + " " + recfile_name, "-1 " + dir + "/new.dat");

    // A Stop before the first sample leaves the earlier file as it was: while the recording
    // waits for the line (an answer due that never comes; then it sends nothing), or for its
    // interval.
    for (int at : {100, 500}) {
        std::ofstream(recfile_name) << "earlier recording\n";
        sim->clearRequests();
        if (at == 100) FillTxBuf(99, pp), WriteRequest(com, 1.0);
        QTimer::singleShot(at, [] { Event(panelPopUp, POPUP_RECSTOP, EVENT_COMMIT); });
        Record(3, 1);
        EXPECT_EQ(File() + std::to_string(CountOrder(*sim, ORD_LIVE) > 0), "earlier recording\n" + std::to_string(at == 500)) << at;
    }
}

