// Recorder: the record file a recording writes against the simulated controller, the way
// a recording ends, the whole-second tick rules, the recording-time display and the chooser.
#include <gtest/gtest.h>

#include <QTimer>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "app/app.h"
#include "app/panels.h"
#include "link/com232.h"
#include "live/live.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "platform/ui.h"
#include "recorder/recorder.h"
#include "support/harness.h"

namespace fs = std::filesystem;

namespace {

const std::string kHeader = "K-VEX-ZEP4-RECORDER-FILE: Time-Interval[s]: ";
using Sample = std::array<uint32_t, 4>;

// The first n live answers a fresh controller gives, columns 1..4 of a record line,
// taken from a controller engine of our own.
std::vector<Sample> LiveAnswers(int n) {
    zep4sim::Engine engine;
    std::vector<Sample> out;
    for (int i = 0; i < n; ++i) {
        uint8_t request[FRAME_LEN] = {0x00, 0x55, 0x00, ORD_LIVE};
        auto exchanges = engine.feed(request, sizeof request, 0.0);
        EXPECT_EQ(exchanges.size(), 1u);
        if (exchanges.empty() || exchanges[0].answer.size() < FRAME_LEN) break;
        const auto& a = exchanges[0].answer;
        Sample s;
        for (int w = 0; w < 4; ++w) s[w] = static_cast<uint32_t>(a[4 + 2 * w] << 8 | a[5 + 2 * w]);
        out.push_back(s);
    }
    return out;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A record file taken apart: the header line and the data lines, each checked for shape.
struct RecordFile {
    std::string header;
    std::vector<Sample> samples;
    bool wellFormed = true;
};

RecordFile ParseRecord(const std::string& bytes) {
    RecordFile f;
    if (bytes.empty() || bytes.back() != '\n') f.wellFormed = false;
    std::istringstream in(bytes);
    std::string line;
    bool first = true;
    while (std::getline(in, line)) {
        if (first) {
            f.header = line;
            first = false;
            continue;
        }
        Sample s{};
        int fields = 0;
        std::size_t pos = 0;
        while (fields < 4) {
            std::size_t tab = line.find('\t', pos);
            std::string field = line.substr(pos, tab == std::string::npos ? std::string::npos : tab - pos);
            if (field.empty() || field.find_first_not_of("0123456789") != std::string::npos || field.size() > 5)
                f.wellFormed = false;
            else
                s[fields] = static_cast<uint32_t>(std::stoul(field));
            ++fields;
            if (tab == std::string::npos) break;
            pos = tab + 1;
        }
        if (fields != 4 || std::count(line.begin(), line.end(), '\t') != 3) f.wellFormed = false;
        f.samples.push_back(s);
    }
    return f;
}

// True when every sample is one of the controller's answers, in the order they came.
bool InAnswerOrder(const std::vector<Sample>& samples, const std::vector<Sample>& answers) {
    std::size_t next = 0;
    for (const auto& s : samples) {
        while (next < answers.size() && answers[next] != s) ++next;
        if (next == answers.size()) return false;
        ++next;
    }
    return true;
}

int Val(int panel, int control) {
    int v = -1;
    GetCtrlVal(panel, control, v);
    return v;
}
int AttrOf(int panel, int control, Attr a) {
    int v = -1;
    GetCtrlAttribute(panel, control, a, v);
    return v;
}
std::string RecStatusText() {
    std::string t;
    GetCtrlVal(panelPopUp, POPUP_RECSTATUS, t);
    return t;
}

class RecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zep4-rec-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        zep4sim::Options options;
        sim = StartSim(options);
        StartFrontEnd();
        ASSERT_FALSE(::testing::Test::HasFailure());
        for (int c : {POPUP_RECINTERVAL, POPUP_RECSAMPLES}) {
            SetCtrlAttribute(panelPopUp, c, Attr::MinValue, 0);
            SetCtrlAttribute(panelPopUp, c, Attr::MaxValue, 65535);
        }
        SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 0);
        CopyText(recfile_name, Path("rec.dat").c_str());
        startupRequests = static_cast<int>(sim->requests().size());
        sim->clearRequests();
    }
    void TearDown() override {
        stop_flag = 1;
        SetFileSelectHook({});
        SetConfirmHook({});
        CloseCom(com);
        sim.reset();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string Path(const std::string& name) const { return (fs::path(dir) / name).string(); }

    // Runs one whole recording the way the start button does; returns its length in seconds.
    double Record(int interval, int samples) {
        SetCtrlVal(panelPopUp, POPUP_RECINTERVAL, interval);
        SetCtrlVal(panelPopUp, POPUP_RECSAMPLES, samples);
        double t0 = Timer();
        CallCtrlCallback(panelPopUp, POPUP_RECSTART, EVENT_COMMIT);
        return Timer() - t0;
    }
    int LiveRequests() const {
        int n = 0;
        for (const auto& r : sim->requests()) n += r.order == ORD_LIVE;
        return n;
    }
    void ExpectIdleLook() {
        EXPECT_EQ(RecStatusText(), "DATA-RECORDER");
        EXPECT_EQ(AttrOf(panelPopUp, POPUP_RECSTATUS, Attr::TextBgColor), 0xE0E0E0);
        EXPECT_EQ(AttrOf(panelPopUp, POPUP_RECSTATUS, Attr::TextColor), 0x000000);
        EXPECT_EQ(stop_flag, 1);
    }

    std::string dir;
    std::unique_ptr<zep4sim::PtyHost> sim;
    int startupRequests = 0; // what start-up asked the controller
};

