// SPDX-License-Identifier: GPL-2.0-or-later
// Runs the widget tests inside one QApplication on the offscreen platform. When CTest only lists
// the tests (at build time, without the test environment) no application is made at all.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <cstring>
#include <filesystem>

int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i) {
        listing = listing || std::strncmp(argv[i], "--gtest_list_tests", 18) == 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    if (listing) {
        return RUN_ALL_TESTS();
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // A private runtime directory, so that nothing of the user's session is touched.
    char runtimeDir[] = "/tmp/drivetherm-widgets-XXXXXX";
    if (mkdtemp(runtimeDir) == nullptr) {
        return 2;
    }
    setenv("XDG_RUNTIME_DIR", runtimeDir, 1);
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    std::error_code ignored;
    std::filesystem::remove_all(runtimeDir, ignored);
    return result;
}
