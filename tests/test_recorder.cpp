// Recorder: the record file a recording writes against the simulated controller, the ways
// a recording ends, the whole-second tick rules, the recording-time display and the chooser.
#include <gtest/gtest.h>

#include <QTimer>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>

#include "app/app.h"
#include "app/panels.h"
#include "link/com232.h"
#include "live/live.h"
#include "platform/serial.h"
#include "recorder/recorder.h"
#include "support/harness.h"

namespace fs = std::filesystem;

namespace {

const std::string kHeader = "K-VEX-ZEP4-RECORDER-FILE: Time-Interval[s]: ";

// The data lines of the first n live answers of a fresh controller, from an engine of our own.
std::vector<std::string> AnswerLines(int n) {
    zep4sim::Engine engine;
    std::vector<std::string> lines;
    const uint8_t request[FRAME_LEN] = {0x00, 0x55, 0x00, ORD_LIVE};
    for (int i = 0; i < n; ++i) {
        auto a = engine.feed(request, sizeof request, 0.0).at(0).answer;
        std::string line;
        for (int w = 0; w < 4; ++w) line += std::to_string(a.at(4 + 2 * w) << 8 | a.at(5 + 2 * w)) + (w < 3 ? "\t" : "\n");
        lines.push_back(line);
    }
    return lines;
}
std::string Join(const std::vector<std::string>& lines, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n && i < lines.size(); ++i) s += lines[i];
    return s;
}
int Val(int panel, int control) { return CtrlInt(panel, control); }
int AttrOf(int panel, int control, Attr a) { return CtrlAttr(panel, control, a); }

class RecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = MakeTempDir("zep4-rec");
        sim = StartSim();
        StartFrontEnd();
        for (int c : {POPUP_RECINTERVAL, POPUP_RECSAMPLES}) // the form starts them at 1
            SetCtrlAttribute(panelPopUp, c, Attr::MinValue, 0);
        SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 0);
        CopyText(recfile_name, (dir + "/rec.dat").c_str());
        sim->clearRequests();
    }
    void TearDown() override {
        SetFileSelectHook({});
        SetConfirmHook({});
        CloseCom(com);
        sim.reset();
        fs::remove_all(dir);
    }
    // One whole recording, as the start button runs it; returns its length in seconds.
    double Record(int interval, int samples) {
        SetCtrlVal(panelPopUp, POPUP_RECINTERVAL, interval);
        SetCtrlVal(panelPopUp, POPUP_RECSAMPLES, samples);
        double t0 = Timer();
        CallCtrlCallback(panelPopUp, POPUP_RECSTART, EVENT_COMMIT);
        return Timer() - t0;
    }
    std::string File() const { return ReadBytes(recfile_name); }
    int LiveRequests() const {
        int n = 0;
        for (const auto& r : sim->requests()) n += r.order == ORD_LIVE;
        return n;
    }
    void ExpectIdle() {
        std::string text;
        GetCtrlVal(panelPopUp, POPUP_RECSTATUS, text);
        EXPECT_EQ(text, "DATA-RECORDER");
        EXPECT_EQ(AttrOf(panelPopUp, POPUP_RECSTATUS, Attr::TextBgColor), 0xE0E0E0);
        EXPECT_EQ(AttrOf(panelPopUp, POPUP_RECSTATUS, Attr::TextColor), 0x000000);
        EXPECT_EQ(AttrOf(panelPopUp, POPUP_RECSTART, Attr::Dimmed), 0);
        EXPECT_EQ(stop_flag, 1);
    }
    std::string dir;
    std::unique_ptr<zep4sim::PtyHost> sim;
};

