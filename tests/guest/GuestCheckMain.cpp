// SPDX-License-Identifier: GPL-2.0-or-later
// The program the guest runs. Without options: the guest's checks (GoogleTest), each with a
// watchdog that names a check that hangs and ends the run. With one of these, a figure:
//
//   guest_check --read-once NAME      one temperature read through the daemon's composition
//   guest_check --idle                the same start and end without the read (a baseline)
//   guest_check --time-reads N NAME   N reads, each timed; prints the minimum, median, maximum
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/Log.h"
#include "hardware/SmartReader.h"
#include "hardware/linux/LinuxDisks.h"

namespace {

// Long enough for a check that reads every disk a few times under software emulation.
constexpr unsigned kCheckSeconds = 60;
char runningCheck[256] = "";

void onAlarm(int) {
    static const char prefix[] = "[  HUNG    ] ";
    [[maybe_unused]] auto written = ::write(STDOUT_FILENO, prefix, sizeof prefix - 1);
    written = ::write(STDOUT_FILENO, runningCheck, std::strlen(runningCheck));
    written = ::write(STDOUT_FILENO, "\n", 1);
    ::_exit(124);
}

class Watchdog final : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo& info) override {
        std::snprintf(runningCheck, sizeof runningCheck, "%s.%s", info.test_suite_name(), info.name());
        std::signal(SIGALRM, onAlarm);
        ::alarm(kCheckSeconds);
    }
    void OnTestEnd(const ::testing::TestInfo&) override { ::alarm(0); }
};

int timeReads(int count, const char* name) {
    drivetherm::LinuxDisks disks;
    disks.install();
    std::vector<double> milliseconds;
    unsigned temperature = 0;
    for (int i = 0; i < count; ++i) {
        const auto start = std::chrono::steady_clock::now();
        temperature = drivetherm::readDriveTemperature(name);
        milliseconds.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    if (milliseconds.empty()) return 2;
    std::sort(milliseconds.begin(), milliseconds.end());
    std::printf("figure smart-read %s: %d reads, min %.2f ms, median %.2f ms, max %.2f ms (temperature %u)\n", name, count,
                milliseconds.front(), milliseconds[milliseconds.size() / 2], milliseconds.back(), temperature);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("DT_GUEST_VERBOSE") != nullptr) drivetherm::log::setLevel(drivetherm::log::Level::Debug);
    if (argc == 3 && std::strcmp(argv[1], "--read-once") == 0) {
        drivetherm::LinuxDisks disks;
        disks.install();
        std::printf("temperature %s: %u\n", argv[2], drivetherm::readDriveTemperature(argv[2]));
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--idle") == 0) {
        drivetherm::LinuxDisks disks;
        disks.install();
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "--time-reads") == 0) return timeReads(std::atoi(argv[2]), argv[3]);

    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
    return RUN_ALL_TESTS();
}
