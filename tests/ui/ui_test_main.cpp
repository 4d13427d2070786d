// GoogleTest main for widget tests: a QApplication on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "ui/map_view.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    corvane::AddMapModuleFolder(CORVANE_TEST_BIN_DIR);  // the map's browser module
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
