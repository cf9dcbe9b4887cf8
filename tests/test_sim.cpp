// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated controller: request reassembly, each fault from zep4-sim's command line, and
// paced exchanges over its pseudo-terminal.
#include <termios.h>

#include <QProcess>
#include <poll.h>

#include "support/harness.h"

using namespace zep4sim;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes request(int order, uint16_t w0 = 0, uint16_t w1 = 0) {
    Bytes b = {0x00, 0x55, static_cast<uint8_t>(order >> 8), static_cast<uint8_t>(order), uint8_t(w0 >> 8), uint8_t(w0),
               uint8_t(w1 >> 8), uint8_t(w1)};
    b.resize(kFrameBytes);
    return b;
}
uint16_t wordAt(const Bytes& b, std::size_t at) { return b.size() < at + 2 ? 0xDEAD : uint16_t((b[at] << 8) | b[at + 1]); }
int openRaw(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    if (fd >= 0 && tcgetattr(fd, &t) == 0) cfmakeraw(&t), tcsetattr(fd, TCSANOW, &t);
    return fd;
}
// Writes a request, then reads until n bytes came, or nothing came for `quiet` seconds after a
// first byte or 1 s before one; notes each chunk's arrival.
Bytes exchange(int fd, const Bytes& req, std::size_t n = 4096, double quiet = 0.15, std::vector<double>* arrivals = nullptr) {
    EXPECT_EQ(::write(fd, req.data(), req.size()), static_cast<ssize_t>(req.size()));
    Bytes out;
    for (double last = steadySeconds(), wait = 1.0; out.size() < n && steadySeconds() - last < wait;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0) continue;
        uint8_t buf[512];
        const ssize_t r = ::read(fd, buf, sizeof buf);
        if (r <= 0) break;
        out.insert(out.end(), buf, buf + r);
        last = steadySeconds(), wait = quiet;
        if (arrivals) arrivals->push_back(last);
    }
    return out;
}
// Runs zep4-sim with the arguments; returns the first line it printed (its device), or "".
std::string startProgram(QProcess& prog, const QStringList& args) {
    prog.setStandardErrorFile(QProcess::nullDevice());
    prog.start(QString(std::getenv("ZEP4_TEST_BIN_DIR")) + "/zep4-sim", args);
    while (!prog.canReadLine() && prog.waitForReadyRead(5000)) {}
    return prog.readLine().trimmed().toStdString();
}

} // namespace

TEST(SimEngine, Reassembly) {
    Engine e;
    Bytes req = request(kReadRam, 1);
    for (std::size_t i = 0; i + 1 < req.size(); ++i) EXPECT_TRUE(e.feed(&req[i], 1, 1.0).empty());
    EXPECT_EQ(e.feed(&req.back(), 1, 1.0).at(0).request.words[0], 1); // with its last byte, whole
    // Garbage before a header, then two requests back to back in one piece.
    Bytes stream = {0x55, 0x12, 0x00, 0x00, 0x37, 0x00, 0x00};
    for (const Bytes& r : {request(kEcho), request(kReadEeprom)}) stream.insert(stream.end(), r.begin(), r.end());
    auto ex = e.feed(stream.data(), stream.size(), 2.0);
    ASSERT_EQ(ex.size(), 2u);
    EXPECT_EQ(std::vector<int>({ex[0].request.order, ex[1].request.order}), std::vector<int>({kEcho, kReadEeprom}));
    EXPECT_DOUBLE_EQ(ex[0].request.time, 2.0);
    // A torn request left lying must not swallow the head of the next one.
    Bytes torn = request(kTeach);
    e.feed(torn.data(), 20, 3.0);
    EXPECT_EQ(e.feed(req.data(), req.size(), 4.0).at(0).request.order, kReadRam);
    EXPECT_EQ(e.ramSet(0), initialRamSet(0)) << "the torn teach acted";
}

// What an answer looks like: its size and a word of it, "-" for none. The word is the first of
// a frame (behind any noise), or bytes 70-71 of a text or block (where a text has its zero).
std::string Said(const Bytes& a) {
    if (a.empty()) return "-";
    char s[32];
    const std::size_t at = a.size() > 36 && a.size() < 72 ? a.size() - 32 : a.size() < 72 ? 4 : 70;
    std::snprintf(s, sizeof s, "%zu %04X", a.size(), wordAt(a, at));
    return s;
}

