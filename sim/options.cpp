// SPDX-License-Identifier: GPL-3.0-or-later
// zep4-sim's command line.
#include "sim/sim.h"

#include <cstdlib>

namespace zep4sim {

namespace {

bool toInt(const std::string& s, int& out) {
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || v < 0 || v > 1000000) return false;
    out = static_cast<int>(v);
    return true;
}

} // namespace

Args parseArgs(const std::vector<std::string>& args, Options& o, std::string& logPath, std::string& bad) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string v;
        auto next = [&] { return i + 1 < args.size() ? (v = args[++i], true) : false; };
        int n = 0;
        auto number = [&] { return next() && toInt(v, n); };
        bool ok = true;
        if (a == "--help" || a == "-h") return Args::Help;
        else if (a == "--paced") o.paced = true;
        else if (a == "--delay") { ok = number(); o.answerDelaySeconds = n / 1000.0; }
        else if (a == "--link") { ok = next(); o.linkPath = v; }
        else if (a == "--firmware") { ok = next(); o.firmwareText = v; }
        else if (a == "--log") { ok = next(); logPath = v; }
        else if (a == "--burst") { ok = number() && n >= 1; o.burstBytes = n; }
        else if (a == "--busy-inputs") o.sensor.inputsEveryAnswer = true;
        else if (a == "--inputs-rate") { ok = number(); o.sensor.inputsPerSecond = n; }
        else if (a == "--value-noise") { ok = number(); o.sensor.valueNoise = n; }
        else if (a == "--silent") o.faults.silent = true;
        else if (a == "--silent-order") { ok = number(); o.faults.silentOrders.insert(n); }
        else if (a == "--silent-after") { ok = number(); o.faults.silentAfter = n; }
        else if (a == "--silent-first") { ok = number(); o.faults.silentFirst = n; }
        else if (a == "--short-by") { ok = number(); o.faults.shortBy = n; }
        else if (a == "--wrong-echo") o.faults.wrongEcho = true;
        else if (a == "--noise") { ok = number(); o.faults.noiseBytes = n; }
        else if (a == "--hangup-after") { ok = number(); o.faults.hangupAfter = n; }
        else if (a == "--firmware-no-zero") o.faults.firmwareNoZero = true;
        else if (a == "--echo-high") o.faults.echoHighByte = true;
        else if (a == "--other-set") o.faults.otherSet = true;
        else if (a == "--overlong") { ok = number(); o.faults.overlongBy = n; }
        else if (a == "--late-order") { ok = number(); o.faults.lateOrders.insert(n); }
        else if (a == "--late") { ok = number(); o.faults.lateSeconds = n / 1000.0; }
        else if (a == "--split") { ok = number() && n >= 1; o.faults.splitPieces = n; }
        else if (a == "--split-pause") { ok = number(); o.faults.splitPauseSeconds = n / 1000.0; }
        else ok = false;
        if (!ok) {
            bad = a;
            return Args::Bad;
        }
    }
    return Args::Run;
}

} // namespace zep4sim
