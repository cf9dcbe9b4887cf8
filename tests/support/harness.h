// Test harness: the simulated controller on a real pty, and the front end's panels and
// run-time state brought up the way start-up does it.
#pragma once

#include <memory>
#include <string>

#include "platform/ui.h"
#include "sim/sim.h"

// Starts a simulated controller and makes it port 1 (ZEP4_SERIAL_PORTS). Asserts on failure.
std::unique_ptr<zep4sim::PtyHost> StartSim(zep4sim::Options options = zep4sim::defaultOptions());
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
// An integer control value and an integer attribute (-12345 when they cannot be read).
int CtrlInt(int panel, int control);
int CtrlAttr(int panel, int control, Attr a);
// A whole file's bytes ("" when it cannot be read).
std::string ReadBytes(const std::string& path);
// A fresh directory under /tmp named after stem.
std::string MakeTempDir(const std::string& stem);
// Faults with one setting changed, e.g. MakeFaults(&zep4sim::Faults::silent, true).
template <class T, class V>
zep4sim::Faults MakeFaults(T zep4sim::Faults::*member, V value) {
    zep4sim::Faults f;
    f.*member = value;
    return f;
}
// Default options with the given faults.
inline zep4sim::Options WithFaults(zep4sim::Faults f) {
    zep4sim::Options o;
    o.faults = std::move(f);
    return o;
}
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
