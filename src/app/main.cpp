// The program: brings up the Qt application, then runs the front end's entry.
#include <QApplication>

#include "app/app.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("K-VEX-ZEP4-Duvez");
    QApplication::setApplicationVersion("V2.0");
    return WinMain(argc, argv);
}