TEST(RecorderTicks, ElapsedWholeSecondsSurviveTheWrapAndSamplesKeepTheirSpacing) {
    EXPECT_EQ(RecTickMark(65535.9), 65535);
    EXPECT_EQ(RecTickMark(65537.5), 1);
    EXPECT_EQ(RecElapsedSeconds(65536.01, 65535), 1);
    EXPECT_EQ(RecElapsedSeconds(3 * 65536.0 + 2.7, RecTickMark(3 * 65536.0 - 3.2)), 6);
    EXPECT_EQ(RecElapsedSeconds(12.1, RecTickMark(10.9)), 2); // whole-second readings, not 1.2 s
    // The loop's rule on injected clock readings: an answer every 0.23 s across the wrap.
    for (uint16_t interval : {1, 2, 5}) {
        double t = 65530.4, last = t;
        uint16_t tick = RecTickMark(t);
        int samples = 0;
        for (; samples < 12 && t < 65700; t += 0.23) {
            if (RecElapsedSeconds(t, tick) < interval) continue;
            EXPECT_GT(t - last, samples ? interval - 1.0 : interval - 1.0 - 0.23) << interval;
            EXPECT_LT(t - last, interval + 1.0) << interval;
            last = t;
            tick = RecTickMark(t);
            ++samples;
        }
        EXPECT_EQ(samples, 12);
        EXPECT_GT(last, 65536.0);
    }
}

TEST_F(RecorderTest, RecordingTimeShowsDaysHoursMinutesSecondsAndResetsTheCount) {
    const int cases[][6] = {{10, 10000, 1, 3, 46, 40}, {65535, 65535, 49708, 18, 3, 45}, {0, 500, 0, 0, 0, 0},
                            {500, 0, 0, 0, 0, 0},     {2, 43199, 0, 23, 59, 58}};
    for (const auto& c : cases) {
        SetCtrlVal(panelPopUp, POPUP_RECCOUNT, 7);
        SetCtrlVal(panelPopUp, POPUP_RECSAMPLES, c[1]);
        OperateCtrl(panelPopUp, POPUP_RECINTERVAL, c[0]); // commit runs CalcRecTime
        EXPECT_EQ(Val(panelPopUp, POPUP_RECDAYS), c[2]) << c[0] << " x " << c[1];
        EXPECT_EQ(Val(panelPopUp, POPUP_RECHOURS), c[3]) << c[0] << " x " << c[1];
        EXPECT_EQ(Val(panelPopUp, POPUP_RECMINUTES), c[4]) << c[0] << " x " << c[1];
        EXPECT_EQ(Val(panelPopUp, POPUP_RECSECONDS), c[5]) << c[0] << " x " << c[1];
        EXPECT_EQ(Val(panelPopUp, POPUP_RECCOUNT), 0);
    }
}

TEST_F(RecorderTest, IntervalFiveTakesThreeSamplesAboutFiveSecondsApart) {
    double took = Record(5, 3);
    EXPECT_GT(took, 13.5); // first sample 4..5 s after the start, then 5 s apart
    EXPECT_LT(took, 17.0);
    std::string bytes = File();
    ASSERT_EQ(bytes.compare(0, kHeader.size() + 2, kHeader + "5\n"), 0) << bytes;
    // Three of the answers, in the order they came.
    auto answers = AnswerLines(LiveRequests());
    std::size_t at = kHeader.size() + 2, next = 0;
    for (int line = 0; line < 3; ++line) {
        while (next < answers.size() && bytes.compare(at, answers[next].size(), answers[next]) != 0) ++next;
        ASSERT_LT(next, answers.size()) << "line " << line << " is no answer: " << bytes;
        at += answers[next++].size();
    }
    EXPECT_EQ(at, bytes.size());
    EXPECT_EQ(Val(panelPopUp, POPUP_RECCOUNT), 3);
    EXPECT_EQ(Val(panelPopUp, POPUP_RECPROGRESS), 3);
    EXPECT_EQ(AttrOf(panelPopUp, POPUP_RECPROGRESS, Attr::MaxValue), 3);
    EXPECT_EQ(StatusText(), "Line Ok!");
}

