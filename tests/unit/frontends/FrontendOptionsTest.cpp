// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include "frontends/FrontendOptions.h"

namespace drivetherm {
namespace {

using Program = FrontendOptions::Program;

TEST(FrontendOptions, ReachTheSameDaemonAndMachineAsTheProgramThatStartedThem) {
    std::string error;
    const auto options = parseFrontendOptions(
        {"--bus=unix:path=/tmp/x", "--hardware", "sim:/m.json", "--poll-interval", "200"},
        Program::Monitor, "/default.json", error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->machine.machineFile, "/m.json");
    EXPECT_EQ(options->pollInterval, std::chrono::milliseconds(200));
    EXPECT_EQ(options->passOn(),
              (std::vector<std::string>{"--bus", "unix:path=/tmp/x", "--hardware", "sim:/m.json"}));
    const auto sim =
        parseFrontendOptions({"--hardware", "sim"}, Program::Settings, "/default.json", error);
    ASSERT_TRUE(sim);
    EXPECT_EQ(sim->machine.machineFile, "/default.json");
    EXPECT_EQ(sim->passOn().back(), "sim:/default.json");
}

TEST(FrontendOptions, RefuseWhatTheProgramDoesNotTakeInOneLine) {
    const std::vector<std::pair<Program, std::vector<std::string>>> rows = {
        {Program::Settings, {"--bus"}},
        {Program::Settings, {"--bus", ""}},
        {Program::Settings, {"--hardware", "sim:"}},
        {Program::Settings, {"--hardware", "mac"}},
        {Program::Settings, {"--poll-interval", "100"}},   // the monitor's
        {Program::Monitor, {"--quit-after-first-paint"}},  // the window's
        {Program::Monitor, {"--poll-interval", "5"}},
        {Program::Monitor, {"--tray-wait", "soon"}},
        {Program::Monitor, {"--help=yes"}},
        {Program::Monitor, {"stray"}},
    };
    for (const auto& [program, arguments] : rows) {
        std::string error;
        EXPECT_FALSE(parseFrontendOptions(arguments, program, "/d.json", error)) << arguments[0];
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

}  // namespace
}  // namespace drivetherm
