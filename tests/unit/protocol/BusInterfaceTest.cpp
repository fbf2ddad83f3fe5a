// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "protocol/BusNames.h"
#include "protocol/DaemonInterface.h"
#include "protocol/SimulatorInterface.h"
#include "tests/support/BusInterfaceDocument.h"

namespace drivetherm::testing {
namespace {

std::string interfaceFile() {
    std::ifstream in(DRIVETHERM_SOURCE_DIR "/protocol/com.quillmoor.Drivetherm.xml");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// What the installed file says about the two interfaces, against the tables the daemon serves
// and the clients call: empty when they agree.
std::string differences(const std::string& xml) {
    const auto interfaces = parseIntrospection(xml);
    std::string text;
    for (const auto& [name, table] :
         {std::pair{DaemonInterface::kName, std::span<const BusMethod>(DaemonInterface::kMethods)},
          std::pair{SimulatorInterface::kName,
                    std::span<const BusMethod>(SimulatorInterface::kMethods)}}) {
        const auto described = interfaces.find(name);
        if (described == interfaces.end()) {
            text += std::string(name) + " is not described\n";
            continue;
        }
        text += introspectionDifferences(table, described->second, bus::kConfigureAction);
    }
    return text;
}

TEST(BusInterface, TheInterfaceFileDescribesTheTablesMethodForMethod) {
    const std::string xml = interfaceFile();
    ASSERT_FALSE(xml.empty());
    EXPECT_EQ(differences(xml), "");
    EXPECT_EQ(parseIntrospection(xml).size(), 2u);
}

TEST(BusInterface, EveryKindOfDriftBetweenTheFileAndTheTablesIsFound) {
    struct Drift {
        const char* what;
        std::string from, to;
        const char* found;
    };
    const Drift drifts[] = {
        {"a signature", R"(<arg name="rpm" type="i" direction="in"/>)",
         R"(<arg name="rpm" type="u" direction="in"/>)", "SetBaseRpm): takes \"u\""},
        {"a direction", R"(<arg name="reads" type="i" direction="out"/>)",
         R"(<arg name="reads" type="i" direction="in"/>)", "DriveReadCount): takes \"si\""},
        {"an argument's name", R"(<arg name="fault" type="s")", R"(<arg name="problem" type="s")",
         "SetDriveFault): names its arguments (disk,problem)()"},
        {"a method's name", R"(<method name="WriteValues">)", R"(<method name="Write">)",
         "WriteValues): described as Write"},
        {"a lost privilege", R"(<method name="WriteValues">
      <annotation name="com.quillmoor.Drivetherm.Authorization")",
         R"(<method name="WriteValues">
      <annotation name="com.quillmoor.Drivetherm.Remark")",
         "WriteValues): privileged but not annotated"},
        {"a missing interface", "com.quillmoor.Drivetherm.Simulator\"",
         "com.quillmoor.Drivetherm.Other\"", "Simulator is not described"},
    };
    const std::string xml = interfaceFile();
    for (const Drift& drift : drifts) {
        std::string changed = xml;
        const std::size_t at = changed.find(drift.from);
        ASSERT_NE(at, std::string::npos) << drift.what;
        changed.replace(at, drift.from.size(), drift.to);
        EXPECT_NE(differences(changed).find(drift.found), std::string::npos)
            << drift.what << ":\n"
            << differences(changed);
    }
}

}  // namespace
}  // namespace drivetherm::testing
