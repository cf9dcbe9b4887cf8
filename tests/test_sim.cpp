// The simulated controller: request reassembly, answer layouts, parameter memory, faults,
// and real exchanges over its pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "sim/sim.h"
#include "support/harness.h"

using namespace zep4sim;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes frameOf(int order, const Words& w) {
    Bytes b = {0x00, 0x55, static_cast<uint8_t>(order >> 8), static_cast<uint8_t>(order)};
    for (uint16_t x : w) b.insert(b.end(), {static_cast<uint8_t>(x >> 8), static_cast<uint8_t>(x)});
    return b;
}
Bytes request(int order, uint16_t w0 = 0, uint16_t w1 = 0) { return frameOf(order, {w0, w1}); }

uint16_t wordAt(const Bytes& b, std::size_t at) {
    return static_cast<uint16_t>((b.at(at) << 8) | b.at(at + 1));
}
Words wordsOf(const Bytes& frame) {
    Words w{};
    for (std::size_t i = 0; i < 16; ++i) w[i] = wordAt(frame, 4 + 2 * i);
    return w;
}

// Feeds one whole request and returns its answer.
Bytes ask(Engine& e, const Bytes& req) {
    auto ex = e.feed(req.data(), req.size(), 1.0);
    EXPECT_EQ(ex.size(), 1u);
    return ex.empty() ? Bytes{} : ex[0].answer;
}

} // namespace

TEST(SimReassembly, PiecesGarbageAndTornRequests) {
    Engine e;
    Bytes req = request(kReadRam, 1);
    for (std::size_t i = 0; i + 1 < req.size(); ++i) EXPECT_TRUE(e.feed(&req[i], 1, 1.0).empty());
    EXPECT_EQ(e.pending(), 35u);
    auto ex = e.feed(&req.back(), 1, 1.0);
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_EQ(ex[0].request.order, kReadRam);
    EXPECT_EQ(ex[0].request.words[0], 1);

    // Garbage before a header, then two requests back to back in one piece.
    Bytes stream = {0x55, 0x12, 0x00, 0x00, 0x37, 0x00, 0x00};
    for (const Bytes& r : {request(kEcho), request(kReadEeprom)})
        stream.insert(stream.end(), r.begin(), r.end());
    ex = e.feed(stream.data(), stream.size(), 2.0);
    ASSERT_EQ(ex.size(), 2u);
    EXPECT_EQ(ex[0].request.order, kEcho);
    EXPECT_EQ(ex[1].request.order, kReadEeprom);
    EXPECT_DOUBLE_EQ(ex[0].request.time, 2.0);

    // A torn request left lying must not swallow the head of the next one.
    Bytes torn = request(kTeach);
    e.feed(torn.data(), 20, 3.0);
    ex = e.feed(req.data(), req.size(), 4.0);
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_EQ(ex[0].request.order, kReadRam);
    EXPECT_EQ(e.ramSet(0), initialRamSet(0)) << "the torn teach acted";
}

TEST(SimAnswers, EchoInfoBlockAndVersionText) {
    Options o;
    o.firmwareText = "FW 1.2";
    Engine e(o);
    Bytes expect(36, 0);
    expect[1] = 0x55, expect[3] = 0x05, expect[5] = 0xAA;
    EXPECT_EQ(ask(e, request(kEcho, 0, 500)), expect);
    Bytes info = ask(e, request(kInfoBlock, 1, 0x1234));
    EXPECT_EQ(wordAt(info, 2), 20);
    EXPECT_EQ(wordAt(info, 4), 0x00AA);

    Bytes v = ask(e, request(kVersion));
    Bytes text(kVersionBytes, 0);
    std::copy_n("FW 1.2", 6, text.begin());
    EXPECT_EQ(v, text);
    e.setFirmwareText(std::string(100, 'x'));   // too long: cut so that the zero still fits
    v = ask(e, request(kVersion));
    ASSERT_EQ(v.size(), kVersionBytes);
    EXPECT_EQ(v[70], 'x');
    EXPECT_EQ(v[71], 0);
}

