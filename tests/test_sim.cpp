// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated controller: request reassembly, answer layouts, parameter memory, each fault from
// the test API and from zep4-sim's command line, and exchanges over its pseudo-terminal.
#include <sys/stat.h>
#include <termios.h>

#include <QProcess>
#include <poll.h>

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
uint16_t wordAt(const Bytes& b, std::size_t at) { return b.size() < at + 2 ? 0xDEAD : uint16_t((b[at] << 8) | b[at + 1]); }
Words wordsOf(const Bytes& frame) {
    Words w{};
    for (std::size_t i = 0; i < 16; ++i) w[i] = wordAt(frame, 4 + 2 * i);
    return w;
}
// Feeds one whole request and returns its exchange.
Engine::Exchange ask(Engine& e, const Bytes& req) {
    auto ex = e.feed(req.data(), req.size(), 1.0);
    EXPECT_EQ(ex.size(), 1u);
    return ex.empty() ? Engine::Exchange{} : ex[0];
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
// Runs zep4-sim with the arguments; returns the first line it printed (its device), or "".
std::string startProgram(QProcess& prog, const QStringList& args) {
    prog.setStandardErrorFile(QProcess::nullDevice());
    prog.start(QString(std::getenv("ZEP4_TEST_BIN_DIR")) + "/zep4-sim", args);
    while (!prog.canReadLine() && prog.waitForReadyRead(5000)) {}
    return prog.readLine().trimmed().toStdString();
}

} // namespace

