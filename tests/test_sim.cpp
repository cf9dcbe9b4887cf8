// The simulated controller: request reassembly, answer layouts, parameter memory, faults,
// and real exchanges over its pseudo-terminal.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
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

using namespace zep4sim;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes request(int order, std::initializer_list<uint16_t> words = {}) {
    Bytes b = {0x00, 0x55, static_cast<uint8_t>(order >> 8), static_cast<uint8_t>(order)};
    std::size_t i = 0;
    for (uint16_t w : words) {
        b.push_back(static_cast<uint8_t>(w >> 8));
        b.push_back(static_cast<uint8_t>(w));
        ++i;
    }
    for (; i < 16; ++i) b.insert(b.end(), {0, 0});
    return b;
}

Bytes fromWords(int order, const Words& w) {
    Bytes b = {0x00, 0x55, static_cast<uint8_t>(order >> 8), static_cast<uint8_t>(order)};
    for (uint16_t x : w) b.insert(b.end(), {static_cast<uint8_t>(x >> 8), static_cast<uint8_t>(x)});
    return b;
}

uint16_t wordAt(const Bytes& b, std::size_t byte) {
    return static_cast<uint16_t>((b.at(byte) << 8) | b.at(byte + 1));
}

Words answerWords(const Bytes& frame) {
    Words w{};
    for (std::size_t i = 0; i < 16; ++i) w[i] = wordAt(frame, 4 + 2 * i);
    return w;
}

// Feeds one request and returns its answer; expects exactly one exchange.
Bytes ask(Engine& e, const Bytes& req, double now = 1.0) {
    auto ex = e.feed(req.data(), req.size(), now);
    EXPECT_EQ(ex.size(), 1u);
    return ex.empty() ? Bytes{} : ex[0].answer;
}

} // namespace

TEST(SimReassembly, OneBytePiecesMakeOneRequestAtTheLastByte) {
    Engine e;
    Bytes req = request(kReadRam, {1});
    for (std::size_t i = 0; i + 1 < req.size(); ++i)
        EXPECT_TRUE(e.feed(&req[i], 1, 1.0).empty()) << "byte " << i;
    EXPECT_EQ(e.pending(), 35u);
    auto ex = e.feed(&req.back(), 1, 1.0);
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_EQ(ex[0].request.order, kReadRam);
    EXPECT_EQ(ex[0].request.words[0], 1);
    EXPECT_EQ(e.pending(), 0u);
}

TEST(SimReassembly, SkipsGarbageUpToTheHeaderAndSplitsBackToBackRequests) {
    Engine e;
    Bytes stream = {0x55, 0x12, 0x00, 0x00, 0x37, 0x00, 0x00};   // no 00 55 among them
    Bytes a = request(kEcho), b = request(kReadEeprom, {0});
    stream.insert(stream.end(), a.begin(), a.end());
    stream.insert(stream.end(), b.begin(), b.end());
    auto ex = e.feed(stream.data(), stream.size(), 2.0);
    ASSERT_EQ(ex.size(), 2u);
    EXPECT_EQ(ex[0].request.order, kEcho);
    EXPECT_EQ(ex[1].request.order, kReadEeprom);
    EXPECT_DOUBLE_EQ(ex[0].request.time, 2.0);
}

TEST(SimReassembly, DropsATornRequestLeftLyingAndTakesTheNextWhole) {
    Engine e;
    Bytes torn = request(kTeach);
    torn.resize(20);
    EXPECT_TRUE(e.feed(torn.data(), torn.size(), 1.0).empty());
    Bytes req = request(kReadRam, {1});
    auto ex = e.feed(req.data(), req.size(), 2.0);
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_EQ(ex[0].request.order, kReadRam);
    EXPECT_EQ(e.ramSet(0), initialRamSet(0)) << "the torn teach must not have acted";
}

TEST(SimAnswers, EchoAndInfoBlockCarryTheEchoWord) {
    Engine e;
    Bytes echo = ask(e, request(kEcho, {0, 500}));
    Bytes expect(36, 0);
    expect[1] = 0x55;
    expect[3] = 0x05;
    expect[5] = 0xAA;
    EXPECT_EQ(echo, expect);
    Bytes info = ask(e, request(kInfoBlock, {1, 0x1234}));
    ASSERT_EQ(info.size(), 36u);
    EXPECT_EQ(wordAt(info, 2), 20);
    EXPECT_EQ(wordAt(info, 4), 0x00AA);
}

