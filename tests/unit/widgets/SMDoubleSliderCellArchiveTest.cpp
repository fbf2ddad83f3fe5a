// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <bit>
#include <limits>
#include <memory>

#include "slider/KeyedArchive.h"
#include "slider/SMDoubleSliderCell.h"
#include "slider/SequentialArchive.h"
#include "tests/unit/widgets/SliderTestSupport.h"

namespace drivetherm {
namespace {

using slidertest::RecordingHost;

class CellArchive : public ::testing::Test {
protected:
    void SetUp() override {
        slidertest::setUpCell(cell, host);
        cell.setLockedSliders(true);
        cell.setDoubleLoValue(20);  // locked knobs can be moved apart again
    }

    SMDoubleSliderCell cell;
    RecordingHost host;
};

TEST_F(CellArchive, AKeyedArchiveRestoresTheLoValueTheLockAndTheBaseState) {
    KeyedArchive archive;
    cell.encodeWithCoder(archive);
    EXPECT_EQ(archive.decodeDoubleForKey("loValue"), 20);
    EXPECT_TRUE(archive.decodeBoolForKey("lockedSliders"));

    SMDoubleSliderCell restored;
    ASSERT_TRUE(restored.initWithCoder(archive));
    EXPECT_EQ(restored.doubleLoValue(), 20);
    EXPECT_EQ(restored.doubleHiValue(), 60);
    EXPECT_TRUE(restored.lockedSliders());
    EXPECT_TRUE(restored.trackingLoKnob());
}

TEST_F(CellArchive, ADecodedLoValueIsBroughtIntoTheRangeButNotAgainstHi) {
    struct Case {
        const char* what;
        double lo;
        double expected;
    };
    const Case cases[] = {{"below", 5, 10},
                          {"above", 95, 90},
                          {"above hi", 75, 75},
                          {"NaN", std::numeric_limits<double>::quiet_NaN(), 10}};
    for (const Case& c : cases) {
        KeyedArchive archive;
        cell.setMaxValue(90);
        cell.setMinValue(10);
        cell.encodeWithCoder(archive);
        archive.encodeDoubleForKey(c.lo, "loValue");
        SMDoubleSliderCell restored;
        ASSERT_TRUE(restored.initWithCoder(archive)) << c.what;
        EXPECT_EQ(restored.doubleLoValue(), c.expected) << c.what;
        EXPECT_EQ(restored.doubleHiValue(), 60) << c.what;
        EXPECT_TRUE(restored.lockedSliders()) << c.what;
    }
}

TEST_F(CellArchive, AKeyedArchiveWithoutTheTwoKeysGivesLo0InTheRangeAndUnlocked) {
    cell.setMinValue(10);
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
    EXPECT_EQ(tail.remaining(), 0u);

    SequentialArchive reader(full.bytes());
    SMDoubleSliderCell restored;
    ASSERT_TRUE(restored.initWithCoder(reader));
    EXPECT_EQ(restored.doubleLoValue(), 20);
    EXPECT_EQ(restored.doubleHiValue(), 60);
    EXPECT_TRUE(restored.lockedSliders());
    EXPECT_TRUE(restored.trackingLoKnob());
}

TEST_F(CellArchive, OnlyTheLowestBitOfTheSequentialFlagByteCounts) {
    for (const auto& [byte, locked] : {std::pair<std::uint8_t, bool>{0x03, true}, {0x02, false}}) {
        SequentialArchive full;
        cell.encodeWithCoder(full);
        std::vector<std::uint8_t> bytes = full.bytes();
        bytes.back() = byte;
        SequentialArchive reader(bytes);
        SMDoubleSliderCell restored;
        ASSERT_TRUE(restored.initWithCoder(reader));
        EXPECT_EQ(restored.lockedSliders(), locked) << int{byte};
    }
}

TEST_F(CellArchive, ATruncatedOrDamagedArchiveGivesNoCell) {
    SequentialArchive full;
    cell.encodeWithCoder(full);
    for (std::size_t cut = 0; cut < full.bytes().size(); cut += 3) {
        SequentialArchive reader(std::vector<std::uint8_t>(full.bytes().begin(),
                                                           full.bytes().begin() + cut));
        SMDoubleSliderCell restored;
        restored.setDoubleHiValue(42);
        EXPECT_FALSE(restored.initWithCoder(reader)) << cut;
        EXPECT_FALSE(restored.trackingLoKnob()) << cut;
        EXPECT_EQ(restored.doubleHiValue(), 42) << cut;
    }
    KeyedArchive badRange;
    cell.encodeWithCoder(badRange);
    badRange.encodeDoubleForKey(std::numeric_limits<double>::infinity(), "maxValue");
    SMDoubleSliderCell restored;
    EXPECT_FALSE(restored.initWithCoder(badRange));
    EXPECT_EQ(restored.maxValue(), 100);
}

TEST_F(CellArchive, ACopyEqualsTheOriginalAndStandsAlone) {
    const std::unique_ptr<SliderCell> copied = cell.copy();
    auto* copy = dynamic_cast<SMDoubleSliderCell*>(copied.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->doubleLoValue(), 20);
    EXPECT_EQ(copy->doubleHiValue(), 60);
    // Locked, with the knobs apart: copying does not put them together.
    EXPECT_TRUE(copy->lockedSliders());
    EXPECT_EQ(copy->minValue(), 0);
    EXPECT_EQ(copy->maxValue(), 100);
    EXPECT_EQ(copy->controlView(), nullptr);

    const int updates = host.updates;
    copy->setDoubleHiValue(90);
    EXPECT_EQ(cell.doubleHiValue(), 60);
    EXPECT_EQ(host.updates, updates);
}

TEST_F(CellArchive, ACopyTakenMidDragStartsAtRest) {
    cell.startTrackingAt({30, 10}, host);
    cell.continueTracking({30, 10}, {40, 10}, host);
    const std::unique_ptr<SliderCell> copied = cell.copy();
    auto* copy = dynamic_cast<SMDoubleSliderCell*>(copied.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->doubleLoValue(), 30);
    EXPECT_EQ(copy->doubleHiValue(), 60);
    EXPECT_FALSE(copy->isTracking());
    cell.stopTracking({40, 10}, {40, 10}, host, true);
}

}  // namespace
}  // namespace drivetherm