// ---- Tick arithmetic -------------------------------------------------------------------------

TEST(RecorderTicks, WholeSecondsWrapAt65536AndElapsedStaysRightAcrossTheWrap) {
    EXPECT_EQ(RecTickMark(0.0), 0);
    EXPECT_EQ(RecTickMark(12.999), 12);
    EXPECT_EQ(RecTickMark(65535.9), 65535);
    EXPECT_EQ(RecTickMark(65536.0), 0);
    EXPECT_EQ(RecTickMark(65537.5), 1);
    EXPECT_EQ(RecTickMark(1000000.25), 1000000 % 65536);
    EXPECT_EQ(RecElapsedSeconds(65535.99, 65535), 0);
    EXPECT_EQ(RecElapsedSeconds(65536.01, 65535), 1);
    EXPECT_EQ(RecElapsedSeconds(65540.5, 65534), 6);
    EXPECT_EQ(RecElapsedSeconds(3 * 65536.0 + 2.7, RecTickMark(3 * 65536.0 - 3.2)), 6);
    // The fraction of the tick's own second does not count: 10.9 -> 12.1 is 2 whole seconds.
    EXPECT_EQ(RecElapsedSeconds(12.1, RecTickMark(10.9)), 2);
}

TEST(RecorderTicks, SamplesKeepTheirSpacingThroughAWrapOfTheSeconds) {
    // The loop's rule on injected clock readings: answers every 0.23 s, starting just before
    // the seconds wrap; a sample at the first answer whose whole second is interval past
    // the tick mark.
    for (uint16_t interval : {1, 2, 5}) {
        SCOPED_TRACE(interval);
        double t = 65530.4;
        uint16_t tick = RecTickMark(t);
        std::vector<double> at;
        while (at.size() < 12 && t < 65530.4 + 200) {
            t += 0.23;
            if (RecElapsedSeconds(t, tick) >= interval) {
                at.push_back(t);
                tick = RecTickMark(t);
            }
        }
        ASSERT_EQ(at.size(), 12u);
        EXPECT_GE(at[0] - 65530.4, interval - 1.0);
        EXPECT_LE(at[0] - 65530.4, interval + 0.23);
        for (std::size_t i = 1; i < at.size(); ++i) {
            EXPECT_GT(at[i] - at[i - 1], interval - 1.0) << "sample " << i;
            EXPECT_LT(at[i] - at[i - 1], interval + 1.0) << "sample " << i;
        }
        EXPECT_NEAR((at.back() - at.front()) / 11.0, interval, 0.25);
        EXPECT_GT(at.back(), 65536.0); // the run did cross the wrap
    }
}

// ---- Recording time display -------------------------------------------------------------------

