// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <tuple>

#include "slider/InternalInconsistencyError.h"
#include "slider/SMDoubleSliderCell.h"
#include "tests/unit/widgets/SliderTestSupport.h"

namespace drivetherm {
namespace {

using slidertest::PaintedKnob;
using slidertest::RecordingHost;
using slidertest::RecordingPainter;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class SMDoubleSliderCellTest : public ::testing::Test {
protected:
    void SetUp() override { slidertest::setUpCell(cell, host); }

    SMDoubleSliderCell cell;
    RecordingHost host;
};

TEST(SMDoubleSliderCell, StartsWithBothValuesZeroAndTheHiKnobCurrent) {
    const SMDoubleSliderCell cell;
    EXPECT_EQ(cell.doubleLoValue(), 0);
    EXPECT_EQ(cell.doubleHiValue(), 0);
    EXPECT_FALSE(cell.trackingLoKnob());
    EXPECT_FALSE(cell.lockedSliders());
}

struct Clamp {
    const char* what;
    friend void PrintTo(const Clamp& c, std::ostream* out) { *out << c.what; }
    std::function<void(SMDoubleSliderCell&)> set;
    double lo;
    double hi;
};

class CellClamping : public SMDoubleSliderCellTest, public ::testing::WithParamInterface<Clamp> {};

TEST_P(CellClamping, StopsAKnobAtTheOtherKnobAndTheRangeWithoutPushing) {
    GetParam().set(cell);
    EXPECT_EQ(cell.doubleLoValue(), GetParam().lo);
    EXPECT_EQ(cell.doubleHiValue(), GetParam().hi);
}

using C = SMDoubleSliderCell;
INSTANTIATE_TEST_SUITE_P(
    Range0To100Lo20Hi60, CellClamping,
    ::testing::Values(Clamp{"LoAboveHi", [](C& c) { c.setDoubleLoValue(80); }, 60, 60},
                      Clamp{"HiBelowLo", [](C& c) { c.setDoubleHiValue(10); }, 20, 20},
                      Clamp{"LoBelowMin", [](C& c) { c.setDoubleLoValue(-5); }, 0, 60},
                      Clamp{"HiAboveMax", [](C& c) { c.setDoubleHiValue(150); }, 20, 100},
                      Clamp{"LoNaN", [](C& c) { c.setDoubleLoValue(kNaN); }, 0, 60},
                      Clamp{"HiNaN", [](C& c) { c.setDoubleHiValue(kNaN); }, 20, 20},
                      Clamp{"LoNone", [](C& c) { c.setObjectLoValue(Value()); }, 0, 60},
                      Clamp{"HiPlaceholder",
                            [](C& c) { c.setObjectHiValue(ControllerMarker::NoSelection); }, 20,
                            20},
                      Clamp{"LoTextWithoutNumber", [](C& c) { c.setStringLoValue("abc"); }, 0, 60},
                      Clamp{"LoText", [](C& c) { c.setObjectLoValue("42.5 C"); }, 42.5, 60},
                      Clamp{"HiHugeInteger", [](C& c) { c.setIntegerHiValue(INT64_MAX); }, 20, 100},
                      Clamp{"MinAboveBoth", [](C& c) { c.setMinValue(70); }, 70, 70},
                      Clamp{"MinBetween", [](C& c) { c.setMinValue(30); }, 30, 60},
                      Clamp{"MinAboveMax", [](C& c) { c.setMinValue(150); }, 100, 100},
                      Clamp{"MaxBelowBoth", [](C& c) { c.setMaxValue(10); }, 10, 10},
                      Clamp{"MaxBetween", [](C& c) { c.setMaxValue(50); }, 20, 50},
                      Clamp{"MaxBelowMin", [](C& c) { c.setMaxValue(-10); }, 0, 0},
                      Clamp{"Lock", [](C& c) { c.setLockedSliders(true); }, 60, 60},
                      Clamp{"LockAndUnlock",
                            [](C& c) {
                                c.setLockedSliders(true);
                                c.setLockedSliders(false);
                            },
                            60, 60},
                      Clamp{"LockedKnobsStillMoveAlone",
                            [](C& c) {
                                c.setLockedSliders(true);
                                c.setDoubleLoValue(30);
                            },
                            30, 60}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(SMDoubleSliderCellTest, TheMinimumWinsOverTheHiValue) {
    // A hi value below the minimum can only come from the base value itself.
    cell.SliderCell::setDoubleValue(5);
    cell.SliderCell::setMinValue(10);
    cell.setDoubleLoValue(50);
    EXPECT_EQ(cell.doubleLoValue(), 10);
    cell.SliderCell::setMaxValue(0);
    cell.setDoubleHiValue(-20);
    EXPECT_EQ(cell.doubleHiValue(), 0);
    // A bound that is not a number leaves the range alone.
    cell.setMinValue(kNaN);
    cell.setMaxValue(kNaN);
    EXPECT_EQ(cell.minValue(), 10);
    EXPECT_EQ(cell.maxValue(), 0);
}

TEST_F(SMDoubleSliderCellTest, LockingRepaintsOnlyWhenTheFlagChanges) {
    cell.setLockedSliders(true);
    EXPECT_TRUE(cell.lockedSliders());
    const int afterLock = host.updates;
    EXPECT_GE(afterLock, 1);
    cell.setLockedSliders(true);
    EXPECT_EQ(host.updates, afterLock);
    cell.setTrackingLoKnob(false);  // already the hi knob
    EXPECT_EQ(host.updates, afterLock);
    cell.setTrackingLoKnob(true);
    EXPECT_EQ(host.updates, afterLock + 1);
}

TEST_F(SMDoubleSliderCellTest, ConvertsEachKnobToTextAndTruncatedNumbers) {
    cell.setMinValue(-10);
    cell.setMaxValue(2e6);
    const std::tuple<double, const char*, int> cases[] = {{55, "55", 55},
                                                          {37.5, "37.5", 37},
                                                          {1234567, "1.23457e+06", 1234567},
                                                          {99.99, "99.99", 99},
                                                          {-0.5, "-0.5", 0}};
    for (const auto& [value, text, truncated] : cases) {
        cell.setDoubleLoValue(-10);
        cell.setDoubleHiValue(value);
        cell.setDoubleLoValue(value);
        EXPECT_EQ(cell.stringHiValue(), text);
        EXPECT_EQ(cell.intLoValue(), truncated);
        EXPECT_EQ(cell.integerHiValue(), truncated);
    }
    cell.setDoubleHiValue(0.1);
    cell.setDoubleLoValue(0.1);
    EXPECT_EQ(cell.floatLoValue(), 0.1f);
    EXPECT_EQ(cell.objectLoValue(), Value(0.1));
}

TEST_F(SMDoubleSliderCellTest, AnotherTwoKnobCellHandsOverItsMatchingKnob) {
    SMDoubleSliderCell other;
    slidertest::useHorizontalTrack(other);
    other.setDoubleHiValue(75);
    other.setDoubleLoValue(25);
    other.setTrackingLoKnob(true);  // its plain value is now 25
    cell.setObjectHiValue(other);
    EXPECT_EQ(cell.doubleHiValue(), 75);
    cell.setObjectLoValue(other);
    EXPECT_EQ(cell.doubleLoValue(), 25);
}

TEST_F(SMDoubleSliderCellTest, NoTextAtAllIsAnAssertionFailureAndChangesNothing) {
    try {
        cell.setStringValue(std::nullopt);  // the hi knob is current
        ADD_FAILURE() << "no exception";
    } catch (const InternalInconsistencyError& e) {
        EXPECT_STREQ(e.what(), "Invalid parameter not satisfying: nil != aString");
        EXPECT_EQ(e.file(), "SMDoubleSliderCell");
        EXPECT_EQ(e.method(), "setStringHiValue");
    }
    EXPECT_THROW(cell.setStringLoValue(std::nullopt), InternalInconsistencyError);
    EXPECT_EQ(cell.doubleLoValue(), 20);
    EXPECT_EQ(cell.doubleHiValue(), 60);
    EXPECT_EQ(host.updates, 0);
}

TEST_F(SMDoubleSliderCellTest, PlainAccessorsActOnTheCurrentKnob) {
    cell.setTrackingLoKnob(true);
    EXPECT_EQ(cell.doubleValue(), 20);
    EXPECT_EQ(cell.stringValue(), "20");
    cell.setDoubleValue(30);
    EXPECT_EQ(cell.doubleLoValue(), 30);
    cell.setFloatValue(32.5f);
    EXPECT_EQ(cell.floatValue(), 32.5f);
    cell.setObjectValue(34);
    EXPECT_EQ(cell.doubleLoValue(), 34);
    EXPECT_EQ(cell.doubleHiValue(), 60);
    // The 64-bit plain accessors stay with the base value, the hi knob.
    EXPECT_EQ(cell.integerValue(), 60);

    cell.setTrackingLoKnob(false);
    EXPECT_EQ(cell.doubleValue(), 60);
    cell.setStringValue("71");
    EXPECT_EQ(cell.doubleHiValue(), 71);
    EXPECT_EQ(cell.doubleLoValue(), 34);
}

TEST_F(SMDoubleSliderCellTest, KnobRectanglesComeFromOneGeometryAtTwoValues) {
    EXPECT_EQ(cell._sm_loKnobRect(), (SliderRect{20, 0, 20, 20}));
    EXPECT_EQ(cell.knobRectFlipped(true), (SliderRect{60, 0, 20, 20}));
    slidertest::useVerticalTrack(cell);
    EXPECT_EQ(cell._sm_loKnobRect(), (SliderRect{0, 80, 20, 20}));
    host.flipped = false;
    EXPECT_EQ(cell._sm_loKnobRect(), (SliderRect{0, 20, 20, 20}));
    EXPECT_EQ(cell.knobRectFlipped(false), (SliderRect{0, 60, 20, 20}));
}

struct PaintCase {
    const char* what;
    friend void PrintTo(const PaintCase& c, std::ostream* out) { *out << c.what; }
    bool showsFocus;
    bool loCurrent;
    bool pressed;
    PaintedKnob lo;
    PaintedKnob hi;
};

class CellPainting : public SMDoubleSliderCellTest,
                     public ::testing::WithParamInterface<PaintCase> {};

TEST_P(CellPainting, PaintsLoThenHiWithPressAndRingOnTheCurrentKnobOnly) {
    const PaintCase& c = GetParam();
    RecordingPainter painter;
    cell.setKnobPainter(&painter);
    cell.setShowsFirstResponder(c.showsFocus);
    cell.setTrackingLoKnob(c.loCurrent);
    cell.setKnobPressed(c.pressed);
    cell.drawKnob();
    ASSERT_EQ(painter.knobs.size(), 2u);
    EXPECT_EQ(painter.knobs[0], c.lo);
    EXPECT_EQ(painter.knobs[1], c.hi);
    // Everything borrowed for painting is given back.
    EXPECT_EQ(cell.SliderCell::doubleValue(), 60);
    EXPECT_EQ(cell.isKnobPressed(), c.pressed);
    EXPECT_EQ(cell.focusRingType(), FocusRingType::Default);
}

constexpr SliderRect kLoKnob{20, 0, 20, 20};
constexpr SliderRect kHiKnob{60, 0, 20, 20};

INSTANTIATE_TEST_SUITE_P(
    Lo20Hi60, CellPainting,
    ::testing::Values(
        PaintCase{"NoFocus", false, false, false, {kLoKnob, false, false}, {kHiKnob, false, false}},
        PaintCase{"FocusOnHi", true, false, false, {kLoKnob, false, false}, {kHiKnob, false, true}},
        PaintCase{"FocusOnLo", true, true, false, {kLoKnob, false, true}, {kHiKnob, false, false}},
        PaintCase{"HiPressed", false, false, true, {kLoKnob, false, false}, {kHiKnob, true, false}},
        PaintCase{"LoPressedWithFocus",
                  true,
                  true,
                  true,
                  {kLoKnob, true, true},
                  {kHiKnob, false, false}}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace drivetherm