TEST(SimAnswers, DataBlocksByStartWordAndKind) {
    Engine e;
    for (uint16_t kind : {0, 1}) {
        for (uint16_t start : {0, 64, 128, 192}) {
            Bytes blk = ask(e, request(kData64, start, kind));
            ASSERT_EQ(blk.size(), kBlockBytes);
            for (int i = 0; i < 64; ++i) {
                uint16_t w = wordAt(blk, 2 * static_cast<std::size_t>(i));
                EXPECT_EQ(w, dataSample(start >= 128, kind, start % 128 + i));
                EXPECT_LE(w, kind == 0 ? 4095 : 1000);
            }
        }
    }
    EXPECT_NE(dataSample(0, 0, 10), dataSample(1, 0, 10));
    EXPECT_NE(dataSample(0, 0, 10), dataSample(0, 1, 10));
    EXPECT_EQ(ask(e, request(kData64, 32, 0)), Bytes(kBlockBytes, 0));
}

TEST(SimAnswers, LiveValuesArePlausibleAndMoveSmoothly) {
    Engine e;
    std::set<uint16_t> inputs;
    Words prev{};
    for (int n = 0; n < 200; ++n) {
        Bytes f = ask(e, request(kLive));
        ASSERT_EQ(wordAt(f, 2), kLive);
        Words w = wordsOf(f);
        ASSERT_TRUE(w[0] <= 1000 && w[1] <= 1000 && w[2] <= 4095 && w[3] <= 4095) << n;
        ASSERT_TRUE(w[6] >= w[8] && w[7] >= w[9]) << "maxima below minima at " << n;
        ASSERT_TRUE(w[14] >= 1 && w[14] <= 128 && w[15] >= 1 && w[15] <= 128) << n;
        EXPECT_EQ(w[10], initialRamSet(0)[3]) << "tolval reports the RAM tolerance";
        EXPECT_TRUE(n == 0 || (std::abs(int(w[0]) - int(prev[0])) <= 20 && w[14] != prev[14])) << n;
        inputs.insert(w[12]);
        prev = w;
    }
    EXPECT_EQ(inputs, (std::set<uint16_t>{0x0000, 0x0001, 0x0100, 0x0101}));
}

TEST(SimMemory, RamAndEepromStartApartAndKeepWritesApart) {
    Engine e;
    for (int s : {0, 1}) {
        EXPECT_EQ(wordsOf(ask(e, request(kReadRam, s))), initialRamSet(s));
        EXPECT_EQ(wordsOf(ask(e, request(kReadEeprom, s))), initialEepromSet(s));
        EXPECT_NE(initialRamSet(s)[2], initialEepromSet(s)[2]);
    }
    Words set1 = {1, 600, 1500, 200, 900};
    EXPECT_EQ(wordsOf(ask(e, frameOf(kWriteRam, set1))), set1);
    EXPECT_EQ(wordsOf(ask(e, request(kReadRam, 1))), set1);
    EXPECT_EQ(e.eepromSet(1), initialEepromSet(1));
    EXPECT_EQ(e.ramSet(0), initialRamSet(0));

    Words set0 = initialEepromSet(0);
    set0[2] = 3000;
    ask(e, frameOf(kWriteEeprom, set0));
    EXPECT_EQ(wordsOf(ask(e, request(kReadEeprom, 0))), set0);
    EXPECT_EQ(e.ramSet(0), initialRamSet(0));

    ask(e, frameOf(kWriteRam, {7, 600, 1234})); // any non-zero set number names set 1
    EXPECT_EQ(e.ramSet(1)[2], 1234);
}

TEST(SimMemory, TeachMovesRefAResetRefreshAndUnknownOrdersDoNot) {
    Engine e;
    uint16_t before = e.ramSet(0)[2];
    ask(e, request(kTeach));
    EXPECT_EQ(wordsOf(ask(e, request(kReadRam, 0)))[2], before + kTeachStep);
    Words top = e.ramSet(0);
    top[2] = 4093;
    e.setRamSet(0, top);
    ask(e, request(kTeach));
    EXPECT_EQ(e.ramSet(0)[2], (4093 + kTeachStep) % 4096);

    Words was = e.ramSet(0);
    for (int order : {kReset, kRefresh}) EXPECT_EQ(wordAt(ask(e, request(order)), 2), order);
    EXPECT_TRUE(ask(e, request(12)).empty());
    EXPECT_EQ(e.ramSet(0), was);
    EXPECT_EQ(e.eepromSet(0), initialEepromSet(0));
}