TEST(SimAnswers, VersionIsSeventyTwoBytesOfZeroTerminatedText) {
    Options o;
    o.firmwareText = "FW 1.2";
    Engine e(o);
    Bytes v = ask(e, request(kVersion));
    ASSERT_EQ(v.size(), kVersionBytes);
    EXPECT_EQ(std::string(v.begin(), v.begin() + 6), "FW 1.2");
    for (std::size_t i = 6; i < v.size(); ++i) EXPECT_EQ(v[i], 0) << i;

    e.setFirmwareText(std::string(100, 'x'));   // too long: cut so the zero still fits
    v = ask(e, request(kVersion));
    ASSERT_EQ(v.size(), kVersionBytes);
    EXPECT_EQ(v[70], 'x');
    EXPECT_EQ(v[71], 0);
}

TEST(SimAnswers, DataBlocksByStartWordAndKind) {
    Engine e;
    for (int kind : {0, 1}) {
        for (int start : {0, 64, 128, 192}) {
            Bytes blk = ask(e, request(kData64, {static_cast<uint16_t>(start),
                                                 static_cast<uint16_t>(kind)}));
            ASSERT_EQ(blk.size(), kBlockBytes);
            int channel = start >= 128 ? 1 : 0;
            for (int i = 0; i < 64; ++i) {
                uint16_t w = wordAt(blk, 2 * static_cast<std::size_t>(i));
                EXPECT_EQ(w, dataSample(channel, kind, start % 128 + i));
                EXPECT_LE(w, kind == 0 ? 4095 : 1000);
            }
        }
    }
    // The two channels and the two kinds are different curves.
    EXPECT_NE(dataSample(0, 0, 10), dataSample(1, 0, 10));
    EXPECT_NE(dataSample(0, 0, 10), dataSample(0, 1, 10));
    Bytes odd = ask(e, request(kData64, {32, 0}));
    EXPECT_EQ(odd, Bytes(kBlockBytes, 0));
}

TEST(SimAnswers, LiveValuesArePlausibleAndMove) {
    Engine e;
    std::set<uint16_t> inputsSeen;
    Words prev{};
    for (int n = 0; n < 200; ++n) {
        Bytes f = ask(e, request(kLive));
        ASSERT_EQ(f.size(), 36u);
        ASSERT_EQ(wordAt(f, 2), kLive);
        Words w = answerWords(f);
        EXPECT_LE(w[0], 1000);
        EXPECT_LE(w[1], 1000);
        EXPECT_LE(w[2], 4095);
        EXPECT_LE(w[3], 4095);
        EXPECT_GE(w[6], w[8]);
        EXPECT_GE(w[7], w[9]);
        EXPECT_EQ(w[10], initialRamSet(0)[3]) << "tolval reports the RAM tolerance";
        EXPECT_GE(w[14], 1);
        EXPECT_LE(w[14], 128);
        EXPECT_GE(w[15], 1);
        EXPECT_LE(w[15], 128);
        inputsSeen.insert(w[12]);
        if (n > 0) {
            EXPECT_LE(std::abs(int(w[0]) - int(prev[0])), 20) << "smooth";
            EXPECT_NE(w[14], prev[14]) << "index moves";
        }
        prev = w;
    }
    EXPECT_EQ(inputsSeen, (std::set<uint16_t>{0x0000, 0x0001, 0x0100, 0x0101}));
    EXPECT_EQ(liveWords(0, 1), liveWords(0, 1));
    EXPECT_NE(liveWords(0, 1)[0], liveWords(40, 1)[0]);
}

