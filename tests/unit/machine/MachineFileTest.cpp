// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <fstream>

#include "hardware/machine/SimMachine.h"

namespace drivetherm {
namespace {

// Every program reads a machine file through SimMachine::load, so each kind of damage gives
// one message, naming the file, the line and the member.
TEST(MachineFile, EachKindOfDamageIsOneLineNamingTheFileTheLineAndTheMember) {
    const std::string dir = ::testing::TempDir();
    auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(dir + name) << text;
        return dir + name;
    };
    const std::pair<std::string, std::string> cases[] = {
        {dir + "missing.json", dir + "missing.json: cannot read the machine file"},
        {write("broken.json", "{\n  \"smc\": "), dir + "broken.json:2: not valid JSON: "},
        // Found by the machine-file fuzz target: a number beyond a double ended the program.
        {write("huge.json", "{\"smc\": {\"fans\": [\n  {\"min\": 1100, \"max\": 21e700}]}}"),
         dir + "huge.json:2: not valid JSON: number overflow parsing '21e700'"},
        {write("list.json", "[1]"), dir + "list.json:1: expected a JSON object"},
        {write("newline.json", "{\"smc\": {},\n \"de\\nscription\": 1}"),
         dir + "newline.json:2: de\\nscription: unknown member"},
        {write("nosmc.json", "{\"drives\": []}"),
         dir + "nosmc.json:1: smc: missing: a machine needs an SMC"},
        {write("bad.json",
               "{\n"
               "  \"smc\": {\n"
               "    \"fans\": [\n"
               "      {\"min\": 1100,\n"
               "       \"max\": 99999}\n"
               "    ]\n"
               "  }\n"
               "}\n"),
         dir + "bad.json:5: smc.fans[0].max: expected an integer rpm from 0 to 16383"},
        // A missing member is placed at the line of the member that lacks it.
        {write("short.json", "{\n  \"smc\": {\"fans\": [\n    {\"min\": 1}\n  ]}\n}\n"),
         dir + "short.json:3: smc.fans[0].max: missing (an integer rpm)"},
        {write("drive.json",
               "{\"smc\": {},\n \"drives\": [\n  {\"bsdName\": \"disk0\", \"model\": \"M\",\n   "
               "\"smart\": \"maybe\"}]}"),
         dir +
             "drive.json:4: drives[0].smart: expected \"property\", \"ata-features\" or \"none\""},
        {write("thermal.json", "{\"smc\": {},\n \"thermal\": {\"fanLag\": 2}}"),
         dir + "thermal.json:2: thermal.fanLag: expected a share above 0, at most 1"},
    };
    for (const auto& [path, message] : cases) {
        try {
            SimMachine::load(path);
            ADD_FAILURE() << "no error for " << path;
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()).rfind(message, 0), 0u) << error.what();
            EXPECT_EQ(std::string(error.what()).find('\n'), std::string::npos) << error.what();
        }
    }
}

}  // namespace
}  // namespace drivetherm
