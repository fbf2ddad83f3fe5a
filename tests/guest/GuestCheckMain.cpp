// SPDX-License-Identifier: GPL-2.0-or-later
// The program the guest runs. Without options: the guest's checks (GoogleTest), each with a
// watchdog that names a check that hangs and ends the run. With one of these, a figure:
//
//   guest_check --read-once NAME      one temperature read through the daemon's composition
//   guest_check --idle                the same start and end without the read (a baseline)
//   guest_check --time-reads N NAME   N reads, each timed; prints the minimum, median, maximum
//   guest_check --nvme-health-log NODE   the SMART / Health log page of an NVMe node, as hex
//
// And, on the host, for the emulated SMC (tests/guest/emulator): `guest_check --smc-key-table
// FILE.keys` prints the key list as the emulator reads it, "KEY TYPE HEX" in index order.
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
#include "hardware/disk/DiskAccess.h"
#include "hardware/disk/linux/LinuxDisks.h"
#include "hardware/disk/linux/NvmeSmartDevice.h"
#include "tests/unit/smc/FakeApplesmc.h"

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
        std::snprintf(runningCheck, sizeof runningCheck, "%s.%s", info.test_suite_name(),
                      info.name());
        std::signal(SIGALRM, onAlarm);
        ::alarm(kCheckSeconds);
    }
    void OnTestEnd(const ::testing::TestInfo&) override { ::alarm(0); }
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// The whole read as the daemon makes it, and its three steps on their own: the open (the
// registry's look-up of the disk and the plug-in), the read (power mode, SMART ENABLE, SMART
// READ DATA over SG_IO) and the close.
int timeReads(int count, const char* name) {
    drivetherm::LinuxDisks disks;
    drivetherm::DiskAccess access(&disks.registry(), &disks.smartBackend());
    drivetherm::SmartReader& reader = access.reader();
    std::vector<double> whole, open, read, close;
    unsigned temperature = 0;
    for (int i = 0; i < count; ++i) {
        auto start = std::chrono::steady_clock::now();
        temperature = reader.readDriveTemperature(name);
        whole.push_back(millisecondsSince(start));

        start = std::chrono::steady_clock::now();
        const int slot = reader.openSmartDevice(name, "ATA");
        open.push_back(millisecondsSince(start));
        if (slot < 0) return 1;
        drivetherm::SmartDataBlock block{};
        start = std::chrono::steady_clock::now();
        if (reader.readSmartData(slot, block) != 0) return 1;
        read.push_back(millisecondsSince(start));
        start = std::chrono::steady_clock::now();
        reader.closeSmartDevice(slot);
        close.push_back(millisecondsSince(start));
    }
    if (whole.empty()) return 2;
    std::sort(whole.begin(), whole.end());
    std::printf(
        "figure smart-read %s: %d reads, min %.2f ms, median %.2f ms, max %.2f ms (temperature "
        "%u)\n",
        name, count, whole.front(), whole[whole.size() / 2], whole.back(), temperature);
    std::printf(
        "figure smart-read %s, medians of its steps: open %.2f ms, read %.2f ms, close %.2f ms\n",
        name, median(open), median(read), median(close));
    return 0;
}

// The page as hex lines "000-015: ..", the layout of the captures under tests/data/disk.
int printNvmeHealthLog(const char* node) {
    drivetherm::NvmeSmartDevice device(drivetherm::systemSgioSyscalls(), node, "");
    drivetherm::SmartDataBlock page{};
    if (device.readData(page) != drivetherm::SmartOutcome::Success) return 1;
    for (std::size_t at = 0; at < page.size(); at += 16) {
        std::printf("figure nvme-health-log %03zu-%03zu:", at, at + 15);
        for (std::size_t i = at; i < at + 16; ++i) std::printf(" %02x", page[i]);
        std::printf("\n");
    }
    return 0;
}

// The same reader as the checks', so the emulated SMC holds exactly the keys they expect.
int printSmcKeyTable(const char* path) {
    try {
        for (const auto& key : drivetherm::testing::loadFakeKeyList(path)) {
            std::printf("%s %s ", key.name.c_str(), key.type.c_str());
            for (const std::uint8_t byte : key.bytes) std::printf("%02x", byte);
            std::printf("\n");
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "guest_check: %s\n", e.what());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("DT_GUEST_VERBOSE") != nullptr)
        drivetherm::log::setLevel(drivetherm::log::Level::Debug);
    if (argc == 3 && std::strcmp(argv[1], "--read-once") == 0) {
        drivetherm::LinuxDisks disks;
        drivetherm::DiskAccess access(&disks.registry(), &disks.smartBackend());
        std::printf("temperature %s: %u\n", argv[2], access.reader().readDriveTemperature(argv[2]));
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--idle") == 0) {
        drivetherm::LinuxDisks disks;
        drivetherm::DiskAccess access(&disks.registry(), &disks.smartBackend());
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "--time-reads") == 0)
        return timeReads(std::atoi(argv[2]), argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "--smc-key-table") == 0) return printSmcKeyTable(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--nvme-health-log") == 0)
        return printNvmeHealthLog(argv[2]);

    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
    return RUN_ALL_TESTS();
}
