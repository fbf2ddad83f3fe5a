// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>

#include "common/Log.h"
#include "hardware/smc/DryRunSmcDriver.h"
#include "hardware/smc/FanHandBack.h"
#include "hardware/smc/SmcSession.h"
#include "hardware/smc/linux/ApplesmcDriver.h"
#include "hardware/smc/sim/SimSmcDriver.h"
#include "tests/unit/smc/ControllerFromJson.h"
#include "tests/unit/smc/FakeApplesmcTree.h"
#include "tests/unit/smc/RecordingSmcDriver.h"

namespace drivetherm {
namespace {

using testing::FakeApplesmcTree;

const std::string kIMac = DRIVETHERM_TEST_DATA "/smc/imac12-1.keys";

// One tick of the daemon as the SMC sees it: the fan's minimum and maximum both set.
void daemonTick(SmcSession& smc, FanHandBack& handBack, int rpm) {
    smc.openSmcConnection();
    for (const char* key : {"F1Mn", "F1Mx"}) {
        handBack.noteWrite(key);
        smc.writeSmcFanSpeed(key, rpm);
    }
    smc.closeSmcConnection();
}

TEST(FanHandBack, OnApplesmcTheForcedFanGoesBackToAutomaticWithItsOldMinimum) {
    FakeApplesmcTree tree(kIMac);
    ApplesmcDriver driver(tree.root(), tree);
    SmcSession session(&driver);
    tree.setAttribute("fan3_manual", "1");  // forced by the user, not by the daemon

    FanHandBack handBack(session);
    daemonTick(session, handBack, 3550);
    daemonTick(session, handBack, 4000);
    ASSERT_EQ(tree.attribute("fan2_manual"), "1");
    ASSERT_EQ(tree.attribute("fan2_min"), "4000");

    handBack.handBack();
    EXPECT_EQ(tree.attribute("fan2_manual"), "0");
    EXPECT_EQ(tree.attribute("fan2_min"), "6200");
    EXPECT_EQ(tree.attribute("fan3_manual"), "1");
    EXPECT_EQ(tree.attribute("fan1_min"), "6200");
    EXPECT_FALSE(handBack.pending());
}

TEST(FanHandBack, OnTheSimulatedSmcBothLimitsAreRestored) {
    auto smc = testing::controllerOfMachineFile(DRIVETHERM_SOURCE_DIR "/machines/default.json");
    SimSmcDriver driver(smc);
    SmcSession session(&driver);

    FanHandBack handBack(session);
    handBack.handBack();
    EXPECT_EQ(smc->exchangeCount(), 0);  // nothing written, nothing to open

    daemonTick(session, handBack, 3550);
    ASSERT_EQ(smc->fanMaximum(1), 3550);
    handBack.handBack();
    EXPECT_EQ(smc->fanMinimum(1), 1100);
    EXPECT_EQ(smc->fanMaximum(1), 6000);
    EXPECT_FALSE(smc->fanForced(1));
    EXPECT_EQ(smc->fanMaximum(0), 2700);
}

TEST(FanHandBack, AFailedFirstReadOfTheLimitsIsRetriedAtTheNextWrite) {
    auto smc = testing::controllerOfMachineFile(DRIVETHERM_SOURCE_DIR "/machines/default.json");
    testing::RecordingSmcDriver driver(smc);
    SmcSession session(&driver);
    FanHandBack handBack(session);

    driver.failWhen = [](const SmcParamRecord&) { return true; };
    daemonTick(session, handBack, 3550);  // neither the reads nor the writes get through
    driver.failWhen = nullptr;
    daemonTick(session, handBack, 3550);
    handBack.handBack();
    EXPECT_EQ(smc->fanMinimum(1), 1100);
    EXPECT_EQ(smc->fanMaximum(1), 6000);

    // A hand-back that cannot open the SMC keeps its work for the next try.
    daemonTick(session, handBack, 2500);
    smc->setOpenFault(SimSmcController::OpenFault::NoService);
    ::testing::internal::CaptureStdout();
    handBack.handBack();
    ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(handBack.pending());
}

TEST(FanHandBack, TheOwnLimitsOutliveACrashInTheStateDirectory) {
    const std::string mini = DRIVETHERM_TEST_DATA "/smc/macmini6-2.keys";
    FakeApplesmcTree tree(mini);
    ApplesmcDriver driver(tree.root(), tree);
    SmcSession session(&driver);
    const FanLimitsFile file(tree.root());
    {
        // A daemon raises the only fan's floor and dies without handing it back.
        FanHandBack handBack(session, &file);
        session.openSmcConnection();
        int minimum = 0, maximum = 0;
        ASSERT_TRUE(handBack.ownLimits(0, minimum, maximum));
        handBack.noteWrite("F0Mn");
        session.writeSmcFanSpeed("F0Mn", 3550);
        session.closeSmcConnection();
    }
    ASSERT_EQ(tree.attribute("fan1_min"), "3550");
    EXPECT_EQ(file.load(), (std::map<int, FanLimits>{{0, {2000, 5500}}}));

    // The next daemon takes them up without asking the SMC, which holds the dead one's speed.
    FanHandBack next(session, &file);
    next.takeUpRemembered();
    session.openSmcConnection();
    int minimum = 0, maximum = 0;
    ASSERT_TRUE(next.ownLimits(0, minimum, maximum));
    session.closeSmcConnection();
    EXPECT_EQ(std::pair(minimum, maximum), std::pair(2000, 5500));

    // drivetherm-smc --release-fans gives them back and removes the file; a damaged line is
    // skipped, the rest still read.
    std::ofstream(file.path(), std::ios::app) << "F0Mn fast\n";
    EXPECT_TRUE(handBackRemembered(session, file));
    EXPECT_EQ(tree.attribute("fan1_min"), "2000");
    EXPECT_EQ(tree.attribute("fan1_manual"), "0");
    EXPECT_FALSE(std::ifstream(file.path()).is_open());
}

TEST(ReleaseAllFans, ClearsEveryForcedBitWhetherOrNotAnythingWasLeft) {
    FakeApplesmcTree tree(kIMac);
    ApplesmcDriver driver(tree.root(), tree);
    SmcSession session(&driver);
    tree.setAttribute("fan1_manual", "1");
    tree.setAttribute("fan3_manual", "1");

    unsigned was = 0;
    EXPECT_EQ(releaseAllFans(session, &was), kIOReturnSuccess);
    EXPECT_EQ(was, 0x5u);
    for (const char* file : {"fan1_manual", "fan2_manual", "fan3_manual"})
        EXPECT_EQ(tree.attribute(file), "0");
    EXPECT_EQ(releaseAllFans(session, &was), kIOReturnSuccess);
    EXPECT_EQ(was, 0u);
}

TEST(ReleaseAllFans, ReportsAFailureAndSucceedsWithoutAMask) {
    auto smc = std::make_shared<SimSmcController>();
    smc->setKey("FNum", "ui8 ", {0});
    SimSmcDriver driver(smc);
    SmcSession session(&driver);
    EXPECT_EQ(releaseAllFans(session), kIOReturnSuccess);  // no "FS! ": no fan can be forced

    smc->setKey("FS! ", "ui16", {0x00, 0x02});
    smc->setExchangeFault(true);
    EXPECT_NE(releaseAllFans(session), kIOReturnSuccess);
    smc->setExchangeFault(false);
    EXPECT_EQ(releaseAllFans(session), kIOReturnSuccess);
    EXPECT_FALSE(smc->fanForced(1));
}

TEST(DryRunSmcDriver, ReadsPassThroughAndWritesOnlyLog) {
    FakeApplesmcTree tree(kIMac);
    ApplesmcDriver hardware(tree.root(), tree);
    DryRunSmcDriver driver(hardware);
    SmcSession session(&driver);
    const auto before = tree.snapshot();

    log::setLevel(log::Level::Info);
    ::testing::internal::CaptureStderr();
    FanHandBack handBack(session);
    daemonTick(session, handBack, 3550);
    handBack.handBack();
    SmcValue mask;
    std::memcpy(mask.keyName, "FS! ", 5);
    mask.valueSize = 2;
    mask.valueBytes[1] = 0x02;
    session.openSmcConnection();
    EXPECT_EQ(session.writeSmcKey(mask), kIOReturnSuccess);
    EXPECT_EQ(session.readSmcFanSpeed("F1Ac"), 6200);
    EXPECT_DOUBLE_EQ(session.readSmcTemperature("TH0O"), -7.0);
    session.closeSmcConnection();
    const std::string logged = ::testing::internal::GetCapturedStderr();
    log::setLevel(log::Level::Warning);

    EXPECT_EQ(tree.snapshot(), before);
    EXPECT_NE(logged.find("smc: would write F1Mn = 3550 rpm\n"), std::string::npos) << logged;
    EXPECT_NE(logged.find("smc: would write F1Mx = 3550 rpm\n"), std::string::npos);
    EXPECT_NE(logged.find("smc: would write FS!  = (bytes 00 02)\n"), std::string::npos);
}

}  // namespace
}  // namespace drivetherm