TEST_F(RecorderTest, IntervalZeroRecordsEveryAnswerAndTheEndLeavesOnlyTheLockDimmed) {
    std::string during;
    QTimer::singleShot(5, [&] {
        GetCtrlVal(panelPopUp, POPUP_RECSTATUS, during);
        during += AttrOf(panelPopUp, POPUP_RECSTATUS, Attr::TextBgColor) == 0xFF0000 ? " red" : " ?";
        during += AttrOf(panelPopUp, POPUP_RECSTATUS, Attr::TextColor) == 0xFFFFFF ? " white" : " ?";
        for (int c : {PANEL_BTNRUN, PANEL_BTNDATA, PANEL_RECLOCK}) during += " " + std::to_string(AttrOf(panelHandle, c, Attr::Dimmed));
    });
    SetCtrlAttribute(panelHandle, PANEL_STOPRECENABLE, Attr::Dimmed, 1);
    SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 2); // same values, on the normalised chart
    Record(0, 300);
    EXPECT_EQ(during, "DATA-RECORDER active ... red white 1 1 1");
    EXPECT_EQ(File(), kHeader + "0\n" + Join(AnswerLines(300), 300));
    EXPECT_EQ(AttrOf(panelHandle, PANEL_NORMCHART, Attr::Visible), 1);
    EXPECT_EQ(AttrOf(panelHandle, PANEL_RAWCHART, Attr::Visible), 0);
    PumpFor(0.2);
    // One per answer, plus the one sent with the last line (which the end's flush of the
    // output queue may take back before the controller reads it).
    EXPECT_GE(LiveRequests(), 300);
    EXPECT_LE(LiveRequests(), 301);
    ExpectIdle();
    EXPECT_EQ(AttrOf(panelHandle, PANEL_BTNRUN, Attr::Dimmed), 0);
    EXPECT_EQ(AttrOf(panelHandle, PANEL_BTNDATA, Attr::Dimmed), 0);
    EXPECT_EQ(AttrOf(panelHandle, PANEL_RECLOCK, Attr::Dimmed), 1); // until the stop button
    CallCtrlCallback(panelPopUp, POPUP_RECSTOP, EVENT_COMMIT);
    EXPECT_EQ(AttrOf(panelHandle, PANEL_RECLOCK, Attr::Dimmed), 0);
    EXPECT_EQ(AttrOf(panelHandle, PANEL_STOPRECENABLE, Attr::Dimmed), 0);
}

TEST_F(RecorderTest, ZeroSamplesGivesTheHeaderOnlyAndReplacesTheEarlierFile) {
    Record(0, 4);
    EXPECT_EQ(File(), kHeader + "0\n" + Join(AnswerLines(4), 4));
    sim->clearRequests();
    EXPECT_LT(Record(3, 0), 1.0);
    EXPECT_EQ(File(), kHeader + "3\n");
    PumpFor(0.2);
    EXPECT_EQ(LiveRequests(), 0); // neither recording left a request behind
}

// How long the silence is waited for is bounded from both sides in the fault matrix.
TEST_F(RecorderTest, ControllerFallingSilentEndsTheRecordingKeepingItsLines) {
    sim->setFaults(MakeFaults(&zep4sim::Faults::silentAfter, 3));
    Record(0, 100);
    EXPECT_EQ(File(), kHeader + "0\n" + Join(AnswerLines(3), 3));
    EXPECT_EQ(Val(panelPopUp, POPUP_RECCOUNT), 3);
    ExpectIdle();
}

TEST_F(RecorderTest, StopButtonEndsTheRecordingKeepingItsLines) {
    QTimer::singleShot(800, [] { CallCtrlCallback(panelPopUp, POPUP_RECSTOP, EVENT_COMMIT); });
    double took = Record(0, 65535);
    EXPECT_GT(took, 0.7);
    EXPECT_LT(took, 1.5);
    int count = Val(panelPopUp, POPUP_RECCOUNT);
    EXPECT_GT(count, 0);
    EXPECT_EQ(File(), kHeader + "0\n" + Join(AnswerLines(count), count));
    ExpectIdle();
    for (int c : {PANEL_BTNRUN, PANEL_BTNDATA, PANEL_RECLOCK, PANEL_STOPRECENABLE})
        EXPECT_EQ(AttrOf(panelHandle, c, Attr::Dimmed), 0) << c;
}

