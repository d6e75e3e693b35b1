// main() of the user-interface test programs: a headless Qt platform, temp
// folders for every XDG location the program touches, then GoogleTest.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "ui_test_support.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    cadrix::test::TempFolders folders;  // XDG_CONFIG_HOME, XDG_RUNTIME_DIR, HOME
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Windows"));
    return RUN_ALL_TESTS();
}
