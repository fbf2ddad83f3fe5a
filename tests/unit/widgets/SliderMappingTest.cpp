// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <limits>

#include "slider/SliderMapping.h"

namespace drivetherm {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A horizontal track: a 20-point knob from x 0 (at the minimum) to x 100 (at the maximum).
const SliderRect kLeft{0, 0, 20, 20};
const SliderRect kRight{100, 0, 20, 20};
// A vertical track in y-down coordinates: the minimum at the bottom.
const SliderRect kBottom{0, 100, 20, 20};
const SliderRect kTop{0, 0, 20, 20};

TEST(SliderMapping, FractionStaysInsideTheTrack) {
    struct Case {
        double value, min, max, fraction;
    };
    const Case cases[] = {{50, 0, 100, 0.5}, {-5, 0, 100, 0}, {150, 0, 100, 1}, {kNaN, 0, 100, 0},
                          {5, 5, 5, 0},      {5, 10, 0, 0},   {35, 30, 80, 0.1}};
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(fractionForValue(c.value, c.min, c.max), c.fraction)
            << c.value << " in " << c.min << ".." << c.max;
    }
}

TEST(SliderMapping, KnobSlidesBetweenItsRectanglesAtTheEnds) {
    EXPECT_EQ(knobRectForValue(40, 0, 100, kLeft, kRight), (SliderRect{40, 0, 20, 20}));
    EXPECT_EQ(knobRectForValue(-1, 0, 100, kLeft, kRight), kLeft);
    EXPECT_EQ(knobRectForValue(1e9, 0, 100, kLeft, kRight), kRight);
    EXPECT_EQ(knobRectForValue(25, 0, 100, kBottom, kTop), (SliderRect{0, 75, 20, 20}));
}

TEST(SliderMapping, PointToValueInvertsValueToKnob) {
    for (const double value : {0.0, 0.5, 33.3, 50.0, 99.9, 100.0}) {
        for (const auto& [atMin, atMax] : {std::pair{kLeft, kRight}, std::pair{kBottom, kTop}}) {
            const SliderRect knob = knobRectForValue(value, 0, 100, atMin, atMax);
            EXPECT_NEAR(valueForPoint(knob.centre(), 0, 100, atMin, atMax), value, 1e-9);
        }
    }
}

TEST(SliderMapping, PointsBesideTheTrackProjectOntoItAndStopAtItsEnds) {
    EXPECT_DOUBLE_EQ(valueForPoint({60, -500}, 0, 100, kLeft, kRight), 50);
    EXPECT_DOUBLE_EQ(valueForPoint({-30, 10}, 0, 100, kLeft, kRight), 0);
    EXPECT_DOUBLE_EQ(valueForPoint({400, 10}, 0, 100, kLeft, kRight), 100);
    EXPECT_DOUBLE_EQ(valueForPoint({10, 500}, 30, 80, kBottom, kTop), 30);
    EXPECT_DOUBLE_EQ(valueForPoint({10, 60}, 30, 80, kBottom, kTop), 55);
    // A track of no length (a control too small for its knob) and an empty range.
    EXPECT_DOUBLE_EQ(valueForPoint({50, 10}, 30, 80, kLeft, kLeft), 30);
    EXPECT_DOUBLE_EQ(valueForPoint({50, 10}, 30, 30, kLeft, kRight), 30);
}

}  // namespace
}  // namespace drivetherm
