// SPDX-License-Identifier: GPL-3.0-or-later
// What the user gets: the front end as a whole process (every thread, CPU from getrusage) under an
// X server with its main panel shown, against zep4-sim in a process of its own, paced at the
// real line rate with a 1 ms answer delay. For a quiet sensor and a busy one (inputs changing
// with every answer, noisy values), each with answers arriving in 1-, 8- and 36-byte pieces:
// each graph source in turn, then a minimal reference client on the same controller, whose
// exchange rate the live loop's is compared with. With the busy sensor in 8-byte pieces also a
// recording at interval 1 and at interval 0; the idle panel once. One figure a line, then a
// summary table.
//
//   build/bin/bench_desktop [seconds per figure (10)]
//
// Without a display it starts itself again under xvfb-run (1280x1024x24).
#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/panels.h"
#include "link/com232.h"
#include "runtime/serial.h"
#include "runtime/timing.h"
#include "runtime/ui.h"
#include "recorder/recorder.h"

extern char** environ;

namespace {

int answers = 0;

void CountingReceive(int port, int events, void* data) {
    RX_Receive_Function(port, events, data);
    ++answers;
}

// CPU seconds of the whole process, all its threads (those that ended too), user and system.
// Linux sums the threads' on-CPU time in nanoseconds; the clock ticks of /proc/self/stat are
// too coarse for a figure of one per cent over ten seconds, and summing
// /proc/self/task/*/schedstat loses a thread that ends during the window.
double ProcessCpu() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

double PeakRssMb() {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

// Context switches of the main thread (voluntary and not): about one per wake-up.
long MainSwitches() {
    std::ifstream f("/proc/self/task/" + std::to_string(getpid()) + "/status");
    std::string line;
    long n = 0;
    while (std::getline(f, line))
        if (line.find("ctxt_switches:") != std::string::npos) n += std::atol(line.c_str() + line.find(':') + 1);
    return n;
}

struct Window {
    double cpu = 0, wall = 0;
    int answers = 0;
    long switches = 0; // the main thread's
};

// Runs start (a callback that returns when stop() has ended it), measuring from warm-up s on
// for measure s, then calls stop.
Window Measure(void (*start)(), void (*stop)(), double warmup, double measure) {
    static Window w;
    static double cpu0, t0;
    static int n0;
    static long s0;
    static void (*stopper)();
    w = Window{};
    stopper = stop;
    QTimer::singleShot(static_cast<int>(warmup * 1000), [] {
        cpu0 = ProcessCpu(), t0 = Timer(), n0 = answers, s0 = MainSwitches();
    });
    QTimer::singleShot(static_cast<int>((warmup + measure) * 1000), [] {
        w.cpu = ProcessCpu() - cpu0, w.wall = Timer() - t0, w.answers = answers - n0, w.switches = MainSwitches() - s0;
        stopper();
    });
    start();
    return w;
}

// The reference: writes the next live request the instant the last 36-byte answer is in. Its
// CPU (of a core, the whole process while it runs alone) is what the bare exchange costs here.
double ReferenceRate(const std::string& device, double seconds, double* cpuPercent) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return 0;
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &tio);
    // An answer still on its way from the last exchange would make two requests outstanding
    // from then on, and the line carries them both at once: let it come, then drop it.
    usleep(200000);
    tcflush(fd, TCIOFLUSH);
    unsigned char req[36] = {0x00, 0x55, 0x00, ORD_LIVE};
    unsigned char ans[36];
    int n = 0;
    const double t0 = Timer(), cpu0 = ProcessCpu();
    while (Timer() - t0 < seconds) {
        if (::write(fd, req, sizeof req) != static_cast<ssize_t>(sizeof req)) break;
        size_t got = 0;
        while (got < sizeof ans) {
            const ssize_t r = ::read(fd, ans + got, sizeof ans - got);
            if (r <= 0) break;
            got += static_cast<size_t>(r);
        }
        if (got < sizeof ans) break;
        ++n;
    }
    const double wall = Timer() - t0;
    const double rate = n / wall;
    *cpuPercent = 100.0 * (ProcessCpu() - cpu0) / wall;
    ::close(fd);
    return rate;
}