TEST(SimMemory, RamAndEepromStartApartAndKeepWritesApart) {
    Engine e;
    EXPECT_EQ(answerWords(ask(e, request(kReadRam, {0}))), initialRamSet(0));
    EXPECT_EQ(answerWords(ask(e, request(kReadRam, {1}))), initialRamSet(1));
    EXPECT_EQ(answerWords(ask(e, request(kReadEeprom, {0}))), initialEepromSet(0));
    EXPECT_EQ(answerWords(ask(e, request(kReadEeprom, {1}))), initialEepromSet(1));
    EXPECT_NE(initialRamSet(0)[2], initialEepromSet(0)[2]);
    EXPECT_NE(initialRamSet(1)[2], initialEepromSet(1)[2]);

    Words set1 = {1, 600, 1500, 200, 900, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Bytes echoed = ask(e, fromWords(kWriteRam, set1));
    EXPECT_EQ(answerWords(echoed), set1);
    EXPECT_EQ(answerWords(ask(e, request(kReadRam, {1}))), set1);
    EXPECT_EQ(e.eepromSet(1), initialEepromSet(1));
    EXPECT_EQ(e.ramSet(0), initialRamSet(0));

    Words set0 = initialEepromSet(0);
    set0[2] = 3000;
    ask(e, fromWords(kWriteEeprom, set0));
    EXPECT_EQ(answerWords(ask(e, request(kReadEeprom, {0}))), set0);
    EXPECT_EQ(e.ramSet(0), initialRamSet(0));

    // Any non-zero set number names set 1.
    Words seven = set1;
    seven[0] = 7;
    seven[2] = 1234;
    ask(e, fromWords(kWriteRam, seven));
    EXPECT_EQ(e.ramSet(1)[2], 1234);
    EXPECT_EQ(e.ramSet(1)[0], 1);
}

TEST(SimMemory, TeachMovesRefAAndResetRefreshLeaveItAlone) {
    Engine e;
    uint16_t before = e.ramSet(0)[2];
    ask(e, request(kTeach));
    Words after = answerWords(ask(e, request(kReadRam, {0})));
    EXPECT_EQ(after[2], before + kTeachStep);
    EXPECT_EQ(e.eepromSet(0), initialEepromSet(0));

    Words nearTop = e.ramSet(0);
    nearTop[2] = 4093;
    e.setRamSet(0, nearTop);
    ask(e, request(kTeach));
    EXPECT_EQ(e.ramSet(0)[2], (4093 + kTeachStep) % 4096);

    for (int order : {kReset, kRefresh}) {
        Words was = e.ramSet(0);
        Bytes a = ask(e, request(order));
        EXPECT_EQ(a.size(), 36u);
        EXPECT_EQ(wordAt(a, 2), order);
        EXPECT_EQ(e.ramSet(0), was);
    }
}

TEST(SimMemory, UnknownOrderIsTakenInButNotAnswered) {
    Engine e;
    auto ex = e.feed(request(12).data(), 36, 1.0);
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_EQ(ex[0].request.order, 12);
    EXPECT_TRUE(ex[0].answer.empty());
}

TEST(SimFaults, SilenceInItsThreeForms) {
    Engine e;
    Faults f;
    f.silent = true;
    e.setFaults(f);
    EXPECT_TRUE(ask(e, request(kEcho)).empty());
    // A silent controller still hears: the write takes effect.
    Words w = initialRamSet(1);
    w[2] = 999;
    ask(e, fromWords(kWriteRam, w));
    EXPECT_EQ(e.ramSet(1)[2], 999);

    f = {};
    f.silentOrders = {kVersion, kLive};
    e.setFaults(f);
    EXPECT_TRUE(ask(e, request(kVersion)).empty());
    EXPECT_TRUE(ask(e, request(kLive)).empty());
    EXPECT_EQ(ask(e, request(kEcho)).size(), 36u);

    Engine e2;
    f = {};
    f.silentAfter = 2;
    e2.setFaults(f);
    EXPECT_EQ(ask(e2, request(kEcho)).size(), 36u);
    EXPECT_EQ(ask(e2, request(kReadRam)).size(), 36u);
    EXPECT_TRUE(ask(e2, request(kEcho)).empty());
    EXPECT_TRUE(ask(e2, request(kLive)).empty());
}

TEST(SimFaults, ShortNoiseAndWrongEchoShapeTheAnswer) {
    Engine e;
    Faults f;
    f.shortBy = 1;
    e.setFaults(f);
    EXPECT_EQ(ask(e, request(kEcho)).size(), 35u);
    EXPECT_EQ(ask(e, request(kVersion)).size(), 71u);
    EXPECT_EQ(ask(e, request(kData64, {0, 0})).size(), 127u);
    f.shortBy = 500;
    e.setFaults(f);
    EXPECT_TRUE(ask(e, request(kEcho)).empty());

    f = {};
    f.noiseBytes = 5;
    e.setFaults(f);
    Bytes noisy = ask(e, request(kEcho));
    ASSERT_EQ(noisy.size(), 41u);
    EXPECT_EQ(Bytes(noisy.begin() + 5, noisy.end()), fromWords(kEcho, Words{0x00AA}));

    f = {};
    f.wrongEcho = true;
    e.setFaults(f);
    EXPECT_EQ(wordAt(ask(e, request(kEcho)), 4), 0x00AB);
    EXPECT_EQ(wordAt(ask(e, request(kInfoBlock)), 4), 0x00AB);
    e.setFaults({});
    EXPECT_EQ(wordAt(ask(e, request(kEcho)), 4), 0x00AA);
}

TEST(SimFaults, FirmwareWithoutZeroAndHangupAfter) {
    Options o;
    o.firmwareText = "V1";
    o.faults.firmwareNoZero = true;
    o.faults.hangupAfter = 2;
    Engine e(o);
    auto first = e.feed(request(kVersion).data(), 36, 1.0);
    ASSERT_EQ(first.size(), 1u);
    const Bytes& v = first[0].answer;
    ASSERT_EQ(v.size(), kVersionBytes);
    EXPECT_EQ(std::string(v.begin(), v.begin() + 2), "V1");
    for (uint8_t c : v) EXPECT_NE(c, 0);
    EXPECT_FALSE(first[0].hangup);
    auto second = e.feed(request(kEcho).data(), 36, 1.0);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_TRUE(second[0].hangup);
    EXPECT_EQ(second[0].answer.size(), 36u) << "the last request is still answered";
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
    if (fd < 0) return fd;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// Reads until n bytes came or `seconds` passed; records when each chunk arrived.
Bytes readFor(int fd, std::size_t n, double seconds, std::vector<double>* arrivals = nullptr) {
    Bytes out;
    double end = steadySeconds() + seconds;
    while (out.size() < n) {
        double left = end - steadySeconds();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left * 1000) + 1) <= 0) continue;
        uint8_t buf[512];
        ssize_t r = ::read(fd, buf, sizeof buf);
        if (r <= 0) break;
        out.insert(out.end(), buf, buf + r);
        if (arrivals) arrivals->push_back(steadySeconds());
    }
    return out;
}

