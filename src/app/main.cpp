// SPDX-License-Identifier: GPL-3.0-or-later
// The program: answers --help and --version without a display, else brings up the Qt
// application and runs the front end's entry.
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app.h"

namespace {

void Usage(std::FILE* to) {
    std::fputs("usage: kvex-zep4 [--help | --version]\n"
               "Front end for the two-channel ZEP4 sensor controller on an RS-232 line.\n"
               "Everything else is chosen on the main panel, the serial port too.\n"
               "  --help      this text\n"
               "  --version   the program's name and version\n"
               "environment:\n"
               "  ZEP4_SERIAL_PORTS   device paths separated by ':', ports 1, 2, ... before the\n"
               "                      system's serial ports\n",
               to);
}

// While the application comes up, Qt's complaints are held back: when no screen can be
// opened Qt aborts after several lines, and the user gets one line from us instead.
std::string heldBack;

void StartupMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) {
        std::fputs("kvex-zep4: no display can be opened (is DISPLAY or WAYLAND_DISPLAY set?)\n", stderr);
        std::_Exit(-1);
    }
    heldBack += message.toStdString() + "\n";
}

} // namespace

int main(int argc, char** argv) {
    // Before QApplication: these need no display, and Qt's own options are not taken either.
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        Usage(stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("kvex-zep4 (K-VEX-ZEP4-Duvez) " ZEP4_VERSION);
        return 0;
    }
    if (argc > 1) {
        const bool known = std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "--version") == 0;
        std::fprintf(stderr, "kvex-zep4: unexpected argument '%s'\n", known ? argv[2] : argv[1]);
        Usage(stderr);
        return 2;
    }
    QtMessageHandler previous = qInstallMessageHandler(StartupMessages);
    QApplication app(argc, argv);
    qInstallMessageHandler(previous);
    std::fputs(heldBack.c_str(), stderr);
    QApplication::setApplicationName("K-VEX-ZEP4-Duvez");
    QApplication::setApplicationVersion("V2.0");
    QGuiApplication::setDesktopFileName("net.zep4.kvex_zep4");
    return WinMain(argc, argv);
}
