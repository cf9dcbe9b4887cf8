// SPDX-License-Identifier: GPL-3.0-or-later
// zep4ctl against simulated controllers: files equal to the controller's sets, comparisons
// that name the differing word, writes read back, the failures' exit codes and messages, a
// run over every port, and record, live and data output. Every run has no display.

#include <QProcess>

#include <tuple>

#include "support/harness.h"

namespace {

using zep4sim::Words;
using Strings = std::vector<std::string>;

struct Outcome { int code = -1; std::string out, err; };

QProcess* Start(const Strings& args, const std::string& ports) {
    auto* p = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY"}) env.remove(display);
    env.insert("QT_QPA_PLATFORM", "xcb"); // a program that needed a display would abort
    env.insert("ZEP4_SERIAL_PORTS", QString::fromStdString(ports));
    p->setProcessEnvironment(env);
    QStringList a;
    for (const std::string& s : args) a << QString::fromStdString(s);
    p->start(QString(std::getenv("ZEP4_TEST_BIN_DIR")) + "/zep4ctl", a);
    return p;
}
Outcome Finish(QProcess* p) {
    const std::unique_ptr<QProcess> owned(p);
    const bool ended = p->waitForFinished(60000) && p->exitStatus() == QProcess::NormalExit;
    return {ended ? p->exitCode() : -1, p->readAllStandardOutput().toStdString(),
            p->readAllStandardError().toStdString()};
}
Outcome Ctl(const Strings& args, const std::string& ports) { return Finish(Start(args, ports)); }

// Distinct values in every word, so a swapped or shifted word shows.
Words Set(uint16_t set, uint16_t base) {
    Words w{set};
    for (int i = 1; i < 16; ++i) w[i] = static_cast<uint16_t>(base + i);
    return w;
}
// The parameter file of two sets: set 1 carries words 1 to 4 only.
std::string FileOf(const Words& s0, const Words& s1) {
    std::string t;
    for (int i = 0; i < 32; ++i)
        t += QString::asprintf("%5u\n", i < 16 ? s0[i] : (i == 16 ? 1 : i < 21 ? s1[i - 16] : 0)).toStdString();
    return t;
}
void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

} // namespace

