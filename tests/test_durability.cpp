// SPDX-License-Identifier: GPL-3.0-or-later
// Kill test: a recording killed with SIGKILL at a random moment keeps every line it had counted,
// and no line is left half written.
//
// Each round runs this same program again as a child that only records (RecordUntilKilled,
// skipped unless the child's environment is set). The child reports every count it has shown
// in POPUP_RECCOUNT through a pipe; the parent kills it at a random moment and reads the file.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

#include <random>
#include <regex>
#include <sstream>

#include "support/harness.h"

namespace {

int reportFd = -1;

// The real receive path; after it, whatever count the panel shows goes to the parent. The
// recorder writes a line before it shows its count, so a shown count is a promise.
void ReportingReceive(int port, int events, void* data) {
    RX_Receive_Function(port, events, data);
    const std::string line = std::to_string(CtrlInt(panelPopUp, POPUP_RECCOUNT)) + "\n";
    if (::write(reportFd, line.data(), line.size()) < 0) std::_Exit(3);
}

// Runs the child recording into path, kills it killAfter seconds after its first line and
// returns the last count it reported whole (-1: none); fails unless SIGKILL ended it.
int RunRound(const std::string& path, double killAfter) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::alarm(30); // outlives the exec: a child stuck before its first line ends by itself
        ::dup2(::open("/dev/null", O_WRONLY), STDOUT_FILENO);
        ::setenv("ZEP4_KILLTEST_FILE", path.c_str(), 1);
        ::setenv("ZEP4_KILLTEST_FD", std::to_string(fds[1]).c_str(), 1);
        char self[] = "/proc/self/exe", arg0[] = "test_durability", filter[] = "--gtest_filter=DurabilityChild.*";
        char* argv[] = {arg0, filter, nullptr};
        ::execv(self, argv);
        std::_Exit(127);
    }
    ::close(fds[1]);
    std::string got;
    char buf[4096];
    ssize_t n;
    while (got.find_first_not_of("0\n") == std::string::npos && (n = ::read(fds[0], buf, sizeof buf)) > 0)
        got.append(buf, static_cast<size_t>(n));
    for (const double first = Timer(); Timer() - first < killAfter;) { // read on: a full pipe would hold the child still
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, 5) > 0 && (n = ::read(fds[0], buf, sizeof buf)) > 0) got.append(buf, static_cast<size_t>(n));
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) got.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child ended before it was killed";
    got = "\n-1\n" + got; // -1: no count reported
    got.erase(got.rfind('\n')); // a line cut by the kill does not count
    return std::atoi(got.c_str() + got.rfind('\n') + 1);
}

} // namespace

// The child's part: records from the simulated controller until it is killed.
TEST(DurabilityChild, RecordUntilKilled) {
    const char* path = std::getenv("ZEP4_KILLTEST_FILE");
    const char* fd = std::getenv("ZEP4_KILLTEST_FD");
    if (!path || !fd) GTEST_SKIP() << "runs only as the kill test's child";
    reportFd = std::atoi(fd);
    auto sim = StartSim();
    StartFrontEnd();
    ASSERT_EQ(StatusText().find("Error"), std::string::npos) << StatusText();
    CopyText(recfile_name, path);
    SetCtrlVal(panelPopUp, POPUP_RECINTERVAL, 0), SetCtrlVal(panelPopUp, POPUP_RECSAMPLES, 65535);
    InstallComCallback(com, eventMask, FRAME_LEN, com232::sync, ReportingReceive, nullptr);
    Event(panelPopUp, POPUP_RECSTART, EVENT_COMMIT);
}

TEST(Durability, RecordingKilledAtRandomKeepsEveryCountedLineWhole) {
    const std::string dir = MakeTempDir("zep4-kill");
    const unsigned seed = std::random_device{}();
    std::mt19937 rng(seed);
    static const std::regex row("((0|[1-9][0-9]{0,4})\t){3}(0|[1-9][0-9]{0,4})"); // four unsigned 16-bit numbers
    for (int i = 0; i < 6; ++i) {
        const double killAfter = std::uniform_real_distribution<double>(0.0, 1.2)(rng);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(i) + ", killed " + std::to_string(killAfter) +
                     " s after the first line");
        const std::string path = dir + "/rec" + std::to_string(i) + ".dat";
        const int lastCount = RunRound(path, killAfter);
        ASSERT_GE(lastCount, 1) << "the child reported no count";
        std::istringstream in(ReadBytes(path));
        std::string line;
        EXPECT_TRUE(std::getline(in, line) && line == "K-VEX-ZEP4-RECORDER-FILE: Time-Interval[s]: 0");
        int lines = 0, bad = 0;
        for (; std::getline(in, line); ++lines) bad += in.eof() || !std::regex_match(line, row); // unended or malformed
        EXPECT_EQ(bad, 0);
        EXPECT_GE(lines, lastCount); // no counted line lost
        EXPECT_LE(lines, lastCount + 1); // the count shown lags the file by the line in progress
    }
    std::filesystem::remove_all(dir);
}
