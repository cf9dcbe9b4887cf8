// SPDX-License-Identifier: GPL-3.0-or-later
// Serves the engine on the master side of a pseudo-terminal from one background thread.
// The thread waits in poll() on the line, a wake-up pipe and an absolute-time timer that
// fires when the next answer byte is due; it never spins.
#include "sim/sim.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace zep4sim {

namespace {

constexpr double kHangupGraceSeconds = 0.5;
constexpr double kHandOnSeconds = 0.05;

struct Outgoing {
    double due;                 // steady seconds
    std::vector<uint8_t> bytes;
};

timespec toTimespec(double seconds) {
    timespec ts{};
    double whole = std::floor(seconds);
    ts.tv_sec = static_cast<time_t>(whole);
    ts.tv_nsec = static_cast<long>((seconds - whole) * 1e9);
    if (ts.tv_nsec >= 1000000000L) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000L;
    }
    return ts;
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

} // namespace

struct PtyHost::Impl {
    explicit Impl(const Options& o) : options(o), engine(o) {}

    Options options;
    Engine engine;
    std::string path;
    int master = -1;
    int heldSlave = -1;   // keeps the line alive while the front end closes and reopens it
    int wake[2] = {-1, -1};
    int timer = -1;
    bool linked = false;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> hungUp{false};
    mutable std::mutex requestMutex;
    std::vector<Request> requests;

    // Owned by the serving thread.
    std::deque<Outgoing> out;
    double lineFreeAt = 0;
    bool hangupPending = false;
    double hangupGraceEnd = -1;   // until then the last answer may still be drained

    void serve();
    void schedule(const Engine::Exchange& ex);
    void sendDue();
    void armTimer();
    void closeLine();
};

void PtyHost::Impl::schedule(const Engine::Exchange& ex) {
    Options o = engine.options();
    const std::vector<uint8_t>& a = ex.answer;
    if (ex.hangup) hangupPending = true;
    if (a.empty()) return;
    double start = std::max(ex.request.time + o.answerDelaySeconds + ex.lateBy, lineFreeAt);
    std::size_t pieces = static_cast<std::size_t>(std::max(1, o.faults.splitPieces));
    pieces = std::min(pieces, a.size());
    double pause = std::max(0.0, o.faults.splitPauseSeconds);
    for (std::size_t p = 0; p < pieces; ++p) {
        std::size_t from = p * a.size() / pieces, to = (p + 1) * a.size() / pieces;
        if (o.paced) {
            // burst bytes at a time, each piece leaving when the line time of its last byte is over.
            const std::size_t burst = static_cast<std::size_t>(std::max(1, o.burstBytes));
            for (std::size_t j = from; j < to; j += burst) {
                const std::size_t end = std::min(to, j + burst);
                double due = start + static_cast<double>(end) * kByteSeconds + static_cast<double>(p) * pause;
                out.push_back({due, std::vector<uint8_t>(a.begin() + static_cast<std::ptrdiff_t>(j),
                                                         a.begin() + static_cast<std::ptrdiff_t>(end))});
            }
        } else {
            out.push_back({start + static_cast<double>(p) * pause,
                           std::vector<uint8_t>(a.begin() + static_cast<std::ptrdiff_t>(from),
                                                a.begin() + static_cast<std::ptrdiff_t>(to))});
        }
    }
    lineFreeAt = out.back().due;
}

void PtyHost::Impl::sendDue() {
    double now = steadySeconds();
    std::vector<uint8_t> chunk;
    while (!out.empty() && out.front().due <= now) {
        chunk.insert(chunk.end(), out.front().bytes.begin(), out.front().bytes.end());
        out.pop_front();
    }
    if (chunk.empty() || master < 0) return;
    // Non-blocking: if nobody drains the line and its buffer is full, the rest is lost,
    // as it would be on a real receiver that overflows.
    std::size_t done = 0;
    while (done < chunk.size()) {
        ssize_t w = ::write(master, chunk.data() + done, chunk.size() - done);
        if (w > 0) done += static_cast<std::size_t>(w);
        else if (w < 0 && errno == EINTR) continue;
        else break;
    }
}

void PtyHost::Impl::armTimer() {
    itimerspec due_at{};
    if (!out.empty()) due_at.it_value = toTimespec(out.front().due);
    if (due_at.it_value.tv_sec == 0 && due_at.it_value.tv_nsec == 0 && !out.empty())
        due_at.it_value.tv_nsec = 1;
    timerfd_settime(timer, TFD_TIMER_ABSTIME, &due_at, nullptr);
}

void PtyHost::Impl::closeLine() {
    closeFd(master);
    closeFd(heldSlave);
    hungUp = true;
}

