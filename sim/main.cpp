// SPDX-License-Identifier: GPL-3.0-or-later
// zep4-sim: the simulated controller on a pseudo-terminal, for trying the front end by hand.
#include "sim/sim.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

volatile std::sig_atomic_t quit = 0;
void onSignal(int) { quit = 1; }
volatile std::sig_atomic_t plugToggles = 0;
void onPlugSignal(int) { plugToggles = plugToggles + 1; }

void usage(std::FILE* to) {
    std::fputs(
        "usage: zep4-sim [options]\n"
        "Serves a simulated two-channel controller on a pseudo-terminal and prints its device\n"
        "path on the first line. Runs until SIGINT or SIGTERM. SIGUSR1 pulls the line out\n"
        "(a hang-up; the device and the link go away) and the next one plugs it back in,\n"
        "printing the new device path.\n"
        "  --paced              bytes take their time on a 19200-baud line\n"
        "  --delay MS           pause between a request and its answer\n"
        "  --link PATH          put a symlink to the device at PATH (removed on exit)\n"
        "  --firmware TEXT      firmware text answered to order 7\n"
        "  --log PATH           write each request taken in to PATH: seconds since start,\n"
        "                       order, word 0\n"
        "  --burst N            paced: answers leave in pieces of N bytes (1, the default: byte\n"
        "                       by byte; 8: a UART's FIFO; 36 or more: whole frames), each when\n"
        "                       its last byte would have arrived\n"
        "busy sensor (live answers):\n"
        "  --busy-inputs        the inputs change with every answer\n"
        "  --inputs-rate N      the inputs change N times a second\n"
        "  --value-noise N      the live values jitter by up to N\n"
        "faults:\n"
        "  --silent             answer nothing\n"
        "  --silent-order N     never answer order N (repeatable)\n"
        "  --silent-after N     answer the first N requests, then nothing\n"
        "  --silent-first N     leave the first N requests unanswered\n"
        "  --short-by N         cut N bytes off the end of every answer\n"
        "  --wrong-echo         echo word 0x00AB instead of 0x00AA\n"
        "  --noise N            N noise bytes before every answer\n"
        "  --hangup-after N     drop the line after N requests\n"
        "  --firmware-no-zero   firmware text fills all 72 bytes, no zero\n"
        "  --echo-high          echo word 0xAA00 (0xAA in the high byte)\n"
        "  --other-set          answer a parameter read with the other set\n"
        "  --overlong N         N bytes more after a firmware text or data block\n"
        "  --late-order N       answer order N late (repeatable) ...\n"
        "  --late MS            ... by this much on top of --delay\n"
        "  --split N            send every answer in N pieces ...\n"
        "  --split-pause MS     ... with this pause between them\n"
        "  --help               this text\n",
        to);
}

} // namespace

// Appends the requests taken in since the last call.
void logRequests(std::FILE* log, const zep4sim::PtyHost& host, std::size_t& written, double t0) {
    if (!log) return;
    const std::vector<zep4sim::Request> r = host.requests();
    for (; written < r.size(); ++written)
        std::fprintf(log, "%.3f order %d word0 %u\n", r[written].time - t0, r[written].order,
                     static_cast<unsigned>(r[written].words[0]));
    std::fflush(log);
}

int main(int argc, char** argv) {
    zep4sim::Options o;
    std::string logPath, bad;
    switch (zep4sim::parseArgs(std::vector<std::string>(argv + 1, argv + argc), o, logPath, bad)) {
    case zep4sim::Args::Help: usage(stdout); return 0;
    case zep4sim::Args::Bad:
        std::fprintf(stderr, "zep4-sim: bad or incomplete option '%s'\n", bad.c_str());
        usage(stderr);
        return 2;
    case zep4sim::Args::Run: break;
    }

    struct sigaction sa{};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    struct sigaction plug{};
    plug.sa_handler = onPlugSignal;
    sigemptyset(&plug.sa_mask);
    sigaction(SIGUSR1, &plug, nullptr);

    std::FILE* log = nullptr;
    if (!logPath.empty() && !(log = std::fopen(logPath.c_str(), "w"))) {
        std::fprintf(stderr, "zep4-sim: cannot write the log '%s'\n", logPath.c_str());
        return 1;
    }
    zep4sim::PtyHost host(o);
    if (!host.start()) {
        std::fprintf(stderr, "zep4-sim: cannot open a pseudo-terminal\n");
        return 1;
    }
    const double t0 = zep4sim::steadySeconds();
    std::size_t logged = 0;
    std::printf("%s\n", host.devicePath().c_str());
    std::fflush(stdout);

    sigset_t none;
    sigemptyset(&none);
    bool told = false;
    bool unplugged = false;
    int toggled = 0;
    while (!quit) {
        for (; toggled != plugToggles; ++toggled) {
            if (!unplugged) {
                host.unplug();
                std::fprintf(stderr, "zep4-sim: unplugged\n");
                unplugged = true;
            } else if (host.plugIn()) {
                std::printf("%s\n", host.devicePath().c_str());
                std::fflush(stdout);
                unplugged = false;
            } else {
                std::fprintf(stderr, "zep4-sim: cannot plug the line back in\n");
            }
        }
        // Woken by the signal; the hang-up check only needs to be prompt enough for a person.
        timespec ts{0, 200000000L};
        nanosleep(&ts, nullptr);
        logRequests(log, host, logged, t0);
        if (host.hungUp() && !told) {
            std::fprintf(stderr, "zep4-sim: line dropped (hang-up fault)\n");
            told = true;
        }
    }
    host.stop();
    logRequests(log, host, logged, t0);
    if (log) std::fclose(log);
    return 0;
}
