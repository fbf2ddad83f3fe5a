// SPDX-License-Identifier: GPL-2.0-or-later
// Runs the tests inside umockdev's preload library, which points libudev, /sys and /dev at a
// testbed: the program starts itself again with the library preloaded when it is not yet.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    // Asking umockdev itself would settle its answer before a testbed exists; the preload
    // variable says the same.
    const char* preloaded = std::getenv("LD_PRELOAD");
    const bool active = preloaded != nullptr &&
                        std::string(preloaded).find("libumockdev-preload") != std::string::npos;
    if (!active && std::getenv("DRIVETHERM_UMOCKDEV_RESTARTED") == nullptr) {
        std::string preload = "libumockdev-preload.so.0";
        if (const char* existing = std::getenv("LD_PRELOAD");
            existing != nullptr && *existing != '\0')
            preload += std::string(":") + existing;
        setenv("LD_PRELOAD", preload.c_str(), 1);
        // A sanitizer build insists on coming first among the libraries; the preload is fine.
        std::string asan = "verify_asan_link_order=0";
        if (const char* existing = std::getenv("ASAN_OPTIONS");
            existing != nullptr && *existing != '\0')
            asan = std::string(existing) + ":" + asan;
        setenv("ASAN_OPTIONS", asan.c_str(), 1);
        setenv("DRIVETHERM_UMOCKDEV_RESTARTED", "1", 1);
        execv("/proc/self/exe", argv);
        // Could not restart: the tests say why they skip.
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
