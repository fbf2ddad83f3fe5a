// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <limits>
#include <memory>

#include "slider/KeyedArchive.h"
#include "slider/SMDoubleSliderCell.h"
#include "slider/SequentialArchive.h"
#include "tests/unit/widgets/SliderTestSupport.h"

namespace drivetherm {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Range 10 to 90, lo 20, hi 60, locked and then moved apart again.
class CellArchive : public ::testing::Test {
protected:
    void SetUp() override {
        slidertest::setUpCell(cell, host);
        cell.setMaxValue(90);
        cell.setMinValue(10);
        cell.setLockedSliders(true);
        cell.setDoubleLoValue(20);
    }

    SMDoubleSliderCell cell;
    slidertest::RecordingHost host;
};

TEST_F(CellArchive, AKeyedArchiveBringsTheLoValueIntoTheRangeButNotAgainstHi) {
    const std::pair<double, double> cases[] = {{20, 20}, {5, 10}, {95, 90}, {75, 75}, {kNaN, 10}};
    for (const auto& [archived, restoredLo] : cases) {
        KeyedArchive archive;
        cell.encodeWithCoder(archive);
        EXPECT_EQ(archive.decodeDoubleForKey("loValue"), 20);
        archive.encodeDoubleForKey(archived, "loValue");
        SMDoubleSliderCell restored;
        ASSERT_TRUE(restored.initWithCoder(archive));
        EXPECT_EQ(restored.doubleLoValue(), restoredLo) << archived;
        EXPECT_EQ(restored.doubleHiValue(), 60);
        EXPECT_TRUE(restored.lockedSliders()) << "restored without moving the lo knob";
        EXPECT_TRUE(restored.trackingLoKnob());
    }
}

TEST_F(CellArchive, AKeyedArchiveWithoutTheTwoKeysGivesLoZeroInTheRangeAndUnlocked) {
    KeyedArchive archive;
    cell.encodeWithCoder(archive);
    archive.removeValueForKey("loValue");
    archive.removeValueForKey("lockedSliders");
    SMDoubleSliderCell restored;
    ASSERT_TRUE(restored.initWithCoder(archive));
    EXPECT_EQ(restored.doubleLoValue(), 10);
    EXPECT_FALSE(restored.lockedSliders());
}

TEST_F(CellArchive, ASequentialArchiveCarriesOneDoubleAndOneByteAfterTheBaseCell) {
    SequentialArchive base;
    cell.SliderCell::encodeWithCoder(base);
    SequentialArchive full;
    cell.encodeWithCoder(full);
    ASSERT_EQ(full.bytes().size(), base.bytes().size() + 9);
    EXPECT_TRUE(std::equal(base.bytes().begin(), base.bytes().end(), full.bytes().begin()));
    SequentialArchive tail(std::vector<std::uint8_t>(full.bytes().end() - 9, full.bytes().end()));
    EXPECT_EQ(tail.decodeDouble(), 20.0);
    EXPECT_EQ(tail.decodeByte(), 1);

    // Only the lowest bit of the flag byte counts.
    for (const auto& [flag, locked] : {std::pair<std::uint8_t, bool>{0x03, true}, {0x02, false}}) {
        std::vector<std::uint8_t> bytes = full.bytes();
        ASSERT_FALSE(bytes.empty());
        bytes.back() = flag;
        SequentialArchive reader(bytes);
        SMDoubleSliderCell restored;
        ASSERT_TRUE(restored.initWithCoder(reader));
        EXPECT_EQ(restored.doubleLoValue(), 20);
        EXPECT_EQ(restored.doubleHiValue(), 60);
        EXPECT_EQ(restored.lockedSliders(), locked);
    }
}

TEST_F(CellArchive, ATruncatedOrDamagedArchiveGivesNoCellAndChangesNothing) {
    SequentialArchive full;
    cell.encodeWithCoder(full);
    for (std::size_t cut = 0; cut < full.bytes().size(); cut += 3) {
        SequentialArchive reader(
            std::vector<std::uint8_t>(full.bytes().begin(), full.bytes().begin() + cut));
        SMDoubleSliderCell restored;
        restored.setDoubleHiValue(42);
        EXPECT_FALSE(restored.initWithCoder(reader)) << cut;
        EXPECT_FALSE(restored.trackingLoKnob()) << cut;
        EXPECT_EQ(restored.doubleHiValue(), 42) << cut;
        EXPECT_EQ(restored.minValue(), 0) << cut;
    }
    KeyedArchive badRange;
    cell.encodeWithCoder(badRange);
    badRange.encodeDoubleForKey(std::numeric_limits<double>::infinity(), "maxValue");
    SMDoubleSliderCell restored;
    EXPECT_FALSE(restored.initWithCoder(badRange));
}

TEST_F(CellArchive, ACopyEqualsTheOriginalAtRestAndStandsAlone) {
    // Taken in the middle of a drag of the lo knob.
    cell.startTrackingAt({20, 10}, host);
    cell.continueTracking({20, 10}, {30, 10}, host);
    const double dragged = cell.doubleLoValue();
    ASSERT_GT(dragged, 20);
    const std::unique_ptr<SliderCell> copied = cell.copy();
    cell.stopTracking({30, 10}, {30, 10}, host, true);
    auto* copy = dynamic_cast<SMDoubleSliderCell*>(copied.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->doubleLoValue(), dragged);
    EXPECT_EQ(copy->doubleHiValue(), 60);
    // Locked with the knobs apart: copying does not put them together.
    EXPECT_TRUE(copy->lockedSliders());
    EXPECT_EQ(copy->minValue(), 10);
    EXPECT_FALSE(copy->isTracking());
    EXPECT_EQ(copy->controlView(), nullptr);
}

}  // namespace
}  // namespace drivetherm