TEST(SimEngine, ReassemblyAnswersAndMemory) {
    Engine e;
    Bytes req = request(kReadRam, 1);
    for (std::size_t i = 0; i + 1 < req.size(); ++i) EXPECT_TRUE(e.feed(&req[i], 1, 1.0).empty());
    auto ex = e.feed(&req.back(), 1, 1.0);
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_EQ(std::vector<int>({ex[0].request.order, ex[0].request.words[0]}), std::vector<int>({kReadRam, 1}));
    // Garbage before a header, then two requests back to back in one piece.
    Bytes stream = {0x55, 0x12, 0x00, 0x00, 0x37, 0x00, 0x00};
    for (const Bytes& r : {request(kEcho), request(kReadEeprom)}) stream.insert(stream.end(), r.begin(), r.end());
    ex = e.feed(stream.data(), stream.size(), 2.0);
    ASSERT_EQ(ex.size(), 2u);
    EXPECT_EQ(std::vector<int>({ex[0].request.order, ex[1].request.order}), std::vector<int>({kEcho, kReadEeprom}));
    EXPECT_DOUBLE_EQ(ex[0].request.time, 2.0);
    // A torn request left lying must not swallow the head of the next one.
    Bytes torn = request(kTeach);
    e.feed(torn.data(), 20, 3.0);
    EXPECT_EQ(e.feed(req.data(), req.size(), 4.0).at(0).request.order, kReadRam);
    EXPECT_EQ(e.ramSet(0), initialRamSet(0)) << "the torn teach acted";

    Bytes echo(36, 0);
    echo[1] = 0x55, echo[3] = kEcho, echo[5] = 0xAA;
    EXPECT_EQ(ask(e, request(kEcho, 0, 500)).answer, echo);
    e.setFirmwareText(std::string(100, 'x')); // too long: cut so that the zero still fits
    const Bytes v = ask(e, request(kVersion)).answer;
    EXPECT_EQ(std::vector<int>({int(v.size()), v[70], v[71]}), std::vector<int>({int(kVersionBytes), 'x', 0}));
    for (uint16_t kind : {0, 1})
        for (uint16_t start : {0, 64, 128, 192, 32}) {
            const Bytes blk = ask(e, request(kData64, start, kind)).answer;
            ASSERT_EQ(blk.size(), kBlockBytes);
            for (int i = 0; i < 64; i += 21)
                EXPECT_EQ(wordAt(blk, 2 * i), start % 64 ? 0 : dataSample(start >= 128, kind, start % 128 + i)) << start;
        }
    EXPECT_TRUE(dataSample(0, 0, 10) != dataSample(1, 0, 10) && dataSample(0, 0, 10) != dataSample(0, 1, 10));
    for (int n = 0; n < 3; ++n) EXPECT_EQ(wordsOf(ask(e, request(kLive)).answer), liveWords(n, initialRamSet(0)[3]));

    // RAM and EEPROM start apart and keep writes apart; teach moves the reference, others do not.
    for (int s : {0, 1}) {
        EXPECT_EQ(wordsOf(ask(e, request(kReadEeprom, s)).answer), initialEepromSet(s));
        EXPECT_NE(initialRamSet(s)[2], initialEepromSet(s)[2]);
    }
    const Words set1 = {7, 600, 1500, 200, 900}; // any non-zero set number names set 1
    EXPECT_EQ(wordsOf(ask(e, frameOf(kWriteRam, set1)).answer)[2], 1500);
    EXPECT_EQ(wordsOf(ask(e, request(kReadRam, 1)).answer)[2], 1500);
    Words set0 = initialEepromSet(0);
    set0[2] = 3000;
    ask(e, frameOf(kWriteEeprom, set0));
    EXPECT_EQ(std::vector<int>({e.eepromSet(0)[2], e.ramSet(0)[2]}), std::vector<int>({3000, initialRamSet(0)[2]}));
    Words top = e.ramSet(0);
    top[2] = 4093;
    e.setRamSet(0, top);
    ask(e, request(kTeach));
    EXPECT_EQ(e.ramSet(0)[2], (4093 + kTeachStep) % 4096);
    for (int order : {kReset, kRefresh}) EXPECT_EQ(wordAt(ask(e, request(order)).answer, 2), order);
    EXPECT_TRUE(ask(e, request(12)).answer.empty());
    EXPECT_EQ(e.ramSet(0)[2], (4093 + kTeachStep) % 4096);
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

// Each fault, set through the test API (a PtyHost made with it) and through zep4-sim's command
// line alike: what the controller says to two requests on its line, noting an answer that came
// late or in pieces, and a line dropped after it.
TEST(SimFaults, EachFaultFromTheApiAndTheCommandLine) {
    auto faults = [](auto change) { Faults f; change(f); return f; };
    const struct { QStringList args; Faults faults; int order1, order2; const char* expect; } cases[] = {
        {{"--silent"}, faults([](Faults& f) { f.silent = true; }), kEcho, kLive, "- -"},
        {{"--silent-order", "7"}, faults([](Faults& f) { f.silentOrders = {kVersion}; }), kVersion, kEcho, "- 36 00AA"},
        {{"--silent-after", "1"}, faults([](Faults& f) { f.silentAfter = 1; }), kEcho, kEcho, "36 00AA -"},
        {{"--silent-first", "1"}, faults([](Faults& f) { f.silentFirst = 1; }), kEcho, kEcho, "- 36 00AA"},
        {{"--short-by", "1"}, faults([](Faults& f) { f.shortBy = 1; }), kEcho, kData64, "35 00AA 127 0DCC"},
        {{"--wrong-echo"}, faults([](Faults& f) { f.wrongEcho = true; }), kEcho, kInfoBlock, "36 00AB 36 00AB"},
        {{"--echo-high"}, faults([](Faults& f) { f.echoHighByte = true; }), kEcho, kInfoBlock, "36 AA00 36 AA00"},
        {{"--noise", "5"}, faults([](Faults& f) { f.noiseBytes = 5; }), kEcho, kEcho, "41 00AA 41 00AA"},
        {{"--hangup-after", "2"}, faults([](Faults& f) { f.hangupAfter = 2; }), kEcho, kEcho, "36 00AA 36 00AA hangup"},
        {{"--firmware-no-zero"}, faults([](Faults& f) { f.firmwareNoZero = true; }), kVersion, kEcho, "72 3920 36 00AA"},
        {{"--other-set"}, faults([](Faults& f) { f.otherSet = true; }), kReadRam, kReadEeprom, "36 0001 36 0001"},
        {{"--overlong", "3"}, faults([](Faults& f) { f.overlongBy = 3; }), kVersion, kData64, "75 0000 131 0DCC"},
        {{"--late-order", "2", "--late", "300"}, faults([](Faults& f) { f.lateOrders = {kReadRam}, f.lateSeconds = 0.3; }),
         kReadRam, kEcho, "36 0000 late 36 00AA"},
        {{"--split", "3", "--split-pause", "300"}, faults([](Faults& f) { f.splitPieces = 3, f.splitPauseSeconds = 0.3; }),
         kEcho, kVersion, "36 00AA in 3 72 0000 in 3"},
    };
    const std::string link = "/tmp/zep4-sim-prog-" + std::to_string(::getpid());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        Options o = WithFaults(c.faults);
        o.firmwareText = "T9"; // "T9 " over and over without its zero
        PtyHost host(o);
        ASSERT_TRUE(host.start());
        QProcess prog;
        const QStringList more = {"--firmware", "T9", "--link", QString::fromStdString(link)};
        ASSERT_EQ(startProgram(prog, c.args + more).rfind("/dev/pts/", 0), 0u);
        for (const std::string& device : {host.devicePath(), link}) {
            const int fd = openRaw(device);
            std::string said;
            for (int order : {c.order1, c.order2}) {
                const double t0 = steadySeconds();
                std::vector<double> at;
                // Pieces 0.3 s apart, told from a scheduling hiccup with room on both sides.
                const double quiet = c.faults.splitPieces > 1 ? 0.6 : 0.15;
                said += (said.empty() ? "" : " ") + Said(exchange(fd, request(order), 4096, quiet, &at));
                int pauses = 0;
                for (std::size_t i = 1; i < at.size(); ++i) pauses += at[i] - at[i - 1] > 0.15;
                said += (!at.empty() && at[0] - t0 > 0.25 ? " late" : "") + (pauses ? " in " + std::to_string(pauses + 1) : "");
            }
            pollfd p{fd, POLLIN, 0};
            uint8_t b;
            if (std::string(c.expect).find("hangup") != std::string::npos && ::poll(&p, 1, 1000) == 1 && ::read(fd, &b, 1) <= 0)
                said += " hangup";
            EXPECT_EQ(said, c.expect) << device;
            ::close(fd);
        }
        prog.terminate(); // ends cleanly and takes its link away
        ASSERT_TRUE(prog.waitForFinished());
        EXPECT_EQ(prog.exitStatus() == QProcess::NormalExit ? prog.exitCode() : -1, 0);
        struct stat st{};
        EXPECT_NE(::lstat(link.c_str(), &st), 0);
    }
    QProcess bad; // a usage error for a bad option
    EXPECT_EQ(startProgram(bad, {"--noise"}), "");
    bad.waitForFinished();
    EXPECT_EQ(bad.exitCode(), 2);
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

// SIGUSR1 unplugs zep4-sim: the line hangs up, the link goes; the next one plugs it back in at
// the link, printing the new device. (The test API: the front end's reconnection tests.)
TEST(SimPty, UnpluggedAndPluggedBackBySignal) {
    const std::string link = "/tmp/zep4-sim-plug-" + std::to_string(::getpid());
    QProcess prog;
    ASSERT_EQ(startProgram(prog, {"--link", QString::fromStdString(link)}).rfind("/dev/pts/", 0), 0u);
    const int fd = openRaw(link);
    ::kill(prog.processId(), SIGUSR1);
    pollfd p{fd, POLLIN, 0};
    uint8_t b;
    EXPECT_TRUE(::poll(&p, 1, 2000) == 1 && ::read(fd, &b, 1) <= 0) << "no hang-up";
    ::close(fd);
    ::kill(prog.processId(), SIGUSR1);
    prog.waitForReadyRead(2000);
    EXPECT_EQ(prog.readLine().trimmed().toStdString().rfind("/dev/pts/", 0), 0u);
    const int again = openRaw(link);
    EXPECT_EQ(Said(exchange(again, request(kEcho), kFrameBytes)), "36 00AA");
    ::close(again);
    prog.terminate();
    prog.waitForFinished();
}
