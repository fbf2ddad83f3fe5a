// SPDX-License-Identifier: GPL-2.0-or-later
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DiskFakes.h"
#include "hardware/disk/DeviceRegistry.h"
#include "hardware/disk/DriveWalk.h"

namespace drivetherm {
namespace {

using test::Smart;
using test::TestDisk;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class DriveWalkTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(registry_.outstandingReferences(), 0u) << "the walk kept a registry reference";
    }

    std::vector<std::string> driveNames(const std::vector<TestDisk>& disks) {
        registry_.setTree(test::buildTree(disks));
        RegistryIterator iterator;
        EXPECT_EQ(walk_.FindStorageMedia(&iterator), kIOReturnSuccess);
        return walk_.GetDriveNameArray(iterator);
    }

    TreeRegistry registry_;
    DriveWalk walk_{&registry_};
};

TEST_F(DriveWalkTest, TheListHoldsTheModelOfEverySmartCapableDiskInRegistryOrder) {
    EXPECT_THAT(driveNames({{.bsdName = "disk0", .model = "APPLE HDD HTS541010A9E682"}}),
                ElementsAre("APPLE HDD HTS541010A9E682"));
    EXPECT_THAT(driveNames({{.bsdName = "disk0", .model = "ST31000528AS"},
                            {.bsdName = "disk1", .model = "WDC WD10EZEX-08M2NA0"},
                            {.bsdName = "disk2", .model = "ST31000528AS"}}),
                ElementsAre("ST31000528AS", "WDC WD10EZEX-08M2NA0", "ST31000528AS"));
    EXPECT_THAT(driveNames({}), IsEmpty());
}

TEST_F(DriveWalkTest, ADiskWithABrokenLinkIsLeftOutWithoutAffectingTheOthers) {
    struct Case {
        const char* what;
        TestDisk disk;
        bool listed;
    };
    const Case cases[] = {
        {"SMART Capable property", {.smart = Smart::Property}, true},
        {"ATA features 0x20", {.smart = Smart::AtaFeatures, .ataFeatures = 0x20}, true},
        {"ATA features 0x21", {.smart = Smart::AtaFeatures, .ataFeatures = 0x21}, true},
        {"ATA features 0x1F", {.smart = Smart::AtaFeatures, .ataFeatures = 0x1F}, false},
        {"ATA without a features number", {.smart = Smart::AtaFeatures, .ataFeatures = 0}, false},
        {"neither property nor ATA", {.smart = Smart::None}, false},
        {"SMART Capable says false", {.smart = Smart::PropertyFalse}, false},
        {"no driver", {.hasDriver = false}, false},
        {"driver not the first child", {.driverFirst = false}, false},
        {"no media", {.hasMedia = false}, false},
        {"media without a BSD name", {.hasBsdName = false}, false},
        {"no model in the description", {.hasModel = false}, false},
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.what);
        c.disk.bsdName = "disk1";
        c.disk.model = "Under test";
        const auto names = driveNames({{.bsdName = "disk0", .model = "Before"},
                                       c.disk,
                                       {.bsdName = "disk2", .model = "After"}});
        if (c.listed)
            EXPECT_THAT(names, ElementsAre("Before", "Under test", "After"));
        else
            EXPECT_THAT(names, ElementsAre("Before", "After"));
    }
}

TEST_F(DriveWalkTest, TheLookupReturnsTheFirstSmartCapableDiskWithExactlyThatModel) {
    registry_.setTree(test::buildTree({
        {.bsdName = "disk0", .model = "Twin", .smart = Smart::None},
        {.bsdName = "disk1", .model = "WDC WD10EZEX-08M2NA0"},
        {.bsdName = "disk2", .model = "Twin"},
        {.bsdName = "disk3", .model = "Twin"},
        {.bsdName = "disk4", .model = "Orphan", .hasDriver = false},
    }));
    struct Case {
        std::string driveName;
        std::optional<std::string> bsdName;
    };
    const Case cases[] = {
        {"WDC WD10EZEX-08M2NA0", "disk1"},
        {"Twin", "disk2"},  // disk0 cannot report SMART, disk3 comes second
        {"twin", std::nullopt},
        {"Twin ", std::nullopt},
        {"Orphan", std::nullopt},
        {"Not here", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.driveName);
        EXPECT_EQ(walk_.GetBSDNameForDriveName(c.driveName), c.bsdName);
    }
    EXPECT_EQ(walk_.volumeNameWithBSDPath("disk1"), "WDC WD10EZEX-08M2NA0");
    EXPECT_EQ(walk_.volumeNameWithBSDPath("disk9"), std::nullopt);
}

TEST(DriveWalk, AFailedSearchIsReportedAndResolvesNothing) {
    test::FailingRegistry failing(kIOReturnNotPrivileged);
    failing.setTree(test::buildTree({{.bsdName = "disk0", .model = "A"}}));
    DriveWalk walk(&failing);
    RegistryIterator iterator;
    EXPECT_EQ(walk.FindStorageMedia(&iterator), kIOReturnNotPrivileged);
    EXPECT_TRUE(iterator.done());
    EXPECT_EQ(walk.GetBSDNameForDriveName("A"), std::nullopt);

    DriveWalk none(nullptr);
    EXPECT_EQ(none.FindStorageMedia(&iterator), kIOReturnNoDevice);
    EXPECT_EQ(none.GetBSDNameForDriveName("A"), std::nullopt);
    EXPECT_EQ(none.volumeNameWithBSDPath("disk0"), std::nullopt);
    EXPECT_THAT(none.GetDriveNameArray(iterator), IsEmpty());
}

}  // namespace
}  // namespace drivetherm
