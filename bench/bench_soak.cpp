// SPDX-License-Identifier: GPL-3.0-or-later
// Soak: one unpaced live run of many exchanges through the real Run loop against the simulated
// controller, watching resident memory. Prints one figure a line.
// Run:  QT_QPA_PLATFORM=offscreen <build>/bin/bench_soak [exchanges (100000)]
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app.h"
#include "app/panels.h"
#include "link/com232.h"
#include "live/live.h"
#include "runtime/files.h"
#include "runtime/serial.h"
#include "runtime/timing.h"
#include "runtime/ui.h"
#include "sim/sim.h"

namespace {

zep4sim::PtyHost* host = nullptr;
int answers = 0, stopAfter = 0;
double firstAnswerAt = 0, lastAnswerAt = 0;
long rssAt10k = -1, rssAtHalf = -1;

// Resident memory in KiB, from /proc/self/status.
long VmRssKiB() {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmRSS:", 6) == 0) kib = std::strtol(line + 6, nullptr, 10);
    std::fclose(f);
    return kib;
}

// The real receive path, counting answers; Stop is pressed from in here once enough came.
void CountingReceive(int port, int events, void* data) {
    RX_Receive_Function(port, events, data);
    if (!(events & 0x8000) || !rx_flag) return;
    if (++answers == 1) firstAnswerAt = Timer();
    lastAnswerAt = Timer();
    // The controller's own request log would grow with the run: keep it out of the figure.
    if (answers % 1000 == 0) host->clearRequests();
    if (answers == 10000) rssAt10k = VmRssKiB();
    if (answers == stopAfter / 2) rssAtHalf = VmRssKiB();
    if (answers == stopAfter) CallCtrlCallback(panelHandle, PANEL_BTNSTOP, EVENT_COMMIT);
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    stopAfter = argc > 1 ? std::atoi(argv[1]) : 100000;
    if (stopAfter < 2) stopAfter = 2;

    RegisterPanels();
    panelHandle = LoadPanel(0, kPanelResourceFile, PANEL);
    panelPopUp = LoadPanel(0, kPanelResourceFile, POPUP);
    if (panelHandle <= 0 || panelPopUp <= 0) {
        std::fprintf(stderr, "panels did not load\n");
        return 1;
    }
    GetProjectDir(proj_dir);
    DisplayPanel(panelHandle);

    zep4sim::PtyHost sim(zep4sim::defaultOptions());
    host = &sim;
    if (!sim.start()) {
        std::fprintf(stderr, "the simulated controller did not start\n");
        return 1;
    }
    setenv("ZEP4_SERIAL_PORTS", sim.devicePath().c_str(), 1);
    InitVars();
    InitRS232(1);
    InstallComCallback(com, eventMask, FRAME_LEN, com232::sync, CountingReceive, nullptr);
    SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 2); // the normalised chart: the heavier plot
    ApplyGraphSource();
    ProcessSystemEvents();

    const long rssStart = VmRssKiB();
    const double t0 = Timer();
    CallCtrlCallback(panelHandle, PANEL_BTNRUN, EVENT_COMMIT);
    const double wall = Timer() - t0;
    const long rssEnd = VmRssKiB();

    std::string status;
    GetCtrlVal(panelHandle, PANEL_STATUS, status);
    std::printf("soak_exchanges %d\n", answers);
    std::printf("soak_wall_s %.1f\n", wall);
    std::printf("soak_exchanges_per_s %.1f\n", answers > 1 ? (answers - 1) / (lastAnswerAt - firstAnswerAt) : 0.0);
    std::printf("soak_rss_start_kib %ld\n", rssStart);
    std::printf("soak_rss_after_10000_kib %ld\n", rssAt10k);
    std::printf("soak_rss_half_kib %ld\n", rssAtHalf);
    std::printf("soak_rss_end_kib %ld\n", rssEnd);
    std::printf("soak_rss_growth_10000_to_end_kib %ld\n", rssAt10k >= 0 ? rssEnd - rssAt10k : -1);
    std::printf("soak_status \"%s\"\n", status.c_str());
    CloseCom(com);
    sim.stop();
    DiscardPanel(panelPopUp);
    DiscardPanel(panelHandle);
    return answers == stopAfter ? 0 : 1;
}
