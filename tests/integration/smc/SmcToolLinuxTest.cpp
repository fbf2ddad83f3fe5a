// SPDX-License-Identifier: GPL-2.0-or-later
// drivetherm-smc run as a program on the applesmc transport over a fake tree on disk.
#include <gtest/gtest.h>

#include "hardware/smc/SmcDiagnostics.h"
#include "hardware/smc/SmcSession.h"
#include "hardware/smc/sim/SimSmcDriver.h"
#include "tests/integration/smc/RunProgram.h"
#include "tests/unit/smc/FakeApplesmcTree.h"
#include "tests/unit/smc/RecordingSmcDriver.h"

namespace drivetherm {
namespace {

using testing::FakeApplesmcTree;

const std::string kIMac = DRIVETHERM_TEST_DATA "/smc/imac12-1.keys";

class SmcToolOnApplesmc : public ::testing::Test {
protected:
    testing::ProgramResult tool(std::vector<std::string> args) {
        args.insert(args.begin(),
                    {DRIVETHERM_SMC_TOOL, "--hardware", "linux", "--sysfs-root", tree_.root()});
        return testing::runProgram(args, {"LD_PRELOAD=" DRIVETHERM_FAKE_APPLESMC_PRELOAD,
                                          "DRIVETHERM_FAKE_APPLESMC_KEYS=" + tree_.keyListPath(),
                                          "DRIVETHERM_FAKE_APPLESMC_DIR=" + tree_.deviceDir()});
    }

    FakeApplesmcTree tree_{kIMac};
};

TEST_F(SmcToolOnApplesmc, ListsEveryKeyAndReportsTheFans) {
    auto smc = std::make_shared<SimSmcController>();
    for (const auto& key : testing::loadFakeKeyList(kIMac))
        smc->setKey(key.name, key.type, key.bytes);
    SimSmcDriver reference(smc);
    SmcSession session(&reference);
    session.openSmcConnection();
    testing::CapturedOutput expected;
    listAllSmcKeys(session, expected.file());

    const auto list = tool({"-l"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, expected.text());

    const auto fans = tool({"-f"});
    EXPECT_EQ(fans.status, 0);
    EXPECT_EQ(fans.out.rfind("Total fans in system: 3\n\nFan #0:\n    Actual speed : 5544\n", 0),
              0u)
        << fans.out;

    const auto disk = tool({"-k", "TH0O", "-r"});
    EXPECT_EQ(disk.out, "  TH0O  [sp78]  (bytes f9 00)\n");
}

TEST_F(SmcToolOnApplesmc, WritesTheFanKeysTheDriverCanWriteAndNothingElse) {
    EXPECT_EQ(tool({"-k", "F1Mn", "-w", "3778"}).status, 0);
    EXPECT_EQ(tree_.attribute("fan2_min"), "3550");
    EXPECT_EQ(tool({"-k", "F1Mx", "-w", "3778"}).status, 0);
    EXPECT_EQ(tree_.attribute("fan2_manual"), "1");
    EXPECT_EQ(tree_.attribute("fan2_output"), "3550");

    const auto before = tree_.snapshot();
    const auto refused = tool({"-k", "F1Ac", "-w", "1f40"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "drivetherm-smc: this SMC does not let F1Ac be written\n");
    EXPECT_EQ(tree_.snapshot(), before);
}

TEST(SmcToolWithoutApplesmc, ReportsNoSmcAndWhereItLooked) {
    const auto result = testing::runProgram(
        {DRIVETHERM_SMC_TOOL, "--sysfs-root", ::testing::TempDir() + "no-sysfs", "-f"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "Error: no SMC found\n");
    EXPECT_EQ(result.err,
              "drivetherm-smc: no SMC under " + ::testing::TempDir() +
                  "no-sysfs/devices/platform/applesmc.768 (is the applesmc module loaded?)\n");
}

}  // namespace
}  // namespace drivetherm
