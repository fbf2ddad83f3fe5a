// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include "DiskFakes.h"
#include "hardware/disk/TreeRegistry.h"

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
    EXPECT_FALSE(TreeRegistry().parentEntry(driver, kIOServicePlane))
        << "a foreign handle finds nothing";
    EXPECT_EQ(registry.outstandingReferences(), 2u);
    media.reset();
    driver.reset();
    EXPECT_EQ(registry.outstandingReferences(), 0u);
}

}  // namespace
}  // namespace drivetherm
