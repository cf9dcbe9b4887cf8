// SPDX-License-Identifier: GPL-3.0-or-later
// Timing run-time: a steady clock in seconds, and a sleep.
#pragma once

// Seconds from a steady clock: std::chrono::steady_clock since its epoch, so times taken
// by the simulated controller in the same machine compare with it directly.
double Timer();
// Sleeps without processing any events.
void Delay(double seconds);
