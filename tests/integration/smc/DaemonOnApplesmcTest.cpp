// SPDX-License-Identifier: GPL-2.0-or-later
// drivethermd on the applesmc transport over a fake tree on disk, on a private bus, for Macs whose
// key lists come from real captures: which fan it drives and how, that its writes stay inside the
// fan's own range, and that the fan is handed back when it stops, after a crash and a restart.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <tuple>

#include "protocol/BusNames.h"
#include "protocol/DbusDaemonClient.h"
#include "tests/integration/smc/RunProgram.h"
#include "tests/support/PrivateBus.h"
#include "tests/unit/smc/FakeApplesmcTree.h"

namespace drivetherm {
namespace {

using testing::BackgroundProgram;
using testing::eventually;
using testing::FakeApplesmcTree;
using Files = std::map<std::string, std::string>;

const std::string kIMac = DRIVETHERM_TEST_DATA "/smc/imac12-1.keys";
const std::string kMacMini = DRIVETHERM_TEST_DATA "/smc/macmini6-2.keys";

// The Mac mini's key list without its fan: an SMC that reports no fan at all.
std::string fanlessKeyList() {
    const std::string path = ::testing::TempDir() + "fanless-macmini6-2.keys";
    std::ifstream in(kMacMini);
    std::ofstream out(path);
    out << "# The Mac mini's keys of macmini6-2.keys with its fan taken out.\n";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("F0", 0) == 0) continue;
        out << (line.rfind("FNum", 0) == 0 ? "FNum ui8  uint 0" : line) << "\n";
    }
    return path;
}

// When the file was last written; the minimum when it is not there.
std::filesystem::file_time_type writeTime(const std::string& path) {
    std::error_code error;
    const auto time = std::filesystem::last_write_time(path, error);
    return error ? std::filesystem::file_time_type::min() : time;
}

// What changed between two snapshots of the tree: file → new content.
Files changes(const Files& before, const Files& after) {
    Files changed;
    for (const auto& [file, content] : after) {
        if (before.at(file) != content) changed[file] = content;
    }
    return changed;
}

class DaemonOnApplesmc : public ::testing::Test {
protected:
    void TearDown() override {
        if (HasFailure() && daemon_) std::cerr << "drivethermd's log:\n" << daemon_->err();
    }

    void useMachine(const std::string& keyList) {
        tree_ = std::make_unique<FakeApplesmcTree>(keyList);
        stateDir_ = tree_->root() + "/state";
        ::mkdir(stateDir_.c_str(), 0755);
        ::mkdir((tree_->root() + "/dev").c_str(), 0755);
    }

    // The settings file as a user's earlier changes left it.
    void storeSettings(int baseRpm, int fanIndex) {
        std::ofstream(stateDir_ + "/com.quillmoor.Drivetherm.plist")
            << R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>
<key>baseRpm</key><integer>)"
            << baseRpm << "</integer>\n<key>fanIndex</key><integer>" << fanIndex
            << "</integer>\n</dict></plist>\n";
    }

    std::vector<std::string> environment() const {
        return {"LD_PRELOAD=" DRIVETHERM_FAKE_APPLESMC_PRELOAD,
                "DRIVETHERM_FAKE_APPLESMC_KEYS=" + tree_->keyListPath(),
                "DRIVETHERM_FAKE_APPLESMC_DIR=" + tree_->deviceDir(),
                "ASAN_OPTIONS=verify_asan_link_order=0"};
    }

    void startDaemon(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {DRIVETHERM_DAEMON,
                                         "--bus",
                                         bus_.address(),
                                         "--hardware",
                                         "linux",
                                         "--sysfs-root",
                                         tree_->root(),
                                         "--dev-dir",
                                         tree_->root() + "/dev",
                                         "--state-dir",
                                         stateDir_,
                                         "--tick-interval",
                                         "20",
                                         "-v"};
        args.insert(args.end(), extra.begin(), extra.end());
        daemon_ = std::make_unique<BackgroundProgram>(args, environment());
        ASSERT_TRUE(testing::waitForName(bus_.address(), bus::kServiceName)) << daemon_->err();
    }

    testing::ProgramResult releaseFans() {
        return testing::runProgram({DRIVETHERM_SMC_TOOL, "--hardware", "linux", "--sysfs-root",
                                    tree_->root(), "--release-fans", "--state-dir", stateDir_},
                                   environment());
    }

    std::pair<int, int> fanRange() {
        int minimum = -1, maximum = -1;
        DbusDaemonClient::bind(bus_.address()).fanRange(&minimum, &maximum);
        return {minimum, maximum};
    }

    testing::PrivateBus bus_;
    std::unique_ptr<FakeApplesmcTree> tree_;
    std::string stateDir_;
    std::unique_ptr<BackgroundProgram> daemon_;
};

