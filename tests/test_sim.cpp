// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated controller: request reassembly, zep4-sim's command line, the faults no front-end
// test sets, and paced exchanges over its pseudo-terminal.
#include <termios.h>

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
} // namespace

// Every argument to the option it sets (distinct values, so a swap shows); a value missing, not a
// whole number or out of range, and an unknown argument, refused by name.
TEST(SimOptions, CommandLine) {
    Options want, got;
    Faults& f = want.faults;
    want.paced = true, want.answerDelaySeconds = 0.012, want.burstBytes = 8, want.linkPath = "/l", want.firmwareText = "F1";
    want.sensor = {true, 3, 4}, f.silent = f.wrongEcho = f.firmwareNoZero = f.echoHighByte = f.otherSet = true;
    f.silentOrders = {7, 9}, f.silentAfter = 0, f.silentFirst = 6, f.shortBy = 2, f.noiseBytes = 13, f.hangupAfter = 14;
    f.overlongBy = 15, f.lateOrders = {16}, f.lateSeconds = 1000, f.splitPieces = 17, f.splitPauseSeconds = 0.04;
    std::string log, bad;
    EXPECT_EQ(parseArgs({"--paced", "--delay", "12", "--burst", "8", "--link", "/l", "--firmware", "F1", "--log", "/g",
                         "--busy-inputs", "--inputs-rate", "3", "--value-noise", "4", "--silent", "--silent-order", "7",
                         "--silent-order", "9", "--silent-after", "0", "--silent-first", "6", "--short-by", "2", "--wrong-echo",
                         "--noise", "13", "--hangup-after", "14", "--firmware-no-zero", "--echo-high", "--other-set",
                         "--overlong", "15", "--late-order", "16", "--late", "1000000", "--split", "17", "--split-pause", "40"},
                        got, log, bad), Args::Run);
    EXPECT_TRUE(got == want && log == "/g");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--delay", ""}, {"--split", "2x"}, {"--noise", "-1"}, {"--late", "1000001"}, {"--burst", "0"}, {"--frob"}, {"--link"}})
        EXPECT_EQ(std::make_pair(parseArgs(args, got, log, bad), bad), std::make_pair(Args::Bad, args[0]));
}

// The faults no front-end test sets: a parameter read answered with the other set, and an
// answer in pieces 0.3 s apart (told from a scheduling hiccup with room on both sides).
TEST(SimPty, RequestsReassembledOtherSetAnswersInPiecesAndPacedAnswers) {
    Engine e; // a request fed byte by byte counts once its last byte is in
    Bytes req = request(kReadRam, 1);
    for (std::size_t i = 0; i + 1 < req.size(); ++i) EXPECT_TRUE(e.feed(&req[i], 1, 1.0).empty());
    EXPECT_EQ(e.feed(&req.back(), 1, 1.0).at(0).request.words[0], 1);
    Options o;
    o.faults.otherSet = true, o.faults.splitPieces = 3, o.faults.splitPauseSeconds = 0.3;
    PtyHost host(o);
    ASSERT_TRUE(host.start());
    const int fd = openRaw(host.devicePath());
    std::vector<double> at;
    const Bytes answer = exchange(fd, request(kReadEeprom, 0), 4096, 0.6, &at);
    EXPECT_EQ(std::make_pair(answer.size(), answer.size() > 5 ? answer[4] << 8 | answer[5] : -1), std::make_pair(kFrameBytes, 1));
    int pauses = 0;
    for (std::size_t i = 1; i < at.size(); ++i) pauses += at[i] - at[i - 1] > 0.15;
    EXPECT_EQ(pauses, 2);
    ::close(fd);

    // Paced: byte by byte, in a FIFO's pieces of 8, or whole (a burst of 128 or more), each piece
    // when its last byte is due.
    for (auto [burst, fewest, most] : {std::array{1, 5, 128}, {8, 2, 16}, {128, 1, 1}}) {
        Options p;
        p.paced = true, p.burstBytes = burst;
        PtyHost paced(p);
        ASSERT_TRUE(paced.start());
        const int line = openRaw(paced.devicePath());
        const double lineTime = (36 + 128) * kByteSeconds; // request in, block out: about 85 ms
        const double t0 = steadySeconds();
        std::vector<double> pieces;
        EXPECT_EQ(exchange(line, request(kData64, 0, 1), kBlockBytes, 0.15, &pieces).size(), kBlockBytes);
        EXPECT_GE(pieces.back() - t0, lineTime * 0.95) << burst;
        EXPECT_TRUE(int(pieces.size()) >= fewest && int(pieces.size()) <= most) << burst << ": " << pieces.size();
        ::close(line);
    }
}
