// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "tests/integration/smc/RunProgram.h"

namespace drivetherm {
namespace {

// Whatever program is pointed at a damaged machine file says the same one line about it, after
// its own name, and stops.
TEST(BrokenMachineFile, GivesTheSameLineFromEveryProgramThatReadsIt) {
    const std::string path = ::testing::TempDir() + "broken-machine.json";
    std::ofstream(path)
        << "{\n  \"smc\": {\"fans\": [{\"min\": 1100, \"max\": 6000}]},\n"
           "  \"drives\": [{\"bsdName\": \"sda\", \"model\": \"M\", \"smart\": \"property\",\n"
           "              \"temperature\": 40}]\n}\n";
    const std::string line =
        path + ":3: drives[0].bsdName: expected a whole-disk name such as \"disk0\"\n";

    struct Program {
        const char* name;
        std::vector<std::string> args;
    };
    std::vector<Program> programs = {
        {"drivethermd",
         {DRIVETHERM_DAEMON, "--bus", "unix:path=/nonexistent", "--hardware", "sim:" + path}},
        {"drivetherm-smc", {DRIVETHERM_SMC_TOOL, "--hardware", "sim:" + path, "-l"}},
    };
#ifdef DRIVETHERM_SETTINGS
    programs.push_back({"drivetherm",
                        {DRIVETHERM_SETTINGS, "--bus", "unix:path=/nonexistent", "--hardware",
                         "sim:" + path, "--quit-after-first-paint"}});
#endif
    const std::string runtime = ::testing::TempDir() + "broken-machine-runtime";
    ::mkdir(runtime.c_str(), 0700);
    for (const Program& program : programs) {
        const auto result = testing::runProgram(
            program.args, {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + runtime});
        EXPECT_EQ(result.status, 1) << program.name;
        EXPECT_EQ(result.err, std::string(program.name) + ": " + line) << program.name;
    }
}

}  // namespace
}  // namespace drivetherm
