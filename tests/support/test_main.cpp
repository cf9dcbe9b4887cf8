// SPDX-License-Identifier: GPL-3.0-or-later
// GoogleTest entry for every test program: the front end's panels need a QApplication,
// and tests run headless on the offscreen platform unless told otherwise.
#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