TEST_F(RecorderTest, RecordingTimeShowsDaysHoursMinutesSecondsAndResetsTheCount) {
    struct Case {
        int interval, samples, days, hours, minutes, seconds;
    };
    const Case cases[] = {
        {10, 10000, 1, 3, 46, 40},
        {65535, 65535, 49708, 18, 3, 45},
        {0, 500, 0, 0, 0, 0},
        {500, 0, 0, 0, 0, 0},
        {2, 43199, 0, 23, 59, 58},
        {3600, 24, 1, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.interval) + " x " + std::to_string(c.samples));
        SetCtrlVal(panelPopUp, POPUP_RECCOUNT, 7);
        SetCtrlVal(panelPopUp, POPUP_RECSAMPLES, c.samples);
        OperateCtrl(panelPopUp, POPUP_RECINTERVAL, c.interval); // commit -> CC_NEDITRecTime
        EXPECT_EQ(Val(panelPopUp, POPUP_RECDAYS), c.days);
        EXPECT_EQ(Val(panelPopUp, POPUP_RECHOURS), c.hours);
        EXPECT_EQ(Val(panelPopUp, POPUP_RECMINUTES), c.minutes);
        EXPECT_EQ(Val(panelPopUp, POPUP_RECSECONDS), c.seconds);
        EXPECT_EQ(Val(panelPopUp, POPUP_RECCOUNT), 0);
    }
    // The samples control recomputes too; a value-changed event alone does not.
    SetCtrlVal(panelPopUp, POPUP_RECINTERVAL, 60);
    SetCtrlVal(panelPopUp, POPUP_RECSAMPLES, 3);
    CallCtrlCallback(panelPopUp, POPUP_RECSAMPLES, EVENT_VAL_CHANGED);
    EXPECT_EQ(Val(panelPopUp, POPUP_RECMINUTES), 0);
    CallCtrlCallback(panelPopUp, POPUP_RECSAMPLES, EVENT_COMMIT);
    EXPECT_EQ(Val(panelPopUp, POPUP_RECMINUTES), 3);
}

// ---- Recordings ---------------------------------------------------------------------------------

TEST_F(RecorderTest, IntervalFiveThreeSamplesFiveSecondsApart) {
    std::vector<double> countedAt;
    double t0 = Timer();
    QTimer watch;
    int last = -1;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        int n = Val(panelPopUp, POPUP_RECCOUNT);
        if (n != last && n > 0) countedAt.push_back(Timer() - t0);
        last = n;
    });
    watch.start(20);
    SetCtrlVal(panelPopUp, POPUP_RECCOUNT, 0);
    double took = Record(5, 3);
    watch.stop();
    // The last sample ends the recording in the pass that wrote it.
    if (Val(panelPopUp, POPUP_RECCOUNT) != last) countedAt.push_back(took);

    std::string bytes = ReadFile(recfile_name);
    RecordFile f = ParseRecord(bytes);
    EXPECT_TRUE(f.wellFormed) << bytes;
    EXPECT_EQ(f.header, kHeader + "5");
    EXPECT_EQ(bytes.compare(0, kHeader.size() + 2, kHeader + "5\n"), 0);
    ASSERT_EQ(f.samples.size(), 3u);
    EXPECT_TRUE(InAnswerOrder(f.samples, LiveAnswers(LiveRequests())));
    EXPECT_EQ(Val(panelPopUp, POPUP_RECCOUNT), 3);
    EXPECT_EQ(Val(panelPopUp, POPUP_RECPROGRESS), 3);
    EXPECT_EQ(AttrOf(panelPopUp, POPUP_RECPROGRESS, Attr::MaxValue), 3);
    // First sample 4..5 s after the start, then about 5 s apart (whole-second rule).
    EXPECT_GT(took, 13.5);
    EXPECT_LT(took, 17.0);
    ASSERT_EQ(countedAt.size(), 3u);
    EXPECT_GT(countedAt[0], 3.8);
    EXPECT_LT(countedAt[0], 5.6);
    for (int i = 1; i < 3; ++i) {
        EXPECT_GT(countedAt[i] - countedAt[i - 1], 3.8);
        EXPECT_LT(countedAt[i] - countedAt[i - 1], 6.2);
    }
    EXPECT_EQ(StatusText(), "Line Ok!");
    ExpectIdleLook();
}

TEST_F(RecorderTest, IntervalZeroRecordsEveryAnswerExactly) {
    double took = Record(0, 25);
    EXPECT_LT(took, 10.0);
    std::string expected = kHeader + "0\n";
    for (const auto& s : LiveAnswers(25))
        expected += std::to_string(s[0]) + "\t" + std::to_string(s[1]) + "\t" + std::to_string(s[2]) + "\t" +
                    std::to_string(s[3]) + "\n";
    EXPECT_EQ(ReadFile(recfile_name), expected);
    EXPECT_EQ(Val(panelPopUp, POPUP_RECCOUNT), 25);
    // One request per answer, plus the one sent in the pass that wrote the last line.
    PumpFor(0.3);
    EXPECT_EQ(LiveRequests(), 26);
    ExpectIdleLook();
}

