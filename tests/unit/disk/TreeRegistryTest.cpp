// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/TreeRegistry.h"

#include <gtest/gtest.h>

#include "DiskFakes.h"

namespace drivetherm {
namespace {

TEST(TreeRegistry, EntriesOfAReplacedTreeStayValidUntilReleased) {
    TreeRegistry registry(test::buildTree({{.bsdName = "disk0", .model = "Old"}}));
    RegistryEntry media = registry.serviceMatchingBsdName("disk0");
    ASSERT_TRUE(media);

    // The disk is swapped for another: a fresh look-up sees the new tree, the held entry can
    // still walk its own.
    registry.setTree(test::buildTree({{.bsdName = "disk0", .model = "New", .hasDriver = false}}));
    RegistryEntry driver = registry.parentEntry(media, kIOServicePlane);
    ASSERT_TRUE(driver);
    EXPECT_TRUE(registry.conformsTo(driver, kIOBlockStorageDriverClass));
    EXPECT_FALSE(registry.serviceMatchingBsdName("disk0")) << "the new disk has no media";
    EXPECT_EQ(registry.outstandingReferences(), 2u);
    media.reset();
    driver.reset();
    EXPECT_EQ(registry.outstandingReferences(), 0u);
}

TEST(TreeRegistry, EachReferenceHasItsOwnIdAndForeignHandlesFindNothing) {
    TreeRegistry registry(test::buildTree({{.bsdName = "disk0", .model = "A"}}));
    TreeRegistry other(test::buildTree({{.bsdName = "disk0", .model = "A"}}));
    RegistryEntry first = registry.serviceMatchingBsdName("disk0");
    RegistryEntry second = registry.serviceMatchingBsdName("disk0");
    EXPECT_NE(first.id(), second.id());
    EXPECT_FALSE(other.parentEntry(first, kIOServicePlane));
    EXPECT_FALSE(other.property(first, kBsdNameKey));
    EXPECT_FALSE(registry.parentEntry(first, "IODeviceTree")) << "only the service plane is walked";

    RegistryEntry moved = std::move(first);
    EXPECT_FALSE(first);
    EXPECT_EQ(registry.outstandingReferences(), 2u);
}

TEST(TreeRegistry, MatchingKeepsRegistryOrderAndHonoursListedProperties) {
    TreeRegistry registry(test::buildTree({
        {.bsdName = "disk0", .model = "A"},
        {.bsdName = "disk1", .model = "B", .smart = test::Smart::PropertyFalse},
        {.bsdName = "disk2", .model = "C", .smart = test::Smart::AtaFeatures, .ataFeatures = 0x20},
    }));
    RegistryMatch match{kIOBlockStorageDeviceClass, {{kSmartCapableKey, true}}};
    RegistryIterator iterator;
    ASSERT_EQ(registry.servicesMatching(match, iterator), kIOReturnSuccess);
    std::vector<std::string> drives;
    for (RegistryEntry entry = iterator.next(); entry; entry = iterator.next())
        drives.push_back(*registry.property(entry, "Test Drive")->string());
    EXPECT_EQ(drives, (std::vector<std::string>{"disk0", "disk2"}));

    ASSERT_EQ(registry.servicesMatching({kIOATABlockStorageDeviceClass, {}}, iterator), kIOReturnSuccess);
    EXPECT_EQ(registry.outstandingReferences(), 1u);
    iterator = RegistryIterator();
    EXPECT_EQ(registry.outstandingReferences(), 0u) << "entries not taken go with the iterator";
}

TEST(RegistryTree, PlanePathsAndAliasesFindTheSameNode) {
    const auto tree = test::buildTree({{.bsdName = "disk0", .model = "A"}, {.bsdName = "disk1", .model = "B"}});
    const auto media = tree->findByBsdName("disk1");
    ASSERT_NE(media, RegistryTree::kNone);
    EXPECT_EQ(tree->path(media), "IOService:/port-disk1/device-disk1/driver/disk1");
    EXPECT_EQ(tree->findByPath(tree->path(media)), media);
    EXPECT_EQ(tree->findByPath("alias-disk1"), media);
    EXPECT_EQ(tree->findByPath("IOService:/port-disk1/nothing"), RegistryTree::kNone);
    EXPECT_EQ(tree->findByPath("port-disk1"), RegistryTree::kNone);
}

}  // namespace
}  // namespace drivetherm