// The simulated controller with these arguments, once its link is there; 0 on failure.
pid_t StartSim(std::vector<std::string> args, const std::string& link) {
    std::vector<char*> sa;
    for (auto& a : args) sa.push_back(a.data());
    sa.push_back(nullptr);
    pid_t pid = 0;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    const int r = posix_spawn(&pid, args[0].c_str(), &fa, nullptr, sa.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (r != 0) {
        std::perror("zep4-sim");
        return 0;
    }
    for (int i = 0; i < 100 && access(link.c_str(), F_OK) != 0; ++i) usleep(20000);
    return pid;
}

std::string LoadAverage() {
    std::ifstream f("/proc/loadavg");
    std::string a, b, c;
    f >> a >> b >> c;
    return a + " " + b + " " + c;
}

void PressRun() { OperateCtrl(panelHandle, PANEL_BTNRUN); }
// ZEP4_BENCH_SHOT=prefix saves the panel as each graph source ends, to look at what was drawn.
void PressStop() {
    if (const char* shot = std::getenv("ZEP4_BENCH_SHOT")) {
        int source = 0;
        GetCtrlVal(panelHandle, PANEL_GRAPHSOURCE, source);
        SavePanelImage(panelHandle, (std::string(shot) + std::to_string(source) + ".png").c_str());
        // What the X server shows: only the lines the last refreshes blanked and drew again.
        QGuiApplication::primaryScreen()->grabWindow(0).save(
            QString::fromStdString(std::string(shot) + std::to_string(source) + "-screen.png"), "PNG");
    }
    OperateCtrl(panelHandle, PANEL_BTNSTOP);
}
void PressRecord() { CallCtrlCallback(panelPopUp, POPUP_RECSTART, EVENT_COMMIT); }
void PressStopRecord() { CallCtrlCallback(panelPopUp, POPUP_RECSTOP, EVENT_COMMIT); }
void Idle() { RunUserInterface(); }
void EndIdle() { QuitUserInterface(0); }

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("ZEP4_BENCH_UNDER_XVFB")) {
        setenv("ZEP4_BENCH_UNDER_XVFB", "1", 1);
        std::vector<char*> args = {const_cast<char*>("xvfb-run"), const_cast<char*>("-a"), const_cast<char*>("-s"),
                                   const_cast<char*>("-screen 0 1280x1024x24")};
        for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
        args.push_back(nullptr);
        execvp("xvfb-run", args.data());
        std::perror("xvfb-run");
        return 1;
    }
    if (const char* p = std::getenv("QT_QPA_PLATFORM"); p && std::strcmp(p, "xcb") != 0) unsetenv("QT_QPA_PLATFORM");
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    // ZEP4_BENCH_ONLY=busy_b8 (say) runs that sensor and burst alone, for a profile.
    const char* only = std::getenv("ZEP4_BENCH_ONLY");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    const std::string bin = std::string(argv[0]).substr(0, std::string(argv[0]).rfind('/') + 1);
    const std::string link = "/tmp/zep4-bench-" + std::to_string(getpid()) + ".tty";
    setenv("ZEP4_SERIAL_PORTS", link.c_str(), 1);

    QApplication app(argc, argv);
    RegisterPanels();
    panelHandle = LoadPanel(0, kPanelResourceFile, PANEL);
    panelPopUp = LoadPanel(0, kPanelResourceFile, POPUP);
    GetProjectDir(proj_dir);
    InitVars();
    DisplayPanel(panelHandle);

    std::printf("platform %s\n", QGuiApplication::platformName().toUtf8().constData());
    std::printf("qt %s\n", qVersion());
    std::printf("seconds_per_figure %.0f\n", seconds);
    std::printf("load_average_at_start %s\n", LoadAverage().c_str());
    const char* names[] = {"raw_ab", "norm_ab", "norm_a_band", "norm_b_band"};
    struct Row {
        std::string name;
        double cpu[4], ratio[4];
        double reference, referenceCpu;
    };
    std::vector<Row> rows;
    double idle = -1, recording[2] = {-1, -1};
    for (const bool busy : {false, true}) {
        for (const int burst : {1, 8, 36}) {
            Row row{std::string(busy ? "busy" : "quiet") + "_b" + std::to_string(burst), {}, {}, 0, 0};
            if (only && row.name != only) continue;
            // The simulated controller in a process of its own, so its work is not counted as ours.
            std::vector<std::string> simArgs = {bin + "zep4-sim", "--paced", "--delay", "1", "--burst",
                                                std::to_string(burst), "--link", link};
            if (busy) simArgs.insert(simArgs.end(), {"--busy-inputs", "--value-noise", "3"});
            const pid_t simPid = StartSim(simArgs, link);
            if (simPid <= 0) return 1;
            InitRS232(com);
            std::string status;
            GetCtrlVal(panelHandle, PANEL_STATUS, status);
            std::printf("sensor %s burst %d start_up_status %s\n", busy ? "busy" : "quiet", burst, status.c_str());
            InstallComCallback(com, eventMask, FRAME_LEN, com232::sync, CountingReceive, nullptr);
            const double t0 = Timer();
            while (Timer() - t0 < 1.0) ProcessSystemEvents();
            double rates[4] = {};
            for (int source : {2, 0, 1, 3}) {
                OperateCtrl(panelHandle, PANEL_GRAPHSOURCE, source);
                const Window w = Measure(PressRun, PressStop, 1.0, seconds);
                row.cpu[source] = 100.0 * w.cpu / w.wall;
                rates[source] = w.answers / w.wall;
                std::printf("cpu_percent_%s_%s %.2f\n", row.name.c_str(), names[source], row.cpu[source]);
                std::printf("exchanges_per_s_%s_%s %.2f\n", row.name.c_str(), names[source], rates[source]);
                std::printf("main_thread_switches_per_answer_%s_%s %.2f\n", row.name.c_str(), names[source],
                            w.answers ? double(w.switches) / w.answers : 0.0);
            }
            if (busy && burst == 8) {
                OperateCtrl(panelHandle, PANEL_GRAPHSOURCE, 2);
                const std::string rec = "/tmp/zep4-bench-" + std::to_string(getpid()) + ".dat";
                CopyText(recfile_name, rec.c_str());
                SetCtrlAttribute(panelPopUp, POPUP_RECINTERVAL, Attr::MinValue, 0);
                SetCtrlVal(panelPopUp, POPUP_RECSAMPLES, 65535);
                for (int interval : {1, 0}) {
                    SetCtrlVal(panelPopUp, POPUP_RECINTERVAL, interval);
                    const Window w = Measure(PressRecord, PressStopRecord, 1.0, seconds);
                    recording[interval] = 100.0 * w.cpu / w.wall;
                    std::printf("cpu_percent_%s_recording_interval_%d %.2f\n", row.name.c_str(), interval,
                                recording[interval]);
                }
                std::remove(rec.c_str());
            }
            if (idle < 0) {
                const Window w = Measure(Idle, EndIdle, 1.0, seconds);
                idle = 100.0 * w.cpu / w.wall;
                std::printf("cpu_percent_idle %.2f\n", idle);
            }
            CloseCom(com);
            row.reference = ReferenceRate(link, seconds, &row.referenceCpu);
            std::printf("reference_exchanges_per_s_%s %.2f\n", row.name.c_str(), row.reference);
            std::printf("reference_cpu_percent_%s %.2f\n", row.name.c_str(), row.referenceCpu);
            for (int source = 0; source < 4; ++source) {
                row.ratio[source] = row.reference > 0 ? rates[source] / row.reference : 0.0;
                std::printf("rate_ratio_%s_%s %.3f\n", row.name.c_str(), names[source], row.ratio[source]);
            }
            rows.push_back(row);
            kill(simPid, SIGTERM);
            waitpid(simPid, nullptr, 0);
        }
    }
    std::printf("peak_rss_mb %.1f\n", PeakRssMb());
    std::printf("load_average_at_end %s\n", LoadAverage().c_str());
    std::printf("\nsummary: CPU %% of a core (RAW A,B / NORM A,B / NORM-A + band / NORM-B + band), rate ratio "
                "lowest, reference exchanges/s and CPU %%\n");
    for (const Row& r : rows)
        std::printf("%-9s %5.2f %5.2f %5.2f %5.2f   %.3f   %.2f  %5.2f\n", r.name.c_str(), r.cpu[0], r.cpu[1],
                    r.cpu[2], r.cpu[3], *std::min_element(r.ratio, r.ratio + 4), r.reference, r.referenceCpu);
    std::printf("recording busy_b8 interval 1 / 0: %.2f / %.2f %%, idle %.2f %%, peak %.1f MB\n", recording[1],
                recording[0], idle, PeakRssMb());
    return 0;
}