TEST_F(RecorderTest, NormalisedGraphSourceRecordsTheSameValuesOnTheNormChart) {
    SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 2);
    Record(0, 6);
    EXPECT_EQ(AttrOf(panelHandle, PANEL_NORMCHART, Attr::Visible), 1);
    EXPECT_EQ(AttrOf(panelHandle, PANEL_RAWCHART, Attr::Visible), 0);
    EXPECT_EQ(AttrOf(panelHandle, PANEL_DATAGRAPH, Attr::Visible), 0);
    RecordFile f = ParseRecord(ReadFile(recfile_name));
    EXPECT_EQ(f.samples, LiveAnswers(6));
}

TEST_F(RecorderTest, ZeroSamplesWritesOnlyTheHeader) {
    double took = Record(3, 0);
    EXPECT_LT(took, 1.0);
    EXPECT_EQ(ReadFile(recfile_name), kHeader + "3\n");
    PumpFor(0.2);
    EXPECT_EQ(LiveRequests(), 1);
    ExpectIdleLook();
}

TEST_F(RecorderTest, SilentControllerTimesOutAfterAboutOneAndAHalfSeconds) {
    zep4sim::Faults silent;
    silent.silent = true;
    sim->setFaults(silent);
    double took = Record(0, 100);
    EXPECT_GT(took, 1.45);
    EXPECT_LT(took, 2.5);
    EXPECT_EQ(ReadFile(recfile_name), kHeader + "0\n");
    EXPECT_EQ(StatusText(), "Timeout RS232-Line!");
    ExpectIdleLook();
}

TEST_F(RecorderTest, ControllerFallingSilentKeepsTheLinesAlreadyWritten) {
    zep4sim::Faults faults;
    faults.silentAfter = startupRequests + 8; // eight live answers, then nothing
    sim->setFaults(faults);
    Record(0, 100);
    RecordFile f = ParseRecord(ReadFile(recfile_name));
    EXPECT_EQ(f.samples, LiveAnswers(8));
    EXPECT_EQ(Val(panelPopUp, POPUP_RECCOUNT), 8);
    EXPECT_EQ(StatusText(), "Timeout RS232-Line!");
}

TEST_F(RecorderTest, LooksWhileRecordingAndDimmedStatesAfterItEndsByItself) {
    struct Seen {
        std::string text;
        int bg = -1, fg = -1, run = -1, data = -1, lock = -1, start = -1;
    } during;
    QTimer::singleShot(300, [&] {
        during.text = RecStatusText();
        during.bg = AttrOf(panelPopUp, POPUP_RECSTATUS, Attr::TextBgColor);
        during.fg = AttrOf(panelPopUp, POPUP_RECSTATUS, Attr::TextColor);
        during.run = AttrOf(panelHandle, PANEL_BTNRUN, Attr::Dimmed);
        during.data = AttrOf(panelHandle, PANEL_BTNDATA, Attr::Dimmed);
        during.lock = AttrOf(panelHandle, PANEL_RECLOCK, Attr::Dimmed);
        during.start = AttrOf(panelPopUp, POPUP_RECSTART, Attr::Dimmed);
    });
    SetCtrlAttribute(panelHandle, PANEL_STOPRECENABLE, Attr::Dimmed, 1);
    Record(1, 2);
    EXPECT_EQ(during.text, "DATA-RECORDER active ...");
    EXPECT_EQ(during.bg, 0xFF0000);
    EXPECT_EQ(during.fg, 0xFFFFFF);
    EXPECT_EQ(during.run, 1);
    EXPECT_EQ(during.data, 1);
    EXPECT_EQ(during.lock, 1);
    EXPECT_EQ(during.start, 1);

    ExpectIdleLook();
    EXPECT_EQ(AttrOf(panelHandle, PANEL_BTNRUN, Attr::Dimmed), 0);
    EXPECT_EQ(AttrOf(panelHandle, PANEL_BTNDATA, Attr::Dimmed), 0);
    EXPECT_EQ(AttrOf(panelPopUp, POPUP_RECSTART, Attr::Dimmed), 0);
    EXPECT_EQ(AttrOf(panelHandle, PANEL_RECLOCK, Attr::Dimmed), 1); // only the stop button frees it
    CallCtrlCallback(panelPopUp, POPUP_RECSTOP, EVENT_COMMIT);
    EXPECT_EQ(AttrOf(panelHandle, PANEL_RECLOCK, Attr::Dimmed), 0);
    EXPECT_EQ(AttrOf(panelHandle, PANEL_STOPRECENABLE, Attr::Dimmed), 0);
}