void writeAll(int fd, const Bytes& b) {
    ASSERT_EQ(::write(fd, b.data(), b.size()), static_cast<ssize_t>(b.size()));
}

} // namespace

TEST(SimPty, UnpacedRoundTripSurvivesReopenAndRecordsRequests) {
    PtyHost host;
    ASSERT_TRUE(host.start());
    int fd = openRaw(host.devicePath());
    ASSERT_GE(fd, 0);
    double t0 = steadySeconds();
    writeAll(fd, request(kEcho, {0, 500}));
    Bytes a = readFor(fd, 36, 2.0);
    EXPECT_EQ(wordAt(a, 4), 0x00AA);
    ::close(fd);

    // The front end closes and reopens the port: the line must still serve.
    fd = openRaw(host.devicePath());
    ASSERT_GE(fd, 0);
    writeAll(fd, request(kReadRam, {1}));
    a = readFor(fd, 36, 2.0);
    ASSERT_EQ(a.size(), 36u);
    EXPECT_EQ(answerWords(a), initialRamSet(1));
    ::close(fd);

    auto reqs = host.requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].order, kEcho);
    EXPECT_EQ(reqs[0].words[1], 500);
    EXPECT_EQ(reqs[1].order, kReadRam);
    EXPECT_GE(reqs[0].time, t0);
    EXPECT_LE(reqs[1].time, steadySeconds());
    host.clearRequests();
    EXPECT_TRUE(host.requests().empty());
}