struct MachineCase {
    const char* name;
    std::string keyList;    // empty: the fanless Mac mini
    int baseRpm, fanIndex;  // the stored settings
    ControlledFan fan;
    std::pair<int, int> range;
    Files whileRunning;  // the files the daemon changed once it settled
};

void PrintTo(const MachineCase& c, std::ostream* out) {
    *out << c.name;
}

class DrivenFan : public DaemonOnApplesmc, public ::testing::WithParamInterface<MachineCase> {};

// The sensors of each Mac average below the lower threshold: the fan gets the base speed, held
// inside its own range. Stopped, the daemon leaves every file as it found it, but for the
// targets, which the SMC sets again itself once the fan is automatic.
TEST_P(DrivenFan, IsChosenDrivenInsideItsRangeAndHandedBack) {
    const MachineCase& c = GetParam();
    useMachine(c.keyList.empty() ? fanlessKeyList() : c.keyList);
    storeSettings(c.baseRpm, c.fanIndex);
    const Files before = tree_->snapshot();
    // In floor mode the fan is never forced and its target never set: not even written with the
    // value they hold.
    const std::string fanFiles = tree_->deviceDir() + "/fan" + std::to_string(c.fan.index + 1);
    auto untouched = [&, manual = writeTime(fanFiles + "_manual"),
                      output = writeTime(fanFiles + "_output")] {
        return writeTime(fanFiles + "_manual") == manual &&
               writeTime(fanFiles + "_output") == output;
    };
    startDaemon();
    DaemonProxy daemon = DbusDaemonClient::bind(bus_.address());
    ASSERT_TRUE(eventually([&] { return changes(before, tree_->snapshot()) == c.whileRunning; }))
        << "the daemon changed " << ::testing::PrintToString(changes(before, tree_->snapshot()));
    const ControlledFan fan = daemon.controlledFan();
    EXPECT_EQ(std::tie(fan.index, fan.label, fan.mode),
              std::tie(c.fan.index, c.fan.label, c.fan.mode));
    EXPECT_EQ(fanRange(), c.range);
    float celsius = 0;
    int rpm = 0;
    daemon.temperature(&celsius, &rpm);
    EXPECT_GT(celsius, 30.0f) << "the sensors' average";
    EXPECT_EQ(rpm,
              fan.index < 0
                  ? -1
                  : std::stoi(tree_->attribute("fan" + std::to_string(fan.index + 1) + "_input")));

    EXPECT_EQ(daemon_->stop(SIGTERM), 0);
    if (c.fan.mode == "floor") {
        EXPECT_TRUE(untouched()) << "the only fan was forced or its target set";
    }
    Files left = changes(before, tree_->snapshot());
    std::erase_if(left, [](const auto& file) { return file.first.ends_with("_output"); });
    EXPECT_EQ(left, Files{});
    if (fan.index < 0) {
        EXPECT_NE(daemon_->err().find("the SMC reports no fan"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    DaemonOnApplesmc, DrivenFan,
    ::testing::Values(
        // The fan named HDD, forced at the base speed raised to its own minimum of 6200 rpm
        // (the capture shows it raised that far by another program).
        MachineCase{"AThreeFanIMacPinsItsHddFan",
                    kIMac,
                    1100,
                    -1,
                    {1, "HDD", "forced"},
                    {6200, 6300},
                    {{"fan2_manual", "1"}}},
        // The stored index over the names: the CPU fan, at 2500 rpm within 1200 to 4000.
        MachineCase{"AStoredIndexOverridesTheNames",
                    kIMac,
                    2500,
                    2,
                    {2, "CPU", "forced"},
                    {1200, 4000},
                    {{"fan3_min", "2500"}, {"fan3_manual", "1"}, {"fan3_output", "2500"}}},
        // The only fan: its minimum raised to 3000 rpm, never forced, its target never set.
        MachineCase{"AOneFanMacRaisesOnlyTheFloor",
                    kMacMini,
                    3000,
                    -1,
                    {0, "Exhaust", "floor"},
                    {2000, 5500},
                    {{"fan1_min", "3000"}}},
        // A base speed far above the only fan's maximum never reaches it.
        MachineCase{"ABaseSpeedAboveTheRangeStopsAtTheMaximum",
                    kMacMini,
                    20000,
                    -1,
                    {0, "Exhaust", "floor"},
                    {2000, 5500},
                    {{"fan1_min", "5500"}}},
        MachineCase{
            "AnSmcWithoutFansGetsNothingWritten", "", 1100, -1, {-1, "", "none"}, {0, 0}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DaemonOnApplesmc, ACrashLosesNotTheFansOwnMinimum) {
    useMachine(kMacMini);
    storeSettings(3000, -1);
    startDaemon();
    ASSERT_TRUE(eventually([&] { return tree_->attribute("fan1_min") == "3000"; }));
    EXPECT_EQ(daemon_->stop(SIGKILL), 128 + SIGKILL);

    // Started again over the dead daemon's speed: the range is still the fan's own.
    startDaemon();
    EXPECT_EQ(fanRange(), std::pair(2000, 5500));
    ASSERT_TRUE(eventually([&] { return tree_->attribute("fan1_min") == "3000"; }));
    EXPECT_EQ(daemon_->stop(SIGKILL), 128 + SIGKILL);

    // What the systemd unit runs after a crash.
    const auto released = releaseFans();
    EXPECT_EQ(released.status, 0) << released.err;
    EXPECT_NE(released.out.find("Fan 0 has its own minimum speed of 2000 rpm again."),
              std::string::npos)
        << released.out;
    EXPECT_EQ(tree_->attribute("fan1_min"), "2000");

    startDaemon();
    EXPECT_EQ(fanRange(), std::pair(2000, 5500));
    EXPECT_EQ(daemon_->stop(SIGTERM), 0);
    EXPECT_EQ(tree_->attribute("fan1_min"), "2000");
}

TEST_F(DaemonOnApplesmc, AfterAKillReleaseFansHandsTheFanBack) {
    useMachine(kIMac);
    startDaemon();
    ASSERT_TRUE(eventually([&] { return tree_->attribute("fan2_manual") == "1"; }));
    EXPECT_EQ(daemon_->stop(SIGKILL), 128 + SIGKILL);

    const auto released = releaseFans();
    EXPECT_EQ(released.status, 0) << released.err;
    for (const char* file : {"fan1_manual", "fan2_manual", "fan3_manual"})
        EXPECT_EQ(tree_->attribute(file), "0");
}

TEST_F(DaemonOnApplesmc, ADryRunLeavesEveryFileUntouched) {
    useMachine(kIMac);
    const auto before = tree_->snapshot();
    startDaemon({"--dry-run"});
    ASSERT_TRUE(eventually([&] {
        return daemon_->err().find("smc: would write F1Mx = 6200 rpm") != std::string::npos;
    }));
    EXPECT_EQ(daemon_->stop(SIGTERM), 0);
    EXPECT_EQ(tree_->snapshot(), before);
}

}  // namespace
}  // namespace drivetherm
