// SPDX-License-Identifier: GPL-3.0-or-later
// Timing over std::chrono: a steady clock and a sleep that processes no events.
#include "runtime/timing.h"

#include <chrono>
#include <thread>

double Timer() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void Delay(double seconds) {
    if (!(seconds > 0)) return;
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}