TEST(SimPty, PacedAnswersTakeTheirLineTime) {
    Options o;
    o.paced = true;
    PtyHost host(o);
    ASSERT_TRUE(host.start());
    int fd = openRaw(host.devicePath());
    ASSERT_GE(fd, 0);
    double line = (36 + 128) * kByteSeconds;   // request in, block out: about 85 ms
    double t0 = steadySeconds();
    writeAll(fd, request(kData64, {0, 1}));
    Bytes a = readFor(fd, kBlockBytes, 2.0);
    double took = steadySeconds() - t0;
    EXPECT_EQ(a.size(), kBlockBytes);
    EXPECT_GE(took, line * 0.95);
    EXPECT_LT(took, line + 0.5);

    host.setAnswerDelay(0.2);
    t0 = steadySeconds();
    writeAll(fd, request(kEcho));
    a = readFor(fd, 36, 2.0);
    took = steadySeconds() - t0;
    EXPECT_EQ(a.size(), 36u);
    EXPECT_GE(took, 0.2 + 72 * kByteSeconds * 0.95);
    EXPECT_LT(took, 0.2 + 0.5);
    ::close(fd);
}

TEST(SimPty, SplitAnswersArriveInPiecesWithTheirPauses) {
    PtyHost host;
    ASSERT_TRUE(host.start());
    Faults f;
    f.splitPieces = 3;
    f.splitPauseSeconds = 0.1;
    host.setFaults(f);
    int fd = openRaw(host.devicePath());
    ASSERT_GE(fd, 0);
    std::vector<double> arrivals;
    double t0 = steadySeconds();
    writeAll(fd, request(kVersion));
    Bytes a = readFor(fd, kVersionBytes, 2.0, &arrivals);
    EXPECT_EQ(a.size(), kVersionBytes);
    ASSERT_EQ(arrivals.size(), 3u);
    EXPECT_GE(arrivals.back() - t0, 0.19);
    EXPECT_LT(arrivals.back() - t0, 1.0);
    ::close(fd);
}

TEST(SimPty, HangupDropsTheLineAndTheLinkGoesOnStop) {
    std::string link = "/tmp/zep4-sim-test-" + std::to_string(::getpid());
    Options o;
    o.linkPath = link;
    o.faults.hangupAfter = 1;
    auto host = std::make_unique<PtyHost>(o);
    ASSERT_TRUE(host->start());
    char target[256] = {};
    ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), host->devicePath());

    int fd = openRaw(link);
    ASSERT_GE(fd, 0);
    writeAll(fd, request(kEcho));
    Bytes a = readFor(fd, 36, 2.0);
    EXPECT_EQ(a.size(), 36u);
    for (int i = 0; i < 100 && !host->hungUp(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(host->hungUp());
    // The other side sees the line gone: end of file or an error, not a hang.
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 1000), 1);
    uint8_t b;
    EXPECT_LE(::read(fd, &b, 1), 0);
    ::close(fd);

    host->stop();
    struct stat st{};
    EXPECT_NE(::lstat(link.c_str(), &st), 0);
}

TEST(SimProgram, PrintsItsDeviceServesAndCleansUpOnSigterm) {
    const char* dir = std::getenv("ZEP4_TEST_BIN_DIR");
    if (!dir) GTEST_SKIP() << "ZEP4_TEST_BIN_DIR not set";
    std::string link = "/tmp/zep4-sim-prog-" + std::to_string(::getpid());
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(out[1], 1);
        std::string prog = std::string(dir) + "/zep4-sim";
        ::execl(prog.c_str(), prog.c_str(), "--link", link.c_str(), "--wrong-echo",
                "--firmware", "T9", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string line;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    ASSERT_EQ(line.rfind("/dev/pts/", 0), 0u) << line;

    int fd = openRaw(link);
    ASSERT_GE(fd, 0);
    writeAll(fd, request(kEcho));
    EXPECT_EQ(wordAt(readFor(fd, 36, 2.0), 4), 0x00AB);
    writeAll(fd, request(kVersion));
    Bytes v = readFor(fd, kVersionBytes, 2.0);
    ASSERT_EQ(v.size(), kVersionBytes);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(v.data())), "T9");
    ::close(fd);

    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    struct stat st{};
    EXPECT_NE(::lstat(link.c_str(), &st), 0);
}