// One controller through every command: the reading ones first, then put and the set 0 commands,
// which change it, and a put whose read-back differs.
TEST(Ctl, OneControllerThroughEveryCommand) {
    const Words ram[2] = {Set(0, 100), Set(1, 200)}, eeprom[2] = {Set(0, 300), Set(1, 400)};
    const std::string dir = MakeTempDir("zep4-ctl"), path = dir + "/out.cfg", file = dir + "/new.cfg";
    auto sim = StartSim();
    for (int s : {0, 1}) {
        sim->engine().setRamSet(s, ram[s]);
        sim->engine().setEepromSet(s, eeprom[s]);
    }
    auto on = [&](const Strings& args) { return Ctl(args, sim->devicePath()); };

    // diff names each parameter that differs and ignores the set number (line 16) and the words
    // set 1 does not use (line 27); each of these lines changed by +3. --device wins over the port list.
    std::string text = FileOf(ram[0], ram[1]);
    for (int line : {27, 16, 5, 2}) text.replace(6 * line, 5, std::to_string(std::stoul(text.substr(6 * line)) + 3));
    WriteText(path, text);
    const Outcome diff = Ctl({"--device", sim->devicePath(), "diff", path}, dir + "/no-such-tty");
    EXPECT_EQ(std::make_pair(diff.code, diff.out),
              std::make_pair(1, std::string("refA (channel A): file 105, controller 102\nhysteresis (common): file 108, controller 105\n")));

    // The reading commands write nothing to the controller: get writes the sets of the memory asked
    // for, record the front end's own record file of three answers, live the words of the next two
    // (the indices, words 14 and 15, held to 1..128), data the samples.
    std::string record = RecHeaderLine(0), lines, rows, set0;
    for (uint32_t n = 0; n < 3; ++n) {
        std::ranges::copy(zep4sim::liveWords(n, ram[0][3]), pp);
        DecodeLiveAnswer();
        record += RecSampleLine();
    }
    for (int i = 0; i < 32; ++i)
        lines += std::to_string(std::clamp<int>(zep4sim::liveWords(3 + i / 16, ram[0][3])[i % 16], i % 16 / 14,
                                                i % 16 < 14 ? 65535 : 128)) + (i % 16 < 15 ? "\t" : "\n");
    for (int i = 0; i < 256; ++i)
        rows += std::to_string(i) + "\t" + std::to_string(zep4sim::dataSample(i / 128, 1, i % 128)) + "\n";
    // put writes both sets and reads them back; the set 0 commands print the new set 0 (teach adds 7 to refA).
    const Words want[2] = {Set(0, 500), Set(1, 600)};
    WriteText(file, FileOf(want[0], want[1]));
    const char* names[] = {"powerA", "refA", "tolA", "triglvlA", "hysteresis", "polarity", "hold", "average",
                           "hwmode", "evalmode", "trigmode", "outmode", "anamode", "sdelay", "maxmode"};
    for (int i = 1; i < 16; ++i) set0 += names[i - 1] + ("\t" + std::to_string(want[0][i] + (i == 2 ? 7 : 0))) + "\n";
    struct Case { Strings args; std::string out; std::vector<int> orders; } commands[] = {
        {{"get"}, FileOf(ram[0], ram[1]), {5, 2, 2}}, {{"get", "--eeprom"}, FileOf(eeprom[0], eeprom[1]), {5, 4, 4}},
        {{"record", "--samples", "3", "--interval", "0", "-o", path}, record, {5, 2, 8, 8, 8}},
        {{"live", "--count", "2"}, lines, {5, 2, 8, 8}}, {{"data", "--kind", "norm"}, rows, {5, 9, 9, 9, 9}},
        {{"put", file}, "", {5, 1, 1, 2, 2}}, {{"teach"}, set0, {5, 2, 6, 2}}, {{"reset"}, set0, {5, 2, 10, 2}},
        {{"refresh"}, set0, {5, 2, 11, 2}}, {{"put", "--eeprom", file}, "", {5, 3, 3, 4, 4}}};
    for (const Case& c : commands) {
        sim->clearRequests();
        const Outcome r = on(c.args);
        EXPECT_EQ(std::make_tuple(r.code, c.args.back() == path ? ReadBytes(path) : r.out, Orders(*sim)),
                  std::make_tuple(0, c.out, c.orders)) << c.args[0] << r.err;
    }
    EXPECT_EQ(FileOf(sim->engine().eepromSet(0), sim->engine().eepromSet(1)), FileOf(want[0], want[1]));

    // A controller that keeps another refB. Its reads come late, so the change lands between
    // the write of set 1 and its read.
    zep4sim::Faults late = MakeFaults(&zep4sim::Faults::lateOrders, std::set<int>{2});
    late.lateSeconds = 0.5;
    sim->setFaults(late);
    sim->clearRequests();
    QProcess* p = Start({"put", file}, sim->devicePath());
    EXPECT_TRUE(PumpUntil([&] { return CountOrder(*sim, 1) == 2; }, 20));
    Words other = sim->engine().ramSet(1);
    other[2] = 999;
    sim->engine().setRamSet(1, other);
    const Outcome r = Finish(p);
    EXPECT_EQ(std::make_tuple(r.code, r.out), std::make_tuple(1, "refB (channel B): file 602, controller 999\n"));
    std::filesystem::remove_all(dir);
}

