// The program: brings up the Qt application, then runs the front end's entry.
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app.h"

namespace {

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
    QtMessageHandler previous = qInstallMessageHandler(StartupMessages);
    QApplication app(argc, argv);
    qInstallMessageHandler(previous);
    std::fputs(heldBack.c_str(), stderr);
    QApplication::setApplicationName("K-VEX-ZEP4-Duvez");
    QApplication::setApplicationVersion("V2.0");
    return WinMain(argc, argv);
}
