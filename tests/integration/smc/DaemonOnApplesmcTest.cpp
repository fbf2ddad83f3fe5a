// SPDX-License-Identifier: GPL-2.0-or-later
// drivethermd on the applesmc transport over a fake tree on disk, on a private bus: the loop's
// writes reach the driver's files, and the fans are handed back when it stops or after a crash.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iostream>

#include "tests/integration/smc/RunProgram.h"
#include "tests/unit/smc/FakeApplesmcTree.h"

namespace drivetherm {
namespace {

using testing::BackgroundProgram;
using testing::eventually;
using testing::FakeApplesmcTree;

// A bus of the test's own: nothing auto-starts, everyone may own and call anything.
class PrivateBus {
public:
    PrivateBus() {
        std::ofstream(config_)
            << R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
        daemon_ = std::make_unique<BackgroundProgram>(std::vector<std::string>{
            "/usr/bin/dbus-daemon", "--config-file=" + config_, "--nofork", "--print-address=1"});
        eventually([&] { return daemon_->out().find('\n') != std::string::npos; });
        address_ = daemon_->out().substr(0, daemon_->out().find('\n'));
    }
    ~PrivateBus() {
        daemon_->stop(SIGTERM);
        unlink(config_.c_str());
    }
    const std::string& address() const { return address_; }

private:
    std::string config_ = ::testing::TempDir() + "drivetherm-smc-bus.conf";
    std::unique_ptr<BackgroundProgram> daemon_;
    std::string address_;
};

class DaemonOnApplesmc : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(bus_.address().empty()) << "the private bus did not start";
        ::mkdir(stateDir_.c_str(), 0755);
        ::mkdir(devDir_.c_str(), 0755);
    }
    void TearDown() override {
        if (HasFailure() && daemon_) std::cerr << "drivethermd's log:\n" << daemon_->err();
    }

    std::vector<std::string> environment() const {
        return {"LD_PRELOAD=" DRIVETHERM_FAKE_APPLESMC_PRELOAD,
                "DRIVETHERM_FAKE_APPLESMC_KEYS=" + tree_.keyListPath(),
                "DRIVETHERM_FAKE_APPLESMC_DIR=" + tree_.deviceDir(),
                "ASAN_OPTIONS=verify_asan_link_order=0"};
    }

    void startDaemon(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {
            DRIVETHERM_DAEMON, "--bus",           bus_.address(), "--hardware", "linux",
            "--sysfs-root",    tree_.root(),      "--dev-dir",    devDir_,      "--state-dir",
            stateDir_,         "--tick-interval", "20",           "-v"};
        args.insert(args.end(), extra.begin(), extra.end());
        daemon_ = std::make_unique<BackgroundProgram>(args, environment());
    }

    // The iMac's sensors average 45.3 °C, under the default lower threshold: the base speed of
    // 1100 rpm, held inside the HDD fan's own range of 6200 to 6300 rpm.
    bool fanHeldAtBaseSpeed() {
        return tree_.attribute("fan2_min") == "6200" && tree_.attribute("fan2_manual") == "1" &&
               tree_.attribute("fan2_output") == "6200";
    }

    PrivateBus bus_;
    FakeApplesmcTree tree_{DRIVETHERM_TEST_DATA "/smc/imac12-1.keys"};
    std::string stateDir_ = tree_.root() + "/state";
    std::string devDir_ = tree_.root() + "/dev";
    std::unique_ptr<BackgroundProgram> daemon_;
};

TEST_F(DaemonOnApplesmc, TheLoopForcesTheFanAndSigtermHandsItBack) {
    startDaemon();
    ASSERT_TRUE(eventually([&] { return fanHeldAtBaseSpeed(); }));
    EXPECT_EQ(daemon_->stop(SIGTERM), 0);
    // Automatic control again, with the minimum the fan had before the daemon's first write.
    EXPECT_EQ(tree_.attribute("fan2_manual"), "0");
    EXPECT_EQ(tree_.attribute("fan2_min"), "6200");
    EXPECT_EQ(tree_.attribute("fan1_manual"), "0");
    EXPECT_EQ(tree_.attribute("fan1_min"), "6200");
}

TEST_F(DaemonOnApplesmc, AfterAKillReleaseFansHandsTheFanBack) {
    startDaemon();
    ASSERT_TRUE(eventually([&] { return fanHeldAtBaseSpeed(); }));
    EXPECT_EQ(daemon_->stop(SIGKILL), 128 + SIGKILL);
    EXPECT_EQ(tree_.attribute("fan2_manual"), "1");

    const auto released = testing::runProgram({DRIVETHERM_SMC_TOOL, "--hardware", "linux",
                                               "--sysfs-root", tree_.root(), "--release-fans"},
                                              environment());
    EXPECT_EQ(released.status, 0) << released.err;
    for (const char* file : {"fan1_manual", "fan2_manual", "fan3_manual"})
        EXPECT_EQ(tree_.attribute(file), "0");
}

TEST_F(DaemonOnApplesmc, ADryRunLeavesEveryFileUntouched) {
    const auto before = tree_.snapshot();
    startDaemon({"--dry-run"});
    ASSERT_TRUE(eventually([&] {
        return daemon_->err().find("smc: would write F1Mx = 6200 rpm") != std::string::npos;
    }));
    EXPECT_EQ(daemon_->stop(SIGTERM), 0);
    EXPECT_EQ(tree_.snapshot(), before);
}

}  // namespace
}  // namespace drivetherm
