// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include "common/DataPaths.h"
#include "tools/drivetherm-smc/SmcToolOptions.h"

namespace drivetherm {
namespace {

using Action = SmcToolOptions::Action;

SmcToolOptions::Parsed parse(std::vector<const char*> args) {
    args.insert(args.begin(), "drivetherm-smc");
    return SmcToolOptions::parse(static_cast<int>(args.size()), args.data());
}

// The machine as --hardware names it.
std::string hardware(const MachineChoice& machine) {
    if (!machine.simulated()) return "linux";
    return machine.machineFile == defaultMachineFile() ? "sim" : "sim:" + machine.machineFile;
}

struct GoodCase {
    std::vector<const char*> args;
    Action action;
    std::string key;
    std::vector<std::uint8_t> bytes;
    std::string hardware;
};

TEST(SmcToolOptions, CommandLinesBecomeOneAction) {
    const GoodCase cases[] = {
        {{"-h"}, Action::Help, "", {}, "linux"},
        {{"-l", "-h"}, Action::Help, "", {}, "linux"},
        {{"-v"}, Action::Version, "", {}, "linux"},
        {{"-l", "--hardware", "sim"}, Action::List, "", {}, "sim"},
        {{"--hardware=sim:/tmp/m.json", "-f"}, Action::Fans, "", {}, "sim:/tmp/m.json"},
        {{"-k", "F1Ac", "-r"}, Action::Read, "F1Ac", {}, "linux"},
        {{"-kFS! "}, Action::Read, "FS! ", {}, "linux"},
        {{"-k", "F1Mn", "-w", "1F40"}, Action::Write, "F1Mn", {0x1F, 0x40}, "linux"},
        {{"-w1f40", "-kF1Mn"}, Action::Write, "F1Mn", {0x1F, 0x40}, "linux"},
        {{"--release-fans", "--sysfs-root", "/tmp/sys"}, Action::ReleaseFans, "", {}, "linux"},
    };
    for (const auto& c : cases) {
        const auto parsed = parse(c.args);
        ASSERT_TRUE(parsed.ok) << parsed.error;
        EXPECT_EQ(parsed.options.action, c.action) << c.args[0];
        EXPECT_EQ(parsed.options.key, c.key) << c.args[0];
        EXPECT_EQ(parsed.options.bytes, c.bytes) << c.args[0];
        EXPECT_EQ(hardware(parsed.options.machine), c.hardware) << c.args[0];
    }
    EXPECT_EQ(parse({"--release-fans", "--sysfs-root", "/tmp/sys"}).options.machine.sysfsRoot,
              "/tmp/sys");
    EXPECT_EQ(parse({"--release-fans"}).options.stateDirectory, "/var/lib/drivetherm");
    EXPECT_EQ(parse({"--state-dir=/tmp/state", "--release-fans"}).options.stateDirectory,
              "/tmp/state");
}

TEST(SmcToolOptions, BadCommandLinesSayWhatIsWrong) {
    const std::pair<std::vector<const char*>, std::string> cases[] = {
        {{"-x"}, "unknown option \"-x\"; -h shows the usage"},
        {{"--hardwarex", "sim"}, "unknown option \"--hardwarex\"; -h shows the usage"},
        {{"-k", "F1M", "-r"},
         "-k: a key is four characters, such as F1Mn or \"FS! \" (got \"F1M\")"},
        {{"-k", "F1Mn", "-w", "1f4"},
         "-w: expected 1 to 32 bytes as hex, two digits a byte, such as 1f40 (got \"1f4\")"},
        {{"-k", "F1Mn", "-w", "zz"},
         "-w: expected 1 to 32 bytes as hex, two digits a byte, such as 1f40 (got \"zz\")"},
        {{"-k", "F1Mn", "-w", ""},
         "-w: expected 1 to 32 bytes as hex, two digits a byte, such as 1f40 (got \"\")"},
        {{"-k"}, "-k needs a key, such as -k F1Mn"},
        {{"-r"}, "-r needs a key: -k KEY"},
        {{"-l", "-f"}, "choose one of -f, -l, -r, -w and --release-fans, not both -l and -f"},
        {{"-k", "F1Mn", "-l"}, "-k goes with -r or -w, not with -l"},
        {{},
         "nothing to do: give -f, -l, -k KEY -r, -k KEY -w HEX or --release-fans (-h shows the "
         "usage)"},
        {{"--hardware", "mac", "-l"}, "--hardware: expected linux, sim or sim:FILE (got \"mac\")"},
        {{"--hardware", "sim:", "-l"},
         "--hardware: expected linux, sim or sim:FILE (got \"sim:\")"},
        {{"-l", "--sysfs-root"}, "--sysfs-root needs a directory"},
        {{"-l", "--state-dir", "/tmp"}, "--state-dir goes with --release-fans, not with -l"},
        {{"--release-fans", "--state-dir", "state"},
         "--state-dir needs an absolute directory, such as /var/lib/drivetherm"},
    };
    for (const auto& [args, error] : cases) {
        const auto parsed = parse(args);
        EXPECT_FALSE(parsed.ok) << (args.empty() ? "(none)" : args[0]);
        EXPECT_EQ(parsed.error, error);
    }
}

}  // namespace
}  // namespace drivetherm