void PtyHost::Impl::serve() {
    uint8_t buf[4096];
    bool lineBroken = false;
    while (!stopping) {
        sendDue();
        if (hangupPending && out.empty()) {
            // Closing the master discards what the other side has not read yet; give the
            // last answer a moment to be taken in, as it would be over a real line.
            // The pty hands written bytes on to the other side a little later, so only
            // trust an empty input queue once that has had time to happen.
            double now = steadySeconds();
            if (hangupGraceEnd < 0) hangupGraceEnd = now + kHangupGraceSeconds;
            int waiting = 0;
            bool settled = now >= hangupGraceEnd - kHangupGraceSeconds + kHandOnSeconds;
            bool drained = ::ioctl(heldSlave, FIONREAD, &waiting) != 0 || waiting <= 0;
            if ((settled && drained) || now >= hangupGraceEnd) {
                closeLine();
                return;
            }
            out.push_back({now + 0.005, {}});   // look again shortly
        }
        armTimer();
        pollfd fds[3] = {{wake[0], POLLIN, 0}, {timer, POLLIN, 0}, {-1, POLLIN, 0}};
        // After a hang-up request nothing more is taken in.
        if (!hangupPending && !lineBroken) fds[2].fd = master;
        int r = ::poll(fds, 3, lineBroken ? 50 : -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents & POLLIN) {
            char c[64];
            while (::read(wake[0], c, sizeof c) > 0) {
            }
        }
        if (fds[1].revents & POLLIN) {
            uint64_t ticks;
            (void)!::read(timer, &ticks, sizeof ticks);
        }
        lineBroken = false;
        if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) {
            ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) {
                auto exchanges = engine.feed(buf, static_cast<std::size_t>(n), steadySeconds());
                for (const auto& ex : exchanges) {
                    {
                        Request r = ex.request;
                        r.answerPending = lineFreeAt > r.time;
                        std::lock_guard lock(requestMutex);
                        requests.push_back(r);
                    }
                    if (!hangupPending) schedule(ex);
                }
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                lineBroken = true;   // should not happen while heldSlave is open; back off
            }
        }
    }
}

PtyHost::PtyHost() : PtyHost(defaultOptions()) {}

PtyHost::PtyHost(const Options& options) : d(std::make_unique<Impl>(options)) {}

PtyHost::~PtyHost() { stop(); }

bool PtyHost::start() {
    if (d->thread.joinable() || d->hungUp) return false;
    auto fail = [this](const char* what) {
        std::perror(what);
        closeFd(d->master);
        closeFd(d->heldSlave);
        closeFd(d->wake[0]);
        closeFd(d->wake[1]);
        closeFd(d->timer);
        return false;
    };
    d->master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (d->master < 0) return fail("posix_openpt");
    if (::grantpt(d->master) != 0 || ::unlockpt(d->master) != 0) return fail("grantpt/unlockpt");
    char name[128];
    if (::ptsname_r(d->master, name, sizeof name) != 0) return fail("ptsname_r");
    d->path = name;
    d->heldSlave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (d->heldSlave < 0) return fail("open pty slave");
    termios tio{};
    if (::tcgetattr(d->heldSlave, &tio) != 0) return fail("tcgetattr");
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B19200);
    ::cfsetospeed(&tio, B19200);
    if (::tcsetattr(d->heldSlave, TCSANOW, &tio) != 0) return fail("tcsetattr");
    int fl = ::fcntl(d->master, F_GETFL);
    ::fcntl(d->master, F_SETFL, fl | O_NONBLOCK);
    if (::pipe2(d->wake, O_NONBLOCK | O_CLOEXEC) != 0) return fail("pipe2");
    d->timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (d->timer < 0) return fail("timerfd_create");
    if (!d->options.linkPath.empty()) {
        struct stat st{};
        if (::lstat(d->options.linkPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            ::unlink(d->options.linkPath.c_str());
        if (::symlink(name, d->options.linkPath.c_str()) != 0) return fail("symlink");
        d->linked = true;
    }
    d->stopping = false;
    d->thread = std::thread([this] { d->serve(); });
    return true;
}

void PtyHost::stop() {
    if (d->thread.joinable()) {
        d->stopping = true;
        char c = 1;
        (void)!::write(d->wake[1], &c, 1);
        d->thread.join();
    }
    closeFd(d->master);
    closeFd(d->heldSlave);
    closeFd(d->wake[0]);
    closeFd(d->wake[1]);
    closeFd(d->timer);
    if (d->linked) {
        ::unlink(d->options.linkPath.c_str());
        d->linked = false;
    }
}

std::string PtyHost::devicePath() const { return d->path; }

std::vector<Request> PtyHost::requests() const {
    std::lock_guard lock(d->requestMutex);
    return d->requests;
}

void PtyHost::clearRequests() {
    std::lock_guard lock(d->requestMutex);
    d->requests.clear();
}

Engine& PtyHost::engine() { return d->engine; }

void PtyHost::setFaults(const Faults& f) { d->engine.setFaults(f); }

void PtyHost::setAnswerDelay(double seconds) { d->engine.setAnswerDelay(seconds); }

bool PtyHost::hungUp() const { return d->hungUp; }

void PtyHost::unplug() { stop(); }

bool PtyHost::plugIn(const std::string& linkPath) {
    stop();
    if (!linkPath.empty()) d->options.linkPath = linkPath;
    // Answers still due died with the old line, and so did a hang-up fault's dropped line.
    d->out.clear();
    d->lineFreeAt = 0;
    d->hangupPending = false;
    d->hangupGraceEnd = -1;
    d->hungUp = false;
    return start();
}

} // namespace zep4sim