// Every command against every way a port fails, then --all over two controllers and one of the
// silent ones, and a port number with no port.
TEST(Ctl, FailingPortsAndEveryPort) {
    const std::string dir = MakeTempDir("zep4-ctl-fail"), file = dir + "/f.cfg";
    WriteText(file, FileOf(zep4sim::initialRamSet(0), zep4sim::initialRamSet(1)));
    const std::string set0 = "no answer to the fetch of set 0: Timeout-RS-232...",
                      set1 = "no answer to the fetch of set 1: Timeout-RS-232...",
                      data = "data blocks not read: Timeout-RS-232 while reading 64 data-words!";
    // "OUT" stands for the run's own output file; after one answer (no text: "no answer to" the command).
    struct Command { Strings args; std::string after; bool writes; } commands[] = {
        {{"get", "-o", "OUT"}, set1, false}, {{"put", file}, set0, true}, {{"diff", file}, set1, false},
        {{"teach"}, "", true}, {{"reset"}, "", true}, {{"refresh"}, "", true},
        {{"live"}, "no live answer: Timeout RS232-Line!", false},
        {{"record", "--samples", "1", "--interval", "0", "-o", "OUT"}, "no live answer after", false},
        {{"data", "-o", "OUT"}, data, false}};
    const zep4sim::Faults faults[] = {
        MakeFaults(&zep4sim::Faults::silent, true),
        MakeFaults(&zep4sim::Faults::silentOrders, std::set<int>{1, 2, 3, 4, 6, 7, 8, 9, 10, 11}), // echo only
        MakeFaults(&zep4sim::Faults::silentAfter, 2), {}};
    std::vector<std::unique_ptr<zep4sim::PtyHost>> sims;
    std::vector<QProcess*> runs;
    auto device = [&](size_t i) { return i < sims.size() ? sims[i]->devicePath() : dir + "/no-such-tty"; };
    for (int f = 0; f < 4; ++f)
        for (Command& c : commands) {
            if (f < 3) sims.push_back(StartSim(WithFaults(faults[f])));
            Strings args = c.args;
            std::replace(args.begin(), args.end(), std::string("OUT"), dir + "/out" + std::to_string(runs.size()));
            runs.push_back(Start(args, device(runs.size())));
        }
    for (size_t i = 0; i < runs.size(); ++i) {
        const size_t f = i / std::size(commands);
        const Command& c = commands[i % std::size(commands)];
        const std::string what[] = {"line check failed: Timeout < 36 Bytes", c.args[0] == "data" ? data : set0,
                                    c.after.empty() ? "no answer to " + c.args[0] + ": Timeout RS-232!!" : c.after,
                                    "cannot open: Cannot open port"};
        const Outcome r = Finish(runs[i]);
        const std::string head = "zep4ctl: port 1 (" + device(i) + "): " + what[f];
        EXPECT_EQ(std::make_tuple(r.code, r.err.substr(0, head.size()), r.out), std::make_tuple(3, head, std::string()))
            << c.args[0] << " fault " << f;
        // Only a recording that began keeps its file (the header); nothing else leaves one.
        EXPECT_EQ(std::filesystem::exists(dir + "/out" + std::to_string(i)), c.args[0] == "record" && f == 2) << i;
        for (int o : f < 3 && !c.writes ? Orders(*sims[i]) : std::vector<int>()) // no write order
            EXPECT_FALSE(o == 1 || o == 3 || o == 6 || o >= 10) << c.args[0] << " order " << o;
    }

    // Port 2 is a silent controller from above.
    auto named = [](const char* text) { zep4sim::Options o; o.firmwareText = text; return o; };
    auto simA = StartSim(named("Unit A/1")), simB = StartSim(named("Unit B-2.1"));
    Words refB = zep4sim::initialRamSet(1);
    refB[2] = 471;
    simB->engine().setRamSet(1, refB);
    const std::string A = simA->devicePath(), B = simB->devicePath(), ports = A + ":" + sims[0]->devicePath() + ":" + B;
    const std::string fileA = dir + "/port1-Unit_A_1.cfg", fileB = dir + "/port3-Unit_B-2.1.cfg";
    const Outcome get = Ctl({"--all", "get", "-o", dir}, ports);
    EXPECT_EQ(std::make_pair(get.code, get.out),
              std::make_pair(0, "1\t" + A + "\t" + fileA + "\n3\t" + B + "\t" + fileB + "\n"));
    EXPECT_EQ(ReadBytes(fileB), FileOf(zep4sim::initialRamSet(0), refB));
    const std::string checked = "\tZEP4_SERIAL_PORTS\tEcho Check - Line Ok!\t";
    EXPECT_EQ(Ctl({"--all", "ports"}, ports).out, "1\t" + A + checked + "Unit A/1\n3\t" + B + checked + "Unit B-2.1\n");

    EXPECT_EQ(Ctl({"--port", "9", "get"}, file).err, "zep4ctl: port 9: no such port\n");
    std::filesystem::remove_all(dir);
}
