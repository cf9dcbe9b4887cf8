// The program: answers --help and --version without a display, else brings up the Qt
// application and runs the front end's entry.
#include <QApplication>

#include <cstdio>
#include <cstring>

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
    QApplication app(argc, argv);
    QApplication::setApplicationName("K-VEX-ZEP4-Duvez");
    QApplication::setApplicationVersion("V2.0");
    QGuiApplication::setDesktopFileName("net.zep4.kvex_zep4");
    return WinMain(argc, argv);
}
