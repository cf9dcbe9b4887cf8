// Kill test: a recording killed with SIGKILL at a random moment keeps every line it had
// counted, and no line is left half written.
//
// Each round runs this same program again as a child that only records (RecordUntilKilled,
// skipped unless the child's environment is set). The child reports every count it has shown
// in POPUP_RECCOUNT through a pipe; the parent kills it at a random moment and reads the file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>

#include "app/app.h"
#include "app/panels.h"
#include "link/com232.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "platform/ui.h"
#include "recorder/recorder.h"
#include "support/harness.h"

namespace {

constexpr const char* kFileEnv = "ZEP4_KILLTEST_FILE";
constexpr const char* kPipeEnv = "ZEP4_KILLTEST_FD";

int reportFd = -1;
int lastShown = -1;

// The real receive path; after it, whatever count the panel shows goes to the parent.
// The recorder writes a line before it shows its count, so a shown count is a promise.
void ReportingReceive(int port, int events, void* data) {
    RX_Receive_Function(port, events, data);
    int shown = -1;
    GetCtrlVal(panelPopUp, POPUP_RECCOUNT, shown);
    if (shown != lastShown) {
        lastShown = shown;
        const std::string line = std::to_string(shown) + "\n";
        if (::write(reportFd, line.data(), line.size()) < 0) std::_Exit(3);
    }
}

struct Round {
    int lastCount = -1;   // last count the child reported
    int wholeLines = 0;   // data lines in the file, each four tab-separated numbers
    bool partial = false; // the file ends inside a line
    bool badLine = false; // a line is not four unsigned 16-bit numbers
    bool header = false;
    bool killed = false;
};

Round RunRound(const std::string& path, double killAfter) {
    Round r;
    int fds[2];
    if (::pipe(fds) != 0) return r;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0) ::dup2(devnull, STDOUT_FILENO);
        ::setenv(kFileEnv, path.c_str(), 1);
        ::setenv(kPipeEnv, std::to_string(fds[1]).c_str(), 1);
        char self[] = "/proc/self/exe";
        char arg0[] = "test_durability";
        char filter[] = "--gtest_filter=DurabilityChild.RecordUntilKilled";
        char* argv[] = {arg0, filter, nullptr};
        ::execv(self, argv);
        std::_Exit(127);
    }
    ::close(fds[1]);
    std::string got;
    double firstReport = -1;
    const double begin = Timer();
    // Read reports until the moment to kill (counted from the first line written) or the end.
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        ::poll(&p, 1, 5);
        if (p.revents & (POLLIN | POLLHUP)) {
            char buf[4096];
            const ssize_t n = ::read(fds[0], buf, sizeof buf);
            if (n <= 0) break; // the child ended by itself
            got.append(buf, static_cast<size_t>(n));
            if (firstReport < 0 && ("\n" + got).find("\n1\n") != std::string::npos) firstReport = Timer();
        }
        if (firstReport >= 0 && Timer() - firstReport >= killAfter) {
            ::kill(pid, SIGKILL);
            r.killed = true;
            break;
        }
        if (Timer() - begin > 30) {
            ::kill(pid, SIGKILL);
            break;
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) got.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    r.killed = r.killed && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;

    // The last whole report line.
    std::istringstream reports(got);
    std::string line;
    while (std::getline(reports, line))
        if (!reports.eof() && !line.empty()) r.lastCount = std::atoi(line.c_str());

    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    const std::string file = s.str();
    r.partial = !file.empty() && file.back() != '\n';
    static const std::regex number("(0|[1-9][0-9]{0,4})");
    std::istringstream lines(file);
    bool first = true;
    while (std::getline(lines, line)) {
        if (lines.eof()) break; // the unended tail, already counted as partial
        if (first) {
            r.header = line == "K-VEX-ZEP4-RECORDER-FILE: Time-Interval[s]: 0";
            first = false;
            continue;
        }
        std::istringstream fields(line);
        std::string f;
        int count = 0;
        bool ok = true;
        while (std::getline(fields, f, '\t')) {
            ++count;
            ok = ok && std::regex_match(f, number) && std::stol(f) <= 65535;
        }
        if (count != 4 || !ok || line.find("\t\t") != std::string::npos || line.back() == '\t')
            r.badLine = true;
        ++r.wholeLines;
    }
    return r;
}

} // namespace

// The child's part: records from the simulated controller until it is killed.
TEST(DurabilityChild, RecordUntilKilled) {
    const char* path = std::getenv(kFileEnv);
    const char* fd = std::getenv(kPipeEnv);
    if (!path || !fd) GTEST_SKIP() << "runs only as the kill test's child";
    reportFd = std::atoi(fd);
    zep4sim::Options options;
    auto sim = StartSim(options);
    StartFrontEnd();
    ASSERT_EQ(StatusText().find("Error"), std::string::npos) << StatusText();
    CopyText(recfile_name, path);
    SetCtrlVal(panelPopUp, POPUP_RECINTERVAL, 0);
    SetCtrlVal(panelPopUp, POPUP_RECSAMPLES, 65535);
    InstallComCallback(com, eventMask, FRAME_LEN, sync, ReportingReceive, nullptr);
    Event(panelPopUp, POPUP_RECSTART, EVENT_COMMIT);
}

TEST(Durability, RecordingKilledAtRandomKeepsEveryCountedLineWhole) {
    char tmpl[] = "/tmp/zep4-kill-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    const unsigned seed = std::random_device{}();
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> moment(0.0, 1.2);
    int linesLost = 0, rounds = 0, counted = 0;
    for (int i = 0; i < 6; ++i) {
        const std::string path = dir + "/rec" + std::to_string(i) + ".dat";
        const double killAfter = moment(rng);
        const Round r = RunRound(path, killAfter);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(i) +
                     ", killed " + std::to_string(killAfter) + " s after the first line");
        ASSERT_TRUE(r.killed) << "the child ended before it was killed";
        ASSERT_GE(r.lastCount, 1) << "the child reported no count";
        EXPECT_TRUE(r.header);
        EXPECT_FALSE(r.partial) << "the file ends inside a line";
        EXPECT_FALSE(r.badLine);
        EXPECT_GE(r.wholeLines, r.lastCount);
        // The count shown lags the file by at most the line of the pass in progress.
        EXPECT_LE(r.wholeLines, r.lastCount + 1);
        linesLost += std::max(0, r.lastCount - r.wholeLines);
        ++rounds;
        counted += r.lastCount;
        std::remove(path.c_str());
    }
    ::rmdir(dir.c_str());
    std::printf("kill rounds %d, lines counted %d, lines lost %d\n", rounds, counted, linesLost);
    EXPECT_EQ(linesLost, 0);
}
