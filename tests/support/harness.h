// SPDX-License-Identifier: GPL-3.0-or-later
// Test harness: the simulated controller on a real pty, and the front end's panels and
// run-time state brought up the way start-up does it.
#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <QWidget>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The front end as the tests see it.
#include "app/app.h"
#include "branding/logo.h"
#include "app/panels.h"
#include "link/com232.h"
#include "live/live.h"
#include "params/params.h"
#include "runtime/panel_builder.h"
#include "runtime/serial.h"
#include "runtime/timing.h"
#include "runtime/ui.h"
#include "runtime/ui_query.h"
#include "recorder/recorder.h"
#include "sim/sim.h"

// Starts a simulated controller and makes it port 1 (ZEP4_SERIAL_PORTS). Asserts on failure.
std::unique_ptr<zep4sim::PtyHost> StartSim(zep4sim::Options options = zep4sim::defaultOptions());
// Points port 1 at a path (e.g. a pty nobody serves, or a missing device).
inline void SetPort1(const std::string& device) { setenv("ZEP4_SERIAL_PORTS", device.c_str(), 1); }
// Registers and loads both panels (again after a whole program run), gives every variable its default
// (InitVars), and closes any port left open by an earlier test. No port is opened.
void ResetFrontEnd();
// ResetFrontEnd, then opens port 1 the way start-up does (InitRS232(1)).
void StartFrontEnd();
// Delivers an event to a control's callback; every callback answers 0 (the event goes on).
void Event(int panel, int control, int event);
// A click on a button: left click, then commit.
void Press(int panel, int control);
// The user setting a control: the value, value changed (when it changed), then commit.
void Choose(int panel, int control, int value);
// Pumps events for a while (callbacks run), without burning a core.
inline void PumpFor(double seconds) {
    for (const double t0 = Timer(); Timer() - t0 < seconds;) ProcessSystemEvents();
}
// A control's integer value, text and integer attribute (-12345 / "?" when they cannot be read).
int CtrlInt(int panel, int control);
std::string CtrlText(int panel, int control);
int CtrlAttr(int panel, int control, Attr a);
// The text on the main panel's status line.
inline std::string StatusText() { return CtrlText(panelHandle, PANEL_STATUS); }
// Order codes of the requests a controller took in, and how many had one order.
std::vector<int> Orders(const zep4sim::PtyHost& host);
inline int CountOrder(const zep4sim::PtyHost& host, int order) {
    const std::vector<int> all = Orders(host);
    return static_cast<int>(std::count(all.begin(), all.end(), order));
}
// Requests the controller heard while an earlier answer was still due (one exchange at a time: 0).
int Overlapping(const zep4sim::PtyHost& host);
// A file chooser's request on one line: "directory|file|filter|title|button|<5 flags 0/1>".
std::string Describe(const FileSelectRequest& r);
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
// The widget of a control (nullptr when there is none).
QWidget* CtrlWidget(int panel, int control);
// An echo request whose answer the controller holds back for `seconds`, with these faults besides;
// returns once the controller has heard it.
void LeaveAnAnswerDue(zep4sim::PtyHost& host, double seconds, zep4sim::Faults faults = {});
// Runs f with files limited to `bytes` (a write past it fails instead of raising SIGXFSZ).
void WithFileSizeLimit(unsigned long bytes, const std::function<void()>& f);
// Waits (pumping events) until cond() holds or seconds pass; returns cond().
template <class F>
bool PumpUntil(F cond, double seconds) {
    for (const double t0 = Timer(); !cond(); ProcessSystemEvents())
        if (Timer() - t0 > seconds) return cond();
    return true;
}
