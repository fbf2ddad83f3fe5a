// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "hardware/smc/SmcCodec.h"
#include "hardware/smc/SmcDiagnostics.h"
#include "hardware/smc/SmcSession.h"
#include "hardware/smc/linux/ApplesmcDriver.h"
#include "hardware/smc/sim/SimSmcDriver.h"
#include "tests/unit/smc/FakeApplesmcTree.h"
#include "tests/unit/smc/RecordingSmcDriver.h"

namespace drivetherm {
namespace {

using testing::CapturedOutput;
using testing::FakeApplesmcTree;

const std::string kIMac = DRIVETHERM_TEST_DATA "/smc/imac12-1.keys";
const std::string kMacBookAir = DRIVETHERM_TEST_DATA "/smc/macbookair-2011.keys";

// An open connection through the applesmc transport to a fake tree.
class OnFakeTree {
public:
    explicit OnFakeTree(const std::string& keyList, FakeApplesmcTree::Placement placement =
                                                        FakeApplesmcTree::Placement::Platform)
        : tree(keyList, placement), driver(tree.root(), tree) {}
    bool open() { return session.openSmcConnection() == 0; }

    FakeApplesmcTree tree;
    ApplesmcDriver driver;
    SmcSession session{&driver};
};

std::string listing(SmcDriver& driver) {
    SmcSession session(&driver);
    session.openSmcConnection();
    CapturedOutput out;
    listAllSmcKeys(session, out.file());
    return out.text();
}

// A real SMC's sensors and fan speeds carry bits below a quarter degree and below one rpm, which
// the driver's dedicated files do not show and key_at_index_data does.
std::string keysWithFractionBits() {
    const std::string keyList = ::testing::TempDir() + "fraction-bits.keys";
    std::ofstream(keyList)
        << "F0Ac fpe2 hex 1f43\nFNum ui8  uint 1\nFS!  ui16 uint 0\nTC0P sp78 hex 2d13\n";
    return keyList;
}

TEST(ApplesmcTransport, ListingGivesEveryKeysBytesAsTheSmcHoldsThem) {
    for (const std::string& keyList : {kIMac, kMacBookAir, keysWithFractionBits()}) {
        auto smc = std::make_shared<SimSmcController>();
        for (const auto& key : testing::loadFakeKeyList(keyList))
            smc->setKey(key.name, key.type, key.bytes);
        SimSmcDriver reference(smc);

        // As drivetherm-smc reads them: the SMC's own bytes.
        FakeApplesmcTree tree(keyList);
        ApplesmcDriver driver(tree.root(), tree, ApplesmcDriver::Reads::SmcBytes);
        const std::string text = listing(driver);
        EXPECT_EQ(text, listing(reference)) << keyList;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(smc->keyCount()));
    }
}

TEST(ApplesmcTransport, FanReportShowsTheCapturedMinimumAboveTheMaximum) {
    OnFakeTree smc(kIMac);
    ASSERT_TRUE(smc.open());
    CapturedOutput out;
    ASSERT_EQ(printFanReport(smc.session, out.file()), kIOReturnSuccess);
    EXPECT_EQ(
        out.text().substr(0, out.text().find("    Actual", 180)),
        "Total fans in system: 3\n\nFan #0:\n    Actual speed : 5544\n    Minimum speed: 6200\n"
        "    Maximum speed: 4350\n    Safe speed   : 1000\n    Target speed : 5544\n"
        "    Mode         : auto\n\nFan #1:\n");
}

TEST(ApplesmcTransport, TheLoopsReadsComeFromTheDedicatedFilesInOneOperation) {
    struct Case {
        const std::string* keyList;
        const char* key;
        double celsius;
        const char* file;
    };
    const Case cases[] = {
        {&kIMac, "TH0O", -7.0, "read temp20_input"},
        {&kIMac, "TC0P", 51.0, "read temp5_input"},
        {&kIMac, "TL0P", 40.25, "read temp22_input"},
        {&kMacBookAir, "TH0F", -6.75, "read temp13_input"},
        {&kMacBookAir, "TC0D", 42.25, "read temp5_input"},
    };
    for (const auto& c : cases) {
        OnFakeTree smc(*c.keyList);
        ASSERT_TRUE(smc.open());
        EXPECT_DOUBLE_EQ(smc.session.readSmcTemperature(c.key), c.celsius) << c.key;
        smc.tree.resetCounts();
        EXPECT_DOUBLE_EQ(smc.session.readSmcTemperature(c.key), c.celsius) << c.key;
        EXPECT_EQ(smc.tree.log(), std::vector<std::string>{c.file}) << c.key;
    }

    OnFakeTree smc(kIMac);
    ASSERT_TRUE(smc.open());
    EXPECT_EQ(smc.session.readSmcFanSpeed("F1Ac"), 6200);
    smc.tree.setAttribute("fan2_input", "3001");
    smc.tree.resetCounts();
    EXPECT_EQ(smc.session.readSmcFanSpeed("F1Ac"), 3001);
    EXPECT_EQ(smc.tree.log(), std::vector<std::string>{"read fan2_input"});
    // A key the SMC does not hold is searched once and then known to be absent.
    EXPECT_DOUBLE_EQ(smc.session.readSmcTemperature("TC0D"), 0.0);
    smc.tree.resetCounts();
    EXPECT_DOUBLE_EQ(smc.session.readSmcTemperature("TC0D"), 0.0);
    EXPECT_EQ(smc.tree.operations(), 0);
}

TEST(ApplesmcTransport, FanWritesGoToTheDriversFiles) {
    struct Case {
        std::function<kern_return_t(SmcSession&)> write;
        std::vector<std::pair<const char*, const char*>> files;
    };
    const Case cases[] = {
        {[](SmcSession& session) { return session.writeSmcFanSpeed("F1Mn", 3550); },
         {{"fan2_min", "3550"}, {"fan2_manual", "0"}}},
        {[](SmcSession& session) { return session.writeSmcFanSpeed("F1Tg", 2000); },
         {{"fan2_output", "2000"}, {"fan2_manual", "0"}}},
        {[](SmcSession& session) { return session.writeSmcFanSpeed("F1Mx", 3550); },
         {{"fan2_manual", "1"},
          {"fan2_output", "3550"},
          {"fan2_max", "6300"},
          {"fan2_min", "6200"}}},
        {[](SmcSession& session) {
             SmcValue mask;
             std::memcpy(mask.keyName, "FS! ", 5);
             mask.valueSize = 2;
             mask.valueBytes[1] = 0x05;
             return session.writeSmcKey(mask);
         },
         {{"fan1_manual", "1"}, {"fan2_manual", "0"}, {"fan3_manual", "1"}}},
    };
    for (const auto& c : cases) {
        OnFakeTree smc(kIMac);
        ASSERT_TRUE(smc.open());
        EXPECT_EQ(c.write(smc.session), kIOReturnSuccess);
        for (const auto& [file, value] : c.files)
            EXPECT_EQ(smc.tree.attribute(file), value) << file;
    }
}

TEST(ApplesmcTransport, OtherKeysAndDriverRefusalsFailWithNothingWritten) {
    OnFakeTree smc(kIMac);
    ASSERT_TRUE(smc.open());
    const auto before = smc.tree.snapshot();
    for (const char* key : {"F1Ac", "F1Sf", "TC0P"}) {
        EXPECT_EQ(smc.session.writeSmcFanSpeed(key, 2000), kIOReturnNotWritable) << key;
    }
    SmcValue count;
    smc.session.readSmcKey("FNum", count);
    EXPECT_EQ(smc.session.writeSmcKey(count), kIOReturnNotWritable);
    EXPECT_EQ(smc.tree.snapshot(), before);

    const std::pair<int, kern_return_t> refusals[] = {
        {EINVAL, kIOReturnBadArgument}, {EIO, kIOReturnIOError}, {EACCES, kIOReturnNotPrivileged}};
    for (const auto& [error, status] : refusals) {
        smc.tree.failAttribute("fan2_min", error);
        EXPECT_EQ(smc.session.writeSmcFanSpeed("F1Mn", 3550), status) << error;
    }
}

TEST(ApplesmcTransport, AForcedMaskWritesOnlyTheBitsThatChange) {
    // Fans 0 and 2 forced by another program; clearing fan 0 must not rewrite fan 2's bit, which
    // that program may be changing at this very moment.
    OnFakeTree smc(kIMac);
    smc.tree.setAttribute("fan1_manual", "1");
    smc.tree.setAttribute("fan3_manual", "1");
    ASSERT_TRUE(smc.open());
    SmcValue mask;
    std::memcpy(mask.keyName, "FS! ", 5);
    mask.valueSize = 2;
    mask.valueBytes[1] = 0x04;
    smc.tree.resetCounts();
    EXPECT_EQ(smc.session.writeSmcKey(mask), kIOReturnSuccess);
    std::vector<std::string> writes;
    for (const std::string& entry : smc.tree.log()) {
        if (entry.rfind("write fan", 0) == 0) writes.push_back(entry);
    }
    EXPECT_EQ(writes, std::vector<std::string>{"write fan1_manual=0"});
    EXPECT_EQ(smc.tree.attribute("fan3_manual"), "1");
}

TEST(ApplesmcTransport, AFailingDeviceFailsToOpenAndAMissingOneIsNoSmc) {
    {
        // The driver is there, the SMC does not answer it.
        OnFakeTree smc(kIMac);
        smc.tree.failAttribute("key_count", EIO);
        ::testing::internal::CaptureStdout();
        EXPECT_FALSE(smc.open());
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error: IOServiceOpen() = e00002cb\n");
        EXPECT_EQ(smc.session.lastOpenFailure(), SmcOpenResult::Step::OpenFailed);
    }
    ApplesmcDriver driver(::testing::TempDir() + "no-such-sysfs");
    SmcSession session(&driver);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(session.openSmcConnection(), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error: no SMC found\n");
    EXPECT_EQ(session.lastOpenFailure(), SmcOpenResult::Step::NoService);
}

TEST(ApplesmcTransport, ASilentSmcHoldsAnOpenForOneReadOfItsKeyCount) {
    // Each failed read costs the driver's time-out (about half a second) on a real SMC that does
    // not answer; no other directory leads to another SMC, so none is tried.
    OnFakeTree smc(kIMac);
    ASSERT_TRUE(smc.open());
    smc.session.closeSmcConnection();
    smc.tree.failAttribute("key_count", EIO);
    for (int open = 0; open < 2; ++open) {
        smc.tree.resetCounts();
        ::testing::internal::CaptureStdout();
        EXPECT_FALSE(smc.open());
        ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(smc.tree.log(), std::vector<std::string>{"read key_count"}) << "open " << open;
    }
    smc.tree.failAttribute("key_count", 0);
    EXPECT_TRUE(smc.open());
}

TEST(ApplesmcTransport, TheDeviceIsFoundThroughItsHwmonClassDirectoryToo) {
    OnFakeTree smc(kMacBookAir, FakeApplesmcTree::Placement::Hwmon);
    ASSERT_TRUE(smc.open());
    EXPECT_EQ(smc.driver.deviceDirectory(), smc.tree.root() + "/class/hwmon/hwmon3/device");
    EXPECT_EQ(smc.session.readSmcFanSpeed("F0Ac"), 2005);
}

TEST(ApplesmcTransport, ASteadyTickCostsAtMostEightFileOperations) {
    OnFakeTree smc(kIMac);
    auto tick = [&smc] {
        smc.session.openSmcConnection();
        smc.session.writeSmcFanSpeed("F1Mn", 3550);
        smc.session.writeSmcFanSpeed("F1Mx", 3550);
        smc.session.closeSmcConnection();
    };
    tick();
    smc.tree.resetCounts();
    tick();
    EXPECT_LE(smc.tree.operations(), 8);
    EXPECT_EQ(smc.tree.log(), (std::vector<std::string>{
                                  "read key_count", "read fan2_min", "write fan2_min=3550",
                                  "read fan2_max", "read fan2_manual", "write fan2_output=3550"}));

    // A temperature check over the loop's seven sensors: one read per sensor the machine has.
    auto check = [&smc] {
        double sum = 0;
        for (const char* key : {"TC0P", "TC0D", "TC0H", "TA0P", "TL0P", "TO0P", "Tp1P"})
            sum += smc.session.readSmcTemperature(key);
        return sum;
    };
    ASSERT_TRUE(smc.open());
    check();
    smc.tree.resetCounts();
    EXPECT_DOUBLE_EQ(check(), 51.0 + 54.5 + 35.5 + 40.25);
    EXPECT_EQ(smc.tree.operations(), 4);
}

TEST(ApplesmcTransport, AnotherProgramMovingTheSelectorIsNoticedAndTheReadRepeated) {
    OnFakeTree smc(kIMac);
    ASSERT_TRUE(smc.open());
    int moves = 1;
    smc.tree.beforeRead = [&](const std::string& name) {
        if (name == "key_at_index_name" && moves-- > 0)
            smc.tree.writeFile(smc.tree.deviceDir() + "/key_at_index", "0");
    };
    SmcValue mask;
    ASSERT_EQ(smc.session.readSmcKey("FS! ", mask), kIOReturnSuccess);
    EXPECT_STREQ(mask.valueType, "ui16");
    EXPECT_EQ(mask.valueSize, 2u);

    smc.tree.beforeRead = [&](const std::string& name) {
        if (name == "key_at_index_data")
            smc.tree.writeFile(smc.tree.deviceDir() + "/key_at_index", "0");
    };
    EXPECT_EQ(smc.session.readSmcKey("FS! ", mask), kIOReturnExclusiveAccess);
}

}  // namespace
}  // namespace drivetherm