TEST_F(RecorderTest, StopButtonEndsTheRecordingKeepingItsLines) {
    QTimer::singleShot(1000, [] { CallCtrlCallback(panelPopUp, POPUP_RECSTOP, EVENT_COMMIT); });
    double took = Record(0, 65535);
    EXPECT_GT(took, 0.9);
    EXPECT_LT(took, 2.0);
    RecordFile f = ParseRecord(ReadFile(recfile_name));
    EXPECT_TRUE(f.wellFormed);
    EXPECT_GT(f.samples.size(), 0u);
    EXPECT_EQ(static_cast<int>(f.samples.size()), Val(panelPopUp, POPUP_RECCOUNT));
    EXPECT_EQ(f.samples, LiveAnswers(static_cast<int>(f.samples.size())));
    ExpectIdleLook();
    for (int c : {PANEL_BTNRUN, PANEL_BTNDATA, PANEL_RECLOCK, PANEL_STOPRECENABLE})
        EXPECT_EQ(AttrOf(panelHandle, c, Attr::Dimmed), 0) << c;
    EXPECT_EQ(AttrOf(panelPopUp, POPUP_RECSTART, Attr::Dimmed), 0);
}

TEST_F(RecorderTest, ASecondRecordingReplacesTheFirstFile) {
    Record(0, 6);
    ASSERT_EQ(ParseRecord(ReadFile(recfile_name)).samples.size(), 6u);
    Record(2, 0);
    EXPECT_EQ(ReadFile(recfile_name), kHeader + "2\n");
}

// ---- Record file faults ----------------------------------------------------------------------

TEST_F(RecorderTest, AFullFileEndsTheRecordingAndCountsOnlyWrittenLines) {
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 160; // the header and a handful of lines
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    double took = Record(0, 1000);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);

    EXPECT_LT(took, 1.4); // ended by the failure, not by a time-out
    std::string bytes = ReadFile(recfile_name);
    RecordFile f = ParseRecord(bytes);
    EXPECT_TRUE(f.wellFormed) << bytes; // no half line at the end
    EXPECT_LE(bytes.size(), 160u);
    EXPECT_GT(f.samples.size(), 0u);
    EXPECT_LT(f.samples.size(), 1000u);
    EXPECT_EQ(static_cast<int>(f.samples.size()), Val(panelPopUp, POPUP_RECCOUNT));
    EXPECT_EQ(f.samples, LiveAnswers(static_cast<int>(f.samples.size())));
    EXPECT_EQ(StatusText(), std::string("Record file not written: ") + recfile_name);
    ExpectIdleLook();
    EXPECT_EQ(AttrOf(panelPopUp, POPUP_RECSTART, Attr::Dimmed), 0);
}

TEST_F(RecorderTest, ADirectoryThatVanishesEndsTheRecording) {
    fs::create_directory(Path("sub"));
    CopyText(recfile_name, Path("sub/rec.dat").c_str());
    int countWhenGone = -1;
    QTimer::singleShot(600, [&] {
        countWhenGone = Val(panelPopUp, POPUP_RECCOUNT);
        fs::remove_all(Path("sub"));
    });
    double took = Record(0, 65535);
    EXPECT_LT(took, 2.0);
    EXPECT_GT(countWhenGone, 0);
    EXPECT_EQ(Val(panelPopUp, POPUP_RECCOUNT), countWhenGone);
    EXPECT_EQ(StatusText(), "Record file not written: " + Path("sub/rec.dat"));
    EXPECT_FALSE(fs::exists(Path("sub")));
    ExpectIdleLook();
}

TEST_F(RecorderTest, ARecordFileThatCannotBeCreatedSendsNothing) {
    CopyText(recfile_name, Path("missing/rec.dat").c_str());
    SetCtrlVal(panelPopUp, POPUP_RECCOUNT, 0);
    double took = Record(0, 10);
    EXPECT_LT(took, 0.5);
    EXPECT_EQ(StatusText(), "Record file not written: " + Path("missing/rec.dat"));
    PumpFor(0.2);
    EXPECT_EQ(LiveRequests(), 0);
    EXPECT_EQ(Val(panelPopUp, POPUP_RECCOUNT), 0);
    ExpectIdleLook();
    EXPECT_EQ(AttrOf(panelHandle, PANEL_BTNRUN, Attr::Dimmed), 0);
}

// ---- Record file chooser -------------------------------------------------------------------------

