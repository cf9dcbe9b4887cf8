// SPDX-License-Identifier: GPL-3.0-or-later
// Live loop benchmark: the real Run loop, headless, against the simulated controller on a pty.
// Prints one figure a line. Run:  QT_QPA_PLATFORM=offscreen <build>/bin/bench_live
// Arguments (optional): paced exchanges (300), unpaced exchanges (3000), "hidden".
#include <QApplication>

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

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

constexpr double kLineExchange = 36 * 10 / 19200.0 * 2; // request and answer, 8N1: 37.5 ms

int answers = 0, stopAfter = 0;
double lastAnswerAt = 0;
std::vector<std::array<uint16_t, PNUM>> captured; // live answers, for replaying the plots

// The real receive path; the count is taken on the answers the controller sent back.
void CountingReceive(int port, int events, void* data) {
    RX_Receive_Function(port, events, data);
    ++answers;
    lastAnswerAt = Timer();
    if (captured.size() < captured.capacity()) {
        captured.emplace_back();
        std::memcpy(captured.back().data(), pp, sizeof pp);
    }
    if (answers == stopAfter) CallCtrlCallback(panelHandle, PANEL_BTNSTOP, EVENT_COMMIT);
}

double ThreadCpu() {
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

bool OpenSim(zep4sim::PtyHost& host) {
    if (!host.start()) return false;
    setenv("ZEP4_SERIAL_PORTS", host.devicePath().c_str(), 1);
    CloseCom(com);
    InitVars();
    InitRS232(1);
    InstallComCallback(com, eventMask, FRAME_LEN, com232::sync, CountingReceive, nullptr);
    return true;
}

// This thread's CPU clock, in seconds.
double ThreadClock() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

struct RunFigures {
    double wall, cpu, rate;
};

RunFigures RunLoop(int exchanges) {
    answers = 0;
    stopAfter = exchanges;
    const double cpu0 = ThreadCpu(), t0 = Timer();
    CallCtrlCallback(panelHandle, PANEL_BTNRUN, EVENT_COMMIT);
    const double wall = Timer() - t0, cpu = ThreadCpu() - cpu0;
    return {wall, cpu, answers / (lastAnswerAt - t0)};
}

void Percentiles(const char* name, std::vector<double>& ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%s_median_ms %.3f\n", name, ms[ms.size() / 2]);
    std::printf("%s_p99_ms %.3f\n", name, ms[ms.size() * 99 / 100]);
}

// Plot cost of each captured answer: the plot call alone, and with the event pass that
// paints the chart.
void TimePlots(const char* name, int source, bool norm) {
    SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, source);
    ApplyGraphSource();
    std::vector<double> call, callCpu, withPaint;
    call.reserve(captured.size());
    callCpu.reserve(captured.size());
    withPaint.reserve(captured.size());
    for (const auto& words : captured) {
        std::memcpy(pp, words.data(), sizeof pp);
        const double c0 = ThreadClock(), t0 = Timer();
        if (norm)
            PlotNORMValues(arrayNORM);
        else
            PlotRAWValues();
        const double t1 = Timer(), c1 = ThreadClock();
        QCoreApplication::processEvents(); // no idle sleep: only the pending paint is timed
        const double t2 = Timer();
        call.push_back((t1 - t0) * 1e3);
        callCpu.push_back((c1 - c0) * 1e3);
        withPaint.push_back((t2 - t0) * 1e3);
    }
    // Wall time counts any time the thread was preempted; the thread's CPU time does not.
    Percentiles(name, call);
    Percentiles((std::string(name) + "_cpu").c_str(), callCpu);
    Percentiles((std::string(name) + "_with_paint").c_str(), withPaint);
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    RegisterPanels();
    panelHandle = LoadPanel(0, kPanelResourceFile, PANEL);
    panelPopUp = LoadPanel(0, kPanelResourceFile, POPUP);
    if (panelHandle <= 0 || panelPopUp <= 0) {
        std::fprintf(stderr, "panels did not load\n");
        return 1;
    }
    GetProjectDir(proj_dir);

    const int pacedN = argc > 1 ? std::atoi(argv[1]) : 300;
    const int unpacedN = argc > 2 ? std::atoi(argv[2]) : 3000;
    // "hidden" keeps the panel off screen: the same work without any painting.
    const bool hidden = argc > 3 && std::strcmp(argv[3], "hidden") == 0;
    if (!hidden) DisplayPanel(panelHandle);

    {
        zep4sim::Options o;
        o.paced = true;
        o.answerDelaySeconds = 0.001;
        zep4sim::PtyHost host(o);
        if (!OpenSim(host)) return 1;
        SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 2);
        const RunFigures f = RunLoop(pacedN);
        std::printf("paced_exchanges %d\n", answers);
        std::printf("paced_exchanges_per_s %.2f\n", f.rate);
        std::printf("paced_ratio_to_line %.3f\n", f.rate * (kLineExchange + 0.001));
        std::printf("paced_ui_cpu_percent %.2f\n", 100.0 * f.cpu / f.wall);
        // Request to request on the controller's side: the line time plus what the front end adds.
        std::vector<double> cycle;
        double prev = -1;
        for (const auto& r : host.requests()) {
            if (r.order != ORD_LIVE) continue;
            if (prev >= 0) cycle.push_back((r.time - prev) * 1e3);
            prev = r.time;
        }
        if (!cycle.empty()) Percentiles("paced_cycle", cycle);
        CloseCom(com);
        host.stop();
    }
    if (unpacedN > 0) {
        zep4sim::PtyHost host(zep4sim::defaultOptions());
        if (!OpenSim(host)) return 1;
        captured.reserve(static_cast<size_t>(unpacedN));
        SetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, 2);
        const RunFigures f = RunLoop(unpacedN);
        std::printf("unpaced_exchanges %d\n", answers);
        std::printf("unpaced_exchanges_per_s %.1f\n", f.rate);
        std::printf("unpaced_ui_cpu_percent %.1f\n", 100.0 * f.cpu / f.wall);
        CloseCom(com);
        host.stop();
    }
    if (!captured.empty()) {
        TimePlots("plot_norm", 2, true);
        TimePlots("plot_raw", 0, false);
    }

    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("peak_rss_mb %.1f\n", ru.ru_maxrss / 1024.0);
    DiscardPanel(panelPopUp);
    DiscardPanel(panelHandle);
    return 0;
}
