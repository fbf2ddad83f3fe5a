// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include "daemon/DaemonOptions.h"

namespace drivetherm {
namespace {

std::optional<DaemonOptions> parse(std::vector<std::string> args, std::string& error) {
    return parseDaemonOptions(args, "/usr/share/drivetherm/machines/default.json", error);
}

TEST(DaemonOptions, NoOptionsMeanTheRealMachineOnTheSystemBus) {
    std::string error;
    auto options = parse({}, error);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->bus, "system");
    EXPECT_EQ(options->machine.kind, MachineChoice::Kind::Linux);
    EXPECT_EQ(options->stateDirectory, "/var/lib/drivetherm");
    EXPECT_EQ(options->machine.sysfsRoot, "/sys");
    EXPECT_EQ(options->machine.deviceDirectory, "");  // the disks place it beside the sysfs root
    EXPECT_EQ(options->tickInterval, std::chrono::milliseconds(1000));
    EXPECT_FALSE(options->dryRun);
}

TEST(DaemonOptions, EveryOptionTakesItsValueSeparateOrAfterAnEqualsSign) {
    std::string error;
    auto options = parse({"--bus=unix:path=/tmp/b", "--hardware", "sim:/tmp/m.json", "--state-dir",
                          "/tmp/s", "--sysfs-root=/tmp/sys", "--dev-dir", "/tmp/dev",
                          "--tick-interval", "50", "--dry-run", "-v"},
                         error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->bus, "unix:path=/tmp/b");
    EXPECT_EQ(options->machine.kind, MachineChoice::Kind::Simulated);
    EXPECT_EQ(options->machine.machineFile, "/tmp/m.json");
    EXPECT_EQ(options->stateDirectory, "/tmp/s");
    EXPECT_EQ(options->machine.sysfsRoot, "/tmp/sys");
    EXPECT_EQ(options->machine.deviceDirectory, "/tmp/dev");
    EXPECT_EQ(options->tickInterval, std::chrono::milliseconds(50));
    EXPECT_TRUE(options->dryRun);
    EXPECT_TRUE(options->verbose);

    options = parse({"--hardware", "sim"}, error);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->machine.machineFile, "/usr/share/drivetherm/machines/default.json");
}

struct BadCase {
    std::vector<std::string> args;
    const char* mentions;
};

class BadOptions : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadOptions, AreRefusedWithOneLineThatNamesTheProblem) {
    std::string error;
    EXPECT_FALSE(parse(GetParam().args, error));
    EXPECT_NE(error.find(GetParam().mentions), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(DaemonOptions, BadOptions,
                         ::testing::Values(BadCase{{"--frobnicate"}, "unknown option"},
                                           BadCase{{"--bus"}, "needs a value"},
                                           BadCase{{"--bus", "/run/bus"}, "D-Bus address"},
                                           BadCase{{"--bus", "unix:path=/a b"}, "D-Bus address"},
                                           BadCase{{"--hardware", "mac"}, "--hardware must be"},
                                           BadCase{{"--hardware", "sim:"}, "--hardware must be"},
                                           BadCase{{"--state-dir", "relative/dir"}, "absolute"},
                                           BadCase{{"--tick-interval", "0"}, "milliseconds"},
                                           BadCase{{"--tick-interval", "100ms"}, "milliseconds"},
                                           BadCase{{"--tick-interval", "99999999999999999999"},
                                                   "milliseconds"},
                                           BadCase{{"--dry-run=yes"}, "takes no value"}));

}  // namespace
}  // namespace drivetherm