TEST_F(RecorderTest, ChoosingAnExistingFileAsksFirstAndOnlyAConfirmedChoiceDeletes) {
    std::string answer;
    int result = VAL_NEW_FILE_SELECTED;
    FileSelectRequest seen;
    SetFileSelectHook([&](const FileSelectRequest& r, std::string& p) {
        seen = r;
        p = answer;
        return result;
    });
    int reply = 0, asked = 0;
    SetConfirmHook([&](const std::string&, const std::string&) {
        ++asked;
        return reply;
    });
    const std::string before = recfile_name;
    std::ofstream(Path("old.dat")) << "earlier recording\n";

    answer = Path("old.dat");
    OperateCtrl(panelPopUp, POPUP_RECFILEBTN);
    EXPECT_EQ(seen.title, "K-VEX-Series Recorder-File:");
    EXPECT_EQ(seen.defaultFile, "KVEXrecord.dat");
    EXPECT_EQ(seen.filter, "*.dat");
    EXPECT_EQ(seen.defaultDirectory, std::string(proj_dir));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(ret, 0);
    EXPECT_TRUE(fs::exists(Path("old.dat")));
    EXPECT_EQ(std::string(recfile_name), before);

    reply = 1;
    OperateCtrl(panelPopUp, POPUP_RECFILEBTN);
    EXPECT_EQ(ret, 1);
    EXPECT_FALSE(fs::exists(Path("old.dat")));
    EXPECT_EQ(std::string(recfile_name), Path("old.dat"));
    std::string shown;
    GetCtrlVal(panelPopUp, POPUP_RECFILENAME, shown);
    EXPECT_EQ(shown, Path("old.dat"));

    answer = Path("new.dat");
    OperateCtrl(panelPopUp, POPUP_RECFILEBTN);
    EXPECT_EQ(ret, 2);
    EXPECT_FALSE(fs::exists(Path("new.dat"))); // nothing on disk until a recording starts
    GetCtrlVal(panelPopUp, POPUP_RECFILENAME, shown);
    EXPECT_EQ(shown, Path("new.dat"));

    result = VAL_NO_FILE_SELECTED;
    answer = Path("other.dat");
    OperateCtrl(panelPopUp, POPUP_RECFILEBTN);
    EXPECT_EQ(ret, 0);
    EXPECT_EQ(std::string(recfile_name), Path("new.dat"));
    GetCtrlVal(panelPopUp, POPUP_RECFILENAME, shown);
    EXPECT_EQ(shown, Path("new.dat"));
    EXPECT_EQ(asked, 2);
}

TEST_F(RecorderTest, AFileChosenDuringARecordingServesTheNextOne) {
    SetFileSelectHook([&](const FileSelectRequest&, std::string& p) {
        p = Path("next.dat");
        return VAL_NEW_FILE_SELECTED;
    });
    QTimer::singleShot(300, [] { OperateCtrl(panelPopUp, POPUP_RECFILEBTN); });
    QTimer::singleShot(700, [] { CallCtrlCallback(panelPopUp, POPUP_RECSTOP, EVENT_COMMIT); });
    const std::string first = recfile_name;
    Record(0, 65535);
    RecordFile f = ParseRecord(ReadFile(first));
    EXPECT_EQ(f.header, kHeader + "0");
    EXPECT_GT(f.samples.size(), 0u);
    EXPECT_EQ(static_cast<int>(f.samples.size()), Val(panelPopUp, POPUP_RECCOUNT));
    EXPECT_EQ(f.samples, LiveAnswers(static_cast<int>(f.samples.size())));
    EXPECT_FALSE(fs::exists(Path("next.dat")));
    EXPECT_EQ(std::string(recfile_name), Path("next.dat"));

    // Choosing the very file being written, and agreeing to replace it, loses no line.
    SetConfirmHook([](const std::string&, const std::string&) { return 1; });
    SetFileSelectHook([&](const FileSelectRequest&, std::string& p) {
        p = Path("next.dat");
        return VAL_EXISTING_FILE_SELECTED;
    });
    QTimer::singleShot(300, [] { OperateCtrl(panelPopUp, POPUP_RECFILEBTN); });
    QTimer::singleShot(700, [] { CallCtrlCallback(panelPopUp, POPUP_RECSTOP, EVENT_COMMIT); });
    Record(0, 65535);
    f = ParseRecord(ReadFile(Path("next.dat")));
    EXPECT_EQ(f.header, kHeader + "0");
    EXPECT_GT(f.samples.size(), 0u);
    EXPECT_EQ(static_cast<int>(f.samples.size()), Val(panelPopUp, POPUP_RECCOUNT));
}

} // namespace