// Each fault from zep4-sim's command line (the same faults the tests set through PtyHost): what
// the controller says to two requests on its line, noting an answer that came late or in pieces,
// and a line dropped after it.
TEST(SimFaults, EachFaultFromTheCommandLine) {
    const struct { QStringList args; int order1, order2; const char* expect; } cases[] = {
        {{"--silent"}, kEcho, kLive, "- -"},
        {{"--silent-order", "7"}, kVersion, kEcho, "- 36 00AA"},
        {{"--silent-after", "1"}, kEcho, kEcho, "36 00AA -"},
        {{"--silent-first", "1"}, kEcho, kEcho, "- 36 00AA"},
        {{"--short-by", "1"}, kEcho, kData64, "35 00AA 127 0DCC"},
        {{"--wrong-echo"}, kEcho, kInfoBlock, "36 00AB 36 00AB"},
        {{"--echo-high"}, kEcho, kInfoBlock, "36 AA00 36 AA00"},
        {{"--noise", "5"}, kEcho, kEcho, "41 00AA 41 00AA"},
        {{"--hangup-after", "2"}, kEcho, kEcho, "36 00AA 36 00AA hangup"},
        {{"--firmware-no-zero"}, kVersion, kEcho, "72 3920 36 00AA"}, // "T9 " over and over without its zero
        {{"--other-set"}, kReadRam, kReadEeprom, "36 0001 36 0001"},
        {{"--overlong", "3"}, kVersion, kData64, "75 0000 131 0DCC"},
        {{"--late-order", "2", "--late", "300"}, kReadRam, kEcho, "36 0000 late 36 00AA"},
        {{"--split", "3", "--split-pause", "300"}, kEcho, kVersion, "36 00AA in 3 72 0000 in 3"},
    };
    const std::string link = "/tmp/zep4-sim-prog-" + std::to_string(::getpid());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QProcess prog;
        ASSERT_EQ(startProgram(prog, c.args + QStringList{"--firmware", "T9", "--link", QString::fromStdString(link)})
                      .rfind("/dev/pts/", 0), 0u);
        const int fd = openRaw(link);
        std::string said;
        for (int order : {c.order1, c.order2}) {
            const double t0 = steadySeconds();
            std::vector<double> at;
            // Pieces 0.3 s apart, told from a scheduling hiccup with room on both sides.
            const double quiet = c.args[0] == "--split" ? 0.6 : 0.15;
            said += (said.empty() ? "" : " ") + Said(exchange(fd, request(order), 4096, quiet, &at));
            int pauses = 0;
            for (std::size_t i = 1; i < at.size(); ++i) pauses += at[i] - at[i - 1] > 0.15;
            said += (!at.empty() && at[0] - t0 > 0.25 ? " late" : "") + (pauses ? " in " + std::to_string(pauses + 1) : "");
        }
        pollfd p{fd, POLLIN, 0};
        uint8_t b;
        if (std::string(c.expect).find("hangup") != std::string::npos && ::poll(&p, 1, 1000) == 1 && ::read(fd, &b, 1) <= 0)
            said += " hangup";
        EXPECT_EQ(said, c.expect);
        ::close(fd);
        prog.terminate();
        ASSERT_TRUE(prog.waitForFinished());
    }
}

// Byte by byte, in a FIFO's pieces of 8, or whole (a burst of 128 or more), each piece when its last byte is due.
TEST(SimPty, PacedAnswersTakeTheLinesTime) {
    for (auto [burst, fewest, most] : {std::array{1, 5, 128}, {8, 2, 16}, {128, 1, 1}}) {
        Options o;
        o.paced = true, o.burstBytes = burst;
        PtyHost host(o);
        ASSERT_TRUE(host.start());
        const int fd = openRaw(host.devicePath());
        const double line = (36 + 128) * kByteSeconds; // request in, block out: about 85 ms
        const double t0 = steadySeconds();
        std::vector<double> pieces;
        EXPECT_EQ(exchange(fd, request(kData64, 0, 1), kBlockBytes, 0.15, &pieces).size(), kBlockBytes);
        EXPECT_GE(pieces.back() - t0, line * 0.95) << burst;
        EXPECT_TRUE(int(pieces.size()) >= fewest && int(pieces.size()) <= most) << burst << ": " << pieces.size();
        ::close(fd);
    }
}
