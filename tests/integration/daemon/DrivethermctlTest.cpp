// SPDX-License-Identifier: GPL-2.0-or-later
#include <regex>

#include "tests/integration/daemon/DaemonFixture.h"
#include "tests/integration/smc/RunProgram.h"

namespace drivetherm::testing {
namespace {

#define DEG "\xC2\xB0"  // the degree sign in UTF-8

// The real drivethermctl against the real daemon on the private bus.
class Drivethermctl : public DaemonFixture {
protected:
    ProgramResult ctl(std::vector<std::string> args) {
        args.insert(args.begin(),
                    {DRIVETHERM_BINARY_DIR "/tools/drivethermctl", "--bus", bus_.address()});
        return runProgram(args);
    }
};

TEST_F(Drivethermctl, ChangesReadsAndLooksInsideTheSimulatedMachine) {
    startDaemon();
    EXPECT_EQ(ctl({"set", "baseRpm", "1300"}).status, 0);
    EXPECT_EQ(ctl({"get", "baseRpm"}).out, "1300\n");
    // An operand may start with a dash.
    EXPECT_EQ(ctl({"set", "lowerThreshold", "-5"}).status, 0);
    EXPECT_EQ(ctl({"get", "lowerThreshold"}).out, "-5\n");
    EXPECT_EQ(ctl({"set", "fahrenheit", "yes"}).status, 0);
    EXPECT_TRUE(std::regex_match(ctl({"temp"}).out, std::regex("113 " DEG "F  [0-9]+ rpm\n")));
    const std::string status = ctl({"status"}).out;
    EXPECT_NE(status.find("baseRpm         1300\n"), std::string::npos) << status;
    EXPECT_NE(status.find("fahrenheit      true\n"), std::string::npos) << status;

    EXPECT_EQ(ctl({"simulate", "drive-temperature", "disk0", "60"}).status, 0);
    // From the daemon's next check of the disk on.
    EXPECT_TRUE(eventually([&] { return ctl({"temp"}).out.rfind("140 " DEG "F", 0) == 0; }));
    EXPECT_TRUE(std::regex_match(ctl({"simulate", "read-key", "F1Mn"}).out,
                                 std::regex("F1Mn \\[fpe2\\] status 00000000 bytes [0-9a-f]{2} "
                                            "[0-9a-f]{2}\n")));
    EXPECT_EQ(ctl({"simulate", "read-key", "ZZZZ"}).out, "ZZZZ [    ] status e00002f0 bytes\n");
}

TEST_F(Drivethermctl, EachMistakeIsOneLineAndItsOwnExitStatus) {
    const std::string notRunning = "drivethermctl: the fan daemon is not running on the " +
                                   bus_.address() +
                                   " bus (start it with: systemctl start drivethermd)\n";
    EXPECT_EQ(ctl({"temp"}).err, notRunning);
    EXPECT_EQ(ctl({"temp"}).status, 1);
    startDaemon();
    struct Mistake {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const Mistake mistakes[] = {
        {{"get", "noSuchKey"},
         2,
         "drivethermctl: no setting is called \"noSuchKey\"; see drivethermctl --help\n"},
        {{"set", "baseRpm", "fast"},
         2,
         "drivethermctl: baseRpm must be a whole number of rpm from 0 to 16383, not \"fast\"\n"},
        {{"set", "pinToBase", "maybe"},
         2,
         "drivethermctl: pinToBase must be true or false, not \"maybe\"\n"},
        {{"watch", "0"}, 2, "drivethermctl: watch needs seconds from 0.1 to 3600\n"},
        {{"status", "now"},
         2,
         "drivethermctl: cannot understand \"status\" with 1 operand(s); see drivethermctl "
         "--help\n"},
        {{"simulate", "sensor", "TC0P", "hot"},
         2,
         "drivethermctl: cannot understand \"simulate sensor\"; see drivethermctl --help\n"},
        {{"simulate", "sensor", "TC0P", "1e400"},
         2,
         "drivethermctl: cannot understand \"simulate sensor\"; see drivethermctl --help\n"},
    };
    for (const Mistake& mistake : mistakes) {
        const ProgramResult result = ctl(mistake.args);
        EXPECT_EQ(result.status, mistake.status) << mistake.args[0];
        EXPECT_EQ(result.err, mistake.err);
    }
    const ProgramResult help = ctl({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: drivethermctl [--bus system|session|ADDRESS] COMMAND\n", 0),
              0u);
    const ProgramResult none = ctl({});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, help.out);
}

}  // namespace
}  // namespace drivetherm::testing
