// SPDX-License-Identifier: GPL-3.0-or-later
// Idle and waiting cost: CPU time over wall time of the event pump with nothing to do, of the
// answer wait and of the firmware-text wait against a controller that never answers, and how
// late past its limit the answer wait sees its time-out.
// Prints one figure a line. Run:  QT_QPA_PLATFORM=offscreen <build>/bin/bench_idle_cpu
#include <QApplication>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/app.h"
#include "app/panels.h"
#include "link/com232.h"
#include "runtime/serial.h"
#include "runtime/timing.h"
#include "runtime/ui.h"
#include "sim/sim.h"

namespace {

double CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

// Runs body until at least `seconds` of wall time have passed; prints CPU / wall.
template <class F>
void Measure(const char* name, double seconds, F body) {
    const double cpu0 = CpuSeconds(), t0 = Timer();
    int rounds = 0;
    do {
        body();
        ++rounds;
    } while (Timer() - t0 < seconds);
    const double wall = Timer() - t0, cpu = CpuSeconds() - cpu0;
    std::printf("%s_cpu_per_wall %.4f (cpu %.3f s, wall %.3f s, %d rounds)\n", name, cpu / wall, cpu, wall,
                rounds);
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);

    zep4sim::Options options;
    options.faults.silent = true;
    zep4sim::PtyHost host(options);
    if (!host.start()) {
        std::fprintf(stderr, "the simulated controller did not start\n");
        return 1;
    }
    setenv("ZEP4_SERIAL_PORTS", host.devicePath().c_str(), 1);

    RegisterPanels();
    panelHandle = LoadPanel(0, kPanelResourceFile, PANEL);
    panelPopUp = LoadPanel(0, kPanelResourceFile, POPUP);
    if (panelHandle < 0 || panelPopUp < 0) {
        std::fprintf(stderr, "the panels did not load\n");
        return 1;
    }
    GetProjectDir(proj_dir);
    InitVars();
    DisplayPanel(panelHandle);
    InitRS232(com); // the line check fails: the controller is silent

    Measure("idle_pump", 3.0, [] { ProcessSystemEvents(); });
    double late = 0; // how long after its limit the wait saw its time-out
    Measure("wait_rx_full_silent", 3.0, [&late] {
        FillTxBuf(ORD_LIVE, pp);
        FlushInQ(com);
        rx_flag = 0;
        ComWrt(com, szWriteBuf, FRAME_LEN);
        WaitRxFull();
        late = std::max(late, tdiff - TIMEOUT);
    });
    std::printf("wait_rx_full_timeout_seen_after_limit_ms_max %.1f\n", late * 1000.0);
    Measure("firmware_wait_silent", 3.0, [] { GetVERSIONInfo(); });

    CloseCom(com);
    DiscardPanel(panelPopUp);
    DiscardPanel(panelHandle);
    host.stop();
    return 0;
}