TEST_F(RecorderTest, AFileThatCannotBeWrittenEndsTheRecordingCountingOnlyWrittenLines) {
    struct rlimit old {}, small {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    small = old;
    small.rlim_cur = 160; // the header and a handful of lines
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    double took = Record(0, 1000);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_LT(took, 1.0); // ended by the failure, not by a time-out
    int count = Val(panelPopUp, POPUP_RECCOUNT);
    EXPECT_GT(count, 0);
    EXPECT_EQ(File(), kHeader + "0\n" + Join(AnswerLines(count), count)); // no half line either
    EXPECT_EQ(StatusText(), std::string("Record file not written: ") + recfile_name);
    ExpectIdle();

    // A file that cannot even be created: nothing is sent.
    CopyText(recfile_name, (dir + "/missing/rec.dat").c_str());
    sim->clearRequests();
    EXPECT_LT(Record(0, 10), 0.5);
    EXPECT_EQ(StatusText(), "Record file not written: " + dir + "/missing/rec.dat");
    PumpFor(0.2);
    EXPECT_EQ(LiveRequests(), 0);
    ExpectIdle();
}

TEST_F(RecorderTest, ChoosingAnExistingFileAsksFirstAndOnlyAConfirmedChoiceDeletes) {
    std::string answer = dir + "/old.dat";
    int result = VAL_EXISTING_FILE_SELECTED, reply = 0;
    FileSelectRequest seen;
    SetFileSelectHook([&](const FileSelectRequest& r, std::string& p) {
        seen = r;
        p = answer;
        return result;
    });
    SetConfirmHook([&](const std::string&, const std::string&) { return reply; });
    const std::string before = recfile_name;
    std::ofstream(answer) << "earlier recording\n";
    std::string shown;

    OperateCtrl(panelPopUp, POPUP_RECFILEBTN);
    EXPECT_EQ(seen.title, "K-VEX-Series Recorder-File:");
    EXPECT_EQ(seen.defaultFile, "KVEXrecord.dat");
    EXPECT_EQ(seen.filter, "*.dat");
    EXPECT_EQ(ret, 0);
    EXPECT_TRUE(fs::exists(answer));
    EXPECT_EQ(recfile_name, before);

    reply = 1;
    OperateCtrl(panelPopUp, POPUP_RECFILEBTN);
    EXPECT_EQ(ret, 1);
    EXPECT_FALSE(fs::exists(answer));
    GetCtrlVal(panelPopUp, POPUP_RECFILENAME, shown);
    EXPECT_EQ(shown, answer);

    answer = dir + "/new.dat";
    OperateCtrl(panelPopUp, POPUP_RECFILEBTN);
    EXPECT_EQ(ret, 2);
    EXPECT_FALSE(fs::exists(answer)); // nothing on disk until a recording starts
    EXPECT_EQ(recfile_name, answer);
}

TEST_F(RecorderTest, AFileChosenDuringARecordingServesTheNextOne) {
    const std::string first = recfile_name, next = dir + "/next.dat";
    int result = VAL_NEW_FILE_SELECTED;
    SetFileSelectHook([&](const FileSelectRequest&, std::string& p) {
        p = result == VAL_NEW_FILE_SELECTED ? next : first;
        return result;
    });
    SetConfirmHook([](const std::string&, const std::string&) { return 1; });
    for (int round = 0; round < 2; ++round) { // another file, then the very file being written
        sim.reset(); // a fresh controller, so the answers start over
        sim = StartSim();
        StartFrontEnd();
        CopyText(recfile_name, first.c_str());
        static std::string shownDuring, shownAfter;
        QTimer::singleShot(200, [] {
            OperateCtrl(panelPopUp, POPUP_RECFILEBTN);
            GetCtrlVal(panelPopUp, POPUP_RECFILENAME, shownDuring);
        });
        QTimer::singleShot(500, [] { CallCtrlCallback(panelPopUp, POPUP_RECSTOP, EVENT_COMMIT); });
        Record(0, 65535);
        GetCtrlVal(panelPopUp, POPUP_RECFILENAME, shownAfter);
        EXPECT_EQ(shownDuring, first); // the file being written
        EXPECT_EQ(shownAfter, round == 0 ? next : first);
        int count = Val(panelPopUp, POPUP_RECCOUNT);
        EXPECT_GT(count, 0);
        EXPECT_EQ(ReadBytes(first), kHeader + "0\n" + Join(AnswerLines(count), count)) << round;
        EXPECT_FALSE(fs::exists(next));
        result = VAL_EXISTING_FILE_SELECTED;
    }
}

} // namespace