TEST(SimFaults, SilenceInItsThreeForms) {
    Engine e;
    e.setFaults(MakeFaults(&Faults::silent, true));
    EXPECT_TRUE(ask(e, request(kEcho)).empty());
    ask(e, frameOf(kWriteRam, {1, 500, 999}));
    EXPECT_EQ(e.ramSet(1)[2], 999) << "a mute controller still hears";

    e.setFaults(MakeFaults(&Faults::silentOrders, std::set<int>{kVersion, kLive}));
    EXPECT_TRUE(ask(e, request(kVersion)).empty());
    EXPECT_TRUE(ask(e, request(kLive)).empty());
    EXPECT_EQ(ask(e, request(kEcho)).size(), 36u);

    Engine e2; // counts from the first request
    e2.setFaults(MakeFaults(&Faults::silentAfter, 2));
    EXPECT_EQ(ask(e2, request(kEcho)).size() + ask(e2, request(kReadRam)).size(), 72u);
    EXPECT_TRUE(ask(e2, request(kEcho)).empty());
}

TEST(SimFaults, ShortNoiseWrongEchoNoZeroAndHangup) {
    Options o;
    o.firmwareText = "V1";
    o.faults.shortBy = 1;
    Engine e(o);
    EXPECT_EQ(ask(e, request(kEcho)).size(), 35u);
    EXPECT_EQ(ask(e, request(kVersion)).size(), 71u);
    EXPECT_EQ(ask(e, request(kData64)).size(), 127u);

    Faults f;
    f.noiseBytes = 5, f.wrongEcho = true;
    e.setFaults(f);
    Bytes noisy = ask(e, request(kEcho));
    ASSERT_EQ(noisy.size(), 41u);
    EXPECT_EQ(Bytes(noisy.begin() + 5, noisy.end()), frameOf(kEcho, {0x00AB}));
    EXPECT_EQ(wordAt(ask(e, request(kInfoBlock)), 5 + 4), 0x00AB);

    f = Faults();
    f.firmwareNoZero = true, f.hangupAfter = 7; // the version read below is the 6th request, the echo the 7th
    e.setFaults(f);
    Bytes v = ask(e, request(kVersion));
    ASSERT_EQ(v.size(), kVersionBytes);
    EXPECT_EQ(std::string(v.begin(), v.begin() + 3), "V1 ");
    EXPECT_EQ(std::count(v.begin(), v.end(), 0), 0);
    auto ex = e.feed(request(kEcho).data(), 36, 1.0);
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_TRUE(ex[0].hangup);
    EXPECT_EQ(wordAt(ex[0].answer, 4), 0x00AA) << "the last request is still answered";
}

TEST(SimPacing, PacedRequestCompletesThirtySixByteTimesAfterItsFirstByte) {
    Options o;
    o.paced = true;
    Engine e(o);
    Bytes req = request(kEcho);
    e.feed(req.data(), 10, 5.0);
    auto ex = e.feed(req.data() + 10, 26, 5.001);
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_NEAR(ex[0].request.time, 5.0 + 36 * kByteSeconds, 1e-9);
}

// ---- over the pseudo-terminal ----

