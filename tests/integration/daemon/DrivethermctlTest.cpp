// SPDX-License-Identifier: GPL-2.0-or-later
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

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
    struct Mistake {
        std::vector<std::string> args;
        std::string err;
    };
    // Every one is found before the daemon is asked: no daemon runs yet, and each says what is
    // wrong with the command line, with status 2, not that the daemon is not running.
    const Mistake mistakes[] = {
        {{"get", "noSuchKey"},
         "drivethermctl: no setting is called \"noSuchKey\"; see drivethermctl --help\n"},
        {{"set", "baseRpm", "fast"},
         "drivethermctl: baseRpm must be a whole number of rpm from 0 to 16383, not \"fast\"\n"},
        {{"set", "pinToBase", "maybe"},
         "drivethermctl: pinToBase must be true or false, not \"maybe\"\n"},
        {{"set", "upperThreshold", "nan"},
         "drivethermctl: upperThreshold must be degrees Celsius from -50 to 150, not \"nan\"\n"},
        {{"set", "fanIndex", "10"},
         "drivethermctl: fanIndex must be auto (or -1) or a fan's number from 0 to 9, not "
         "\"10\"\n"},
        {{"watch", "0"}, "drivethermctl: watch needs seconds from 0.1 to 3600\n"},
        {{"status", "now"},
         "drivethermctl: cannot understand \"status\" with 1 operand(s); see drivethermctl "
         "--help\n"},
        {{"temp", "--json"},
         "drivethermctl: --json goes with status, get and watch, not with temp\n"},
        {{"simulate", "sensor", "TC0P", "1e400"},
         "drivethermctl: cannot understand \"simulate sensor\"; see drivethermctl --help\n"},
        {{"simulate", "drive-fault", "disk0", "melted"},
         "drivethermctl: cannot understand \"simulate drive-fault\"; see drivethermctl --help\n"},
        {{"--bus", "/run/bus", "status"},
         "drivethermctl: --bus needs \"system\", \"session\" or a D-Bus address such as "
         "unix:path=/run/x, not \"/run/bus\"\n"},
    };
    for (const Mistake& mistake : mistakes) {
        const ProgramResult result = ctl(mistake.args);
        EXPECT_EQ(result.status, 2) << mistake.args[0];
        EXPECT_EQ(result.err, mistake.err);
        EXPECT_EQ(result.out, "");
    }
    startDaemon();
    // A value only the daemon can judge, refused by it, is a bad value all the same.
    const ProgramResult badName = ctl({"set", "HDDName", "two\nlines"});
    EXPECT_EQ(badName.status, 2);
    EXPECT_EQ(badName.err.rfind("drivethermctl: the daemon refused the value: ", 0), 0u)
        << badName.err;
    const ProgramResult help = ctl({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(
        help.out.rfind("Usage: drivethermctl [--bus system|session|ADDRESS] [--json] COMMAND\n", 0),
        0u);
    const ProgramResult none = ctl({});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, help.out);
    EXPECT_EQ(ctl({"--version"}).out, "drivethermctl " DRIVETHERM_VERSION "\n");
}

TEST_F(Drivethermctl, AnswersScriptsInJsonLines) {
    const auto object = [](const std::string& line) {
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
        EXPECT_EQ(line.back(), '\n');
        return nlohmann::ordered_json::parse(line);
    };
    // Not running: the answer still says so, and the status tells it from a mistake.
    const ProgramResult absent = ctl({"status", "--json"});
    EXPECT_EQ(absent.status, 1);
    EXPECT_EQ(absent.out, "{\"running\":false}\n");

    startDaemon();
    ASSERT_EQ(ctl({"set", "lowerThreshold", "50.7"}).status, 0);
    ASSERT_EQ(ctl({"set", "fahrenheit", "true"}).status, 0);
    ASSERT_EQ(ctl({"simulate", "drive-temperature", "disk0", "45"}).status, 0);
    // The float the daemon keeps, printed as the shortest text that reads back to it.
    EXPECT_EQ(ctl({"--json", "get", "lowerThreshold"}).out, "{\"lower_threshold_celsius\":50.7}\n");

    // Celsius whatever the fahrenheit setting says, once the daemon has read the disk.
    EXPECT_TRUE(eventually([&] {
        return object(ctl({"status", "--json"}).out)["temperature_celsius"] == 45.0;
    }));
    const auto status = object(ctl({"status", "--json"}).out);
    std::vector<std::string> names;
    for (const auto& [name, value] : status.items()) names.push_back(name);
    EXPECT_EQ(names,
              (std::vector<std::string>{
                  "running", "base_rpm", "lower_threshold_celsius", "upper_threshold_celsius",
                  "fahrenheit", "pin_to_base", "drive", "use_ambient_temp", "fan_index",
                  "temperature_celsius", "fan_rpm", "driven_fan_index", "fan_label", "fan_mode",
                  "fan_minimum_rpm", "fan_maximum_rpm"}));
    EXPECT_EQ(status["running"], true);
    EXPECT_EQ(status["base_rpm"], 1100);
    EXPECT_EQ(status["upper_threshold_celsius"], 58.0);
    EXPECT_EQ(status["fahrenheit"], true);
    EXPECT_EQ(status["drive"], "");
    EXPECT_EQ(status["pin_to_base"], false);
    EXPECT_TRUE(status["fan_rpm"].is_number_integer()) << status;
    EXPECT_EQ(status["fan_index"], -1);
    // The fan the daemon chose by its name, and the range the SMC gave it.
    EXPECT_EQ(status["driven_fan_index"], 1);
    EXPECT_EQ(status["fan_label"], "HDD");
    EXPECT_EQ(status["fan_mode"], "forced");
    EXPECT_EQ(status["fan_minimum_rpm"], 1100);
    EXPECT_EQ(status["fan_maximum_rpm"], 6000);
    ASSERT_EQ(ctl({"set", "fanIndex", "0"}).status, 0);
    EXPECT_EQ(ctl({"get", "fanIndex", "--json"}).out, "{\"fan_index\":0}\n");
    EXPECT_TRUE(eventually([&] {
        return object(ctl({"status", "--json"}).out)["driven_fan_index"] == 0;
    }));

    // watch: one object a reading; the daemon going away ends it with status 4.
    BackgroundProgram watch({DRIVETHERM_BINARY_DIR "/tools/drivethermctl", "--bus", bus_.address(),
                             "watch", "0.1", "--json"});
    ASSERT_TRUE(eventually([&] {
        const std::string out = watch.out();
        return std::count(out.begin(), out.end(), '\n') >= 2;
    }));
    stopDaemon();
    EXPECT_EQ(watch.wait(10), 4) << watch.err();
    std::istringstream lines(watch.out());
    for (std::string line; std::getline(lines, line);) {
        const auto reading = object(line + "\n");
        EXPECT_TRUE(std::regex_match(
            reading["time"].get<std::string>(),
            std::regex("20[0-9]{2}-[01][0-9]-[0-3][0-9]T[0-2][0-9]:[0-5][0-9]:[0-6][0-9]Z")));
        EXPECT_TRUE(reading["temperature_celsius"].is_number()) << line;
        EXPECT_TRUE(reading["fan_rpm"].is_number_integer()) << line;
    }
}

}  // namespace
}  // namespace drivetherm::testing
