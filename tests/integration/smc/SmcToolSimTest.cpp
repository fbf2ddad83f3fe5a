// SPDX-License-Identifier: GPL-2.0-or-later
// drivetherm-smc run as a program on the simulated controller.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/integration/smc/RunProgram.h"

namespace drivetherm {
namespace {

using testing::runProgram;

testing::ProgramResult tool(std::vector<std::string> args) {
    args.insert(args.begin(), DRIVETHERM_SMC_TOOL);
    return runProgram(args);
}

std::string machineFile(const std::string& name, const std::string& json) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << json;
    return path;
}

TEST(SmcToolOnSim, HelpAndVersionPrintTheUsageAndVersionLines) {
    const auto help = tool({"-h"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(
        help.out.substr(0, help.out.find("    -f")),
        "Apple System Management Control (SMC) tool 0.01\nUsage:\ndrivetherm-smc [options]\n");
    EXPECT_EQ(help.err, "");
    const auto version = tool({"-v"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "Apple System Management Control (SMC) tool 0.01\n");
}

TEST(SmcToolOnSim, BadCommandLinesExitWithStatusTwoAndOneLine) {
    // Which message each gets is the options' own test; here: the status and the one line.
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"}, {"-k", "F1M", "-r"}, {"-k", "F1Mn", "-w", "1f4"}};
    for (const auto& args : cases) {
        const auto result = tool(args);
        EXPECT_EQ(result.status, 2) << (args.empty() ? "(none)" : args[0]);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind("drivetherm-smc: ", 0), 0u) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
}

TEST(SmcToolOnSim, ReadsListsAndReportsTheDefaultMachine) {
    const auto read = tool({"--hardware", "sim", "-k", "F1Ac", "-r"});
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.out, "  F1Ac  [fpe2]  1100 (bytes 11 30)\n");

    const auto list = tool({"--hardware", "sim", "-l"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 30);
    EXPECT_EQ(list.out.rfind("  #KEY  [ui32]  30 (bytes 00 00 00 1e)\n", 0), 0u);

    const auto fans = tool({"--hardware", "sim", "-f"});
    EXPECT_EQ(fans.status, 0);
    EXPECT_EQ(fans.out.rfind("Total fans in system: 3\n\nFan #0:\n    Actual speed : 1150\n", 0),
              0u);
}

TEST(SmcToolOnSim, WritesGoToAControllerOfItsOwnEachRun) {
    EXPECT_EQ(tool({"--hardware", "sim", "-k", "F1Mn", "-w", "1f40"}).status, 0);
    EXPECT_EQ(tool({"--hardware", "sim", "-k", "F1Mn", "-r"}).out,
              "  F1Mn  [fpe2]  1100 (bytes 11 30)\n");

    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const Case failures[] = {
        {{"-k", "F1Mn", "-w", "1f"},
         "drivetherm-smc: F1Mn holds 2 byte(s) of type \"fpe2\" but -w gave 1; give 4 hex "
         "digits\n"},
        {{"-k", "#KEY", "-w", "00000001"},
         "drivetherm-smc: this SMC does not let #KEY be written\n"},
        {{"-k", "NOPE", "-w", "00"}, "drivetherm-smc: the SMC holds no key \"NOPE\"\n"},
        {{"-k", "NOPE", "-r"}, "drivetherm-smc: the SMC holds no key \"NOPE\"\n"},
    };
    for (auto c : failures) {
        c.args.insert(c.args.begin(), {"--hardware", "sim"});
        const auto result = tool(c.args);
        EXPECT_EQ(result.status, 1) << c.args[3];
        EXPECT_EQ(result.err, c.error);
    }
}

TEST(SmcToolOnSim, MachineFileProblemsAreOneLineAndOpenFailuresTheSmcLayersMessage) {
    const std::string bad =
        machineFile("bad-machine.json", R"({"smc": {"fans": [{"min": 1, "max": 1.5}]}})");
    const auto broken = tool({"--hardware", "sim:" + bad, "-f"});
    EXPECT_EQ(broken.status, 1);
    EXPECT_EQ(broken.err, "drivetherm-smc: " + bad +
                              ":1: smc.fans[0].max: expected an integer rpm from 0 to 16383\n");

    const std::string silent =
        machineFile("silent-smc.json", R"({"smc": {"faults": {"exchange": true}}})");
    const auto unreadable = tool({"--hardware", "sim:" + silent, "-l"});
    EXPECT_EQ(unreadable.status, 1);
    EXPECT_EQ(unreadable.err,
              "drivetherm-smc: the number of keys (key #KEY) cannot be read (status e00002ed)\n");

    const std::string absent = machineFile(
        "absent-smc.json", R"({"smc": {"faults": {"open": "no-service"}}, "drives": []})");
    const auto missing = tool({"--hardware", "sim:" + absent, "-l"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "Error: no SMC found\n");
}

}  // namespace
}  // namespace drivetherm