namespace {

int openRaw(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    if (fd >= 0 && tcgetattr(fd, &t) == 0) cfmakeraw(&t), tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// Writes a request, then reads until n bytes came or 2 s passed; notes each chunk's arrival.
Bytes exchange(int fd, const Bytes& req, std::size_t n, std::vector<double>* arrivals = nullptr) {
    EXPECT_EQ(::write(fd, req.data(), req.size()), static_cast<ssize_t>(req.size()));
    Bytes out;
    double end = steadySeconds() + 2.0;
    pollfd p{fd, POLLIN, 0};
    while (out.size() < n && steadySeconds() < end) {
        if (::poll(&p, 1, 50) <= 0) continue;
        uint8_t buf[512];
        ssize_t r = ::read(fd, buf, sizeof buf);
        if (r <= 0) break;
        out.insert(out.end(), buf, buf + r);
        if (arrivals) arrivals->push_back(steadySeconds());
    }
    return out;
}

} // namespace

TEST(SimPty, PacedAnswersTakeTheirLineTimeAndDelay) {
    Options o;
    o.paced = true;
    PtyHost host(o);
    ASSERT_TRUE(host.start());
    int fd = openRaw(host.devicePath());
    ASSERT_GE(fd, 0);
    double line = (36 + 128) * kByteSeconds;   // request in, block out: about 85 ms
    double t0 = steadySeconds();
    EXPECT_EQ(exchange(fd, request(kData64, 0, 1), kBlockBytes).size(), kBlockBytes);
    double took = steadySeconds() - t0;
    EXPECT_TRUE(took >= line * 0.95 && took < line + 0.5) << took;

    host.setAnswerDelay(0.2);
    t0 = steadySeconds();
    EXPECT_EQ(exchange(fd, request(kEcho), 36).size(), 36u);
    took = steadySeconds() - t0;
    EXPECT_TRUE(took >= 0.2 + 72 * kByteSeconds * 0.95 && took < 0.7) << took;
    ::close(fd);
}

TEST(SimPty, SplitAnswersArriveInPiecesWithTheirPauses) {
    PtyHost host;
    ASSERT_TRUE(host.start());
    Faults f;
    f.splitPieces = 3, f.splitPauseSeconds = 0.1;
    host.setFaults(f);
    int fd = openRaw(host.devicePath());
    std::vector<double> arrivals;
    double t0 = steadySeconds();
    EXPECT_EQ(exchange(fd, request(kVersion), kVersionBytes, &arrivals).size(), kVersionBytes);
    ASSERT_EQ(arrivals.size(), 3u);
    EXPECT_TRUE(arrivals.back() - t0 >= 0.19 && arrivals.back() - t0 < 1.0);
    ::close(fd);
}

// The symbolic link to the device is checked with the program below.
TEST(SimPty, HangupDropsTheLineAfterItsAnswer) {
    PtyHost host(WithFaults(MakeFaults(&Faults::hangupAfter, 1)));
    ASSERT_TRUE(host.start());
    int fd = openRaw(host.devicePath());
    EXPECT_EQ(exchange(fd, request(kEcho), 36).size(), 36u);
    for (int i = 0; i < 100 && !host.hungUp(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(host.hungUp());
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 1000), 1);
    uint8_t b;
    EXPECT_LE(::read(fd, &b, 1), 0) << "the other side must see the line gone";
    ::close(fd);
}

TEST(SimProgram, PrintsItsDeviceServesAndCleansUpOnSigterm) {
    const char* dir = std::getenv("ZEP4_TEST_BIN_DIR");
    if (!dir) GTEST_SKIP() << "ZEP4_TEST_BIN_DIR not set";
    std::string link = "/tmp/zep4-sim-prog-" + std::to_string(::getpid());
    std::string prog = std::string(dir) + "/zep4-sim";
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::execl(prog.c_str(), prog.c_str(), "--link", link.c_str(), "--wrong-echo", "--firmware",
                "T9", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string line;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    ASSERT_EQ(line.rfind("/dev/pts/", 0), 0u) << line;

    int fd = openRaw(link);
    EXPECT_EQ(wordAt(exchange(fd, request(kEcho), 36), 4), 0x00AB);
    Bytes v = exchange(fd, request(kVersion), kVersionBytes);
    ASSERT_EQ(v.size(), kVersionBytes);
    EXPECT_STREQ(reinterpret_cast<char*>(v.data()), "T9");
    ::close(fd);

    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    struct stat st{};
    EXPECT_NE(::lstat(link.c_str(), &st), 0);
}
