// Test harness: the simulated controller on a pty and the front end brought up like start-up.
#include "support/harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/app.h"
#include "app/panels.h"
#include "link/com232.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "platform/ui.h"

std::unique_ptr<zep4sim::PtyHost> StartSim(zep4sim::Options options) {
    auto host = std::make_unique<zep4sim::PtyHost>(std::move(options));
    const bool started = host->start();
    EXPECT_TRUE(started) << "the simulated controller did not start";
    if (started) SetPort1(host->devicePath());
    return host;
}

void SetPort1(const std::string& device) {
    setenv("ZEP4_SERIAL_PORTS", device.c_str(), 1);
}

void ResetFrontEnd() {
    static bool loaded = false;
    if (!loaded) {
        RegisterPanels();
        panelHandle = LoadPanel(0, kPanelResourceFile, PANEL);
        panelPopUp = LoadPanel(0, kPanelResourceFile, POPUP);
        EXPECT_GT(panelHandle, 0);
        EXPECT_GT(panelPopUp, 0);
        GetProjectDir(proj_dir);
        loaded = true;
    }
    CloseCom(com);
    InitVars();
    graphrefresh = 0;
}

void StartFrontEnd() {
    ResetFrontEnd();
    InitRS232(com);
}

void PumpFor(double seconds) {
    const double t0 = Timer();
    while (Timer() - t0 < seconds) ProcessSystemEvents();
}

std::string StatusText() {
    std::string text;
    GetCtrlVal(panelHandle, PANEL_STATUS, text);
    return text;
}

int CtrlInt(int panel, int control) {
    int v = -12345;
    GetCtrlVal(panel, control, v);
    return v;
}

int CtrlAttr(int panel, int control, Attr a) {
    int v = -12345;
    GetCtrlAttribute(panel, control, a, v);
    return v;
}

std::string ReadBytes(const std::string& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

std::string MakeTempDir(const std::string& stem) {
    std::string tmpl = "/tmp/" + stem + "-XXXXXX";
    EXPECT_NE(mkdtemp(tmpl.data()), nullptr);
    return tmpl;
}
