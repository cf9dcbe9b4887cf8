// SPDX-License-Identifier: GPL-3.0-or-later
// The event loop and the nested event pump, woken by a repeating tick or at a waiting loop's limit.
#include "runtime/event_loop.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <vector>

#include "runtime/timing.h"

namespace {

std::vector<QEventLoop*> gLoops;

} // namespace

int RunUserInterface() {
    QEventLoop loop;
    gLoops.push_back(&loop);
    int code = loop.exec();
    gLoops.pop_back();
    return code;
}

int QuitUserInterface(int code) {
    // The innermost running loop ends once the callbacks above it have returned.
    if (!gLoops.empty()) gLoops.back()->exit(code);
    return 0;
}

// Wake-up of the waiting loops: one repeating timer, armed by the first ProcessSystemEvents
// and left running while calls keep coming (re-arming it on every idle pass costs more than
// the tick), then stopped by the first tick that finds no call since the one before. Its
// default (coarse) type moves the tick by 5 % at most: a time-out is still seen within 16 ms.
constexpr int kPumpWakeMs = 15;
bool gPumped; // a call came since the last tick

QTimer* PumpWake() {
    static QTimer* t = [] {
        auto* w = new QTimer;
        w->setInterval(kPumpWakeMs);
        QObject::connect(w, &QTimer::timeout, w, [w] {
            if (!gPumped) w->stop();
            gPumped = false;
        });
        return w;
    }();
    return t;
}

int ProcessSystemEvents() {
    QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance(QThread::currentThread());
    if (!d) return 0;
    gPumped = true;
    QTimer* wake = PumpWake();
    if (!wake->isActive()) wake->start();
    // Runs what is pending; with nothing pending, sleeps until the next event or tick.
    d->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return 0;
}

// One single-shot timer at the waiting loop's own limit, armed anew on each call.
QTimer* DeadlineWake() {
    static QTimer* t = [] {
        auto* w = new QTimer;
        w->setSingleShot(true);
        w->setTimerType(Qt::PreciseTimer);
        return w;
    }();
    return t;
}

int ProcessSystemEvents(double wakeBy) {
    QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance(QThread::currentThread());
    if (!d) return 0;
    const double left = wakeBy - Timer();
    if (left <= 0) return 0; // the limit is here: the caller looks at its clock
    DeadlineWake()->start(static_cast<int>(std::ceil(left * 1000.0)));
    d->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return 0;
}

long LoopSleeps() {
    static long sleeps = -1;
    QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance(QThread::currentThread());
    if (sleeps < 0 && d) {
        sleeps = 0;
        QObject::connect(d, &QAbstractEventDispatcher::aboutToBlock, d, [] { ++sleeps; });
    }
    return std::max(sleeps, 0L);
}
