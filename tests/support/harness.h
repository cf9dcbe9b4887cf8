// Test harness: the simulated controller on a real pty, and the front end's panels and
// run-time state brought up the way start-up does it.
#pragma once

#include <memory>
#include <string>

#include "sim/sim.h"

// Starts a simulated controller and makes it port 1 (ZEP4_SERIAL_PORTS). Asserts on failure.
std::unique_ptr<zep4sim::PtyHost> StartSim(zep4sim::Options options = {});
// Points port 1 at a path (e.g. a pty nobody serves, or a missing device).
void SetPort1(const std::string& device);
// Registers and loads both panels once per process, gives every variable its default
// (InitVars), and closes any port left open by an earlier test. No port is opened.
void ResetFrontEnd();
// ResetFrontEnd, then opens port 1 the way start-up does (InitRS232(1)).
void StartFrontEnd();
// Pumps events for a while (callbacks run), without burning a core.
void PumpFor(double seconds);
// The text on the main panel's status line.
std::string StatusText();
// Waits (pumping events) until cond() holds or seconds pass; returns cond().
template <class F>
bool PumpUntil(F cond, double seconds);

#include "platform/timing.h"
#include "platform/ui.h"
template <class F>
bool PumpUntil(F cond, double seconds) {
    double t0 = Timer();
    while (!cond()) {
        if (Timer() - t0 > seconds) return cond();
        ProcessSystemEvents();
    }
    return true;
}
