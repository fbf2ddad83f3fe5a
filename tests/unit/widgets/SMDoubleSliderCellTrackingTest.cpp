// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "slider/SMDoubleSliderCell.h"
#include "tests/unit/widgets/SliderTestSupport.h"

namespace drivetherm {
namespace {

using slidertest::PaintedKnob;
using slidertest::RecordingHost;

struct Click {
    const char* what;
    bool vertical;
    bool flipped;
    double lo;
    double hi;
    SliderPoint at;
    bool takesLo;
    friend void PrintTo(const Click& c, std::ostream* out) { *out << c.what; }
};

class KnobChoice : public ::testing::TestWithParam<Click> {};

TEST_P(KnobChoice, SplitsTheTrackAtTheLoKnobsFarEdge) {
    const Click& c = GetParam();
    SMDoubleSliderCell cell;
    RecordingHost host;
    host.flipped = c.flipped;
    cell.setControlView(&host);
    c.vertical ? slidertest::useVerticalTrack(cell) : slidertest::useHorizontalTrack(cell);
    cell.setDoubleHiValue(c.hi);
    cell.setDoubleLoValue(c.lo);
    cell.startTrackingAt(c.at, host);
    EXPECT_EQ(cell.trackingLoKnob(), c.takesLo);
    cell.stopTracking(c.at, c.at, host, true);
}

INSTANTIATE_TEST_SUITE_P(Clicks, KnobChoice,
                         ::testing::Values(
                             // Horizontal, the lo knob spanning x 40 to 60.
                             Click{"HorizontalInsideLo", false, true, 40, 80, {59.9, 10}, true},
                             Click{"HorizontalOnTheFarEdge", false, true, 40, 80, {60, 10}, false},
                             Click{"HorizontalLeftOfLo", false, true, 40, 80, {5, 10}, true},
                             Click{"HorizontalRightOfHi", false, true, 40, 80, {95, 10}, false},
                             // Vertical, unflipped, the lo knob spanning y 40 to 60 (lo value 40).
                             Click{"UnflippedInsideLo", true, false, 40, 90, {10, 59}, true},
                             Click{"UnflippedOnTheFarEdge", true, false, 40, 90, {10, 60}, false},
                             // Vertical, flipped, the lo knob from y 40 down (lo value 60).
                             Click{"FlippedInsideLo", true, true, 60, 90, {10, 41}, true},
                             Click{"FlippedOnTheFarEdge", true, true, 60, 90, {10, 40}, false},
                             // Knobs on each other: the lo knob unless it sits at the minimum.
                             Click{"TiedAtTheMinimum", false, true, 0, 0, {5, 10}, false},
                             Click{"TiedAt50", false, true, 50, 50, {55, 10}, true}),
                         [](const auto& info) { return std::string(info.param.what); });

// Range 0 to 100, lo 20, hi 60; a knob's left edge sits at x = its value.
class CellTracking : public ::testing::Test {
protected:
    void SetUp() override { slidertest::setUpCell(cell, host); }

    // Presses at from, moves through each point, releases at the last.
    void drag(SliderPoint from, const std::vector<SliderPoint>& moves) {
        SliderPoint last = from;
        cell.startTrackingAt(from, host);
        for (const SliderPoint& p : moves) {
            cell.continueTracking(last, p, host);
            last = p;
        }
        cell.stopTracking(last, last, host, true);
    }

    SMDoubleSliderCell cell;
    RecordingHost host;
};

TEST_F(CellTracking, DraggingTheLoKnobPastTheHiKnobStopsItThere) {
    cell.startTrackingAt({30, 10}, host);  // the middle of the lo knob
    EXPECT_TRUE(cell.trackingLoKnob());
    EXPECT_TRUE(cell.isKnobPressed());
    cell.continueTracking({30, 10}, {60, 10}, host);
    EXPECT_EQ(cell.doubleLoValue(), 50);
    EXPECT_EQ(cell.doubleHiValue(), 60);
    cell.continueTracking({60, 10}, {200, 10}, host);
    EXPECT_EQ(cell.doubleLoValue(), 60);
    cell.stopTracking({200, 10}, {200, 10}, host, true);

    EXPECT_EQ(cell.doubleLoValue(), 60);
    EXPECT_EQ(cell.SliderCell::doubleValue(), 60);
    EXPECT_FALSE(cell.isKnobPressed());
    EXPECT_EQ(host.loWrites, (std::vector<double>{50, 60, 60}));
    EXPECT_TRUE(host.hiWrites.empty());
    // The lo knob is repainted where the drag starts and where it ends.
    EXPECT_EQ(host.dirtyRects, (std::vector<SliderRect>{{20, 0, 20, 20}, {60, 0, 20, 20}}));
    EXPECT_TRUE(cell.trackingLoKnob()) << "the knob last dragged stays current";
}

TEST_F(CellTracking, DraggingTheHiKnobBelowTheLoKnobStopsItThere) {
    drag({70, 10}, {{40, 10}, {-50, 10}});
    EXPECT_EQ(cell.doubleHiValue(), 20);
    EXPECT_EQ(cell.doubleLoValue(), 20);
    EXPECT_EQ(host.hiWrites, (std::vector<double>{30, 20, 20}));
    EXPECT_TRUE(host.loWrites.empty());
    EXPECT_FALSE(cell.trackingLoKnob());
}

TEST_F(CellTracking, ACellThatIsNotContinuousReportsOnlyTheEnd) {
    cell.setContinuous(false);
    drag({30, 10}, {{35, 10}, {40, 10}});
    drag({70, 10}, {{75, 10}, {90, 10}});
    EXPECT_EQ(host.loWrites, (std::vector<double>{30}));
    EXPECT_EQ(host.hiWrites, (std::vector<double>{80}));
}

TEST_F(CellTracking, AGrabbedKnobKeepsItsOffsetAndAMissedKnobJumpsToThePointer) {
    drag({61, 10}, {{71, 10}});  // held at its left edge
    EXPECT_EQ(cell.doubleHiValue(), 70);
    drag({100, 10}, {});  // right of the hi knob: centred under the pointer at once
    EXPECT_EQ(cell.doubleHiValue(), 90);
    EXPECT_EQ(host.hiWrites.back(), 90);
}

TEST_F(CellTracking, BothValuesReadAndPaintCorrectlyInTheMiddleOfADrag) {
    cell.startTrackingAt({30, 10}, host);
    cell.continueTracking({30, 10}, {40, 10}, host);
    cell.setDoubleHiValue(80);
    EXPECT_EQ(cell.doubleLoValue(), 30);
    EXPECT_EQ(cell.doubleHiValue(), 80);
    cell.setDoubleLoValue(35);
    EXPECT_EQ(cell.doubleValue(), 35);  // the lo knob is current

    slidertest::RecordingPainter painter;
    cell.setKnobPainter(&painter);
    cell.drawKnob();
    EXPECT_EQ(painter.knobs, (std::vector<PaintedKnob>{{{35, 0, 20, 20}, true, false},
                                                       {{80, 0, 20, 20}, false, false}}));
    cell.stopTracking({40, 10}, {40, 10}, host, true);
    EXPECT_EQ(cell.doubleLoValue(), 35);
    EXPECT_EQ(cell.doubleHiValue(), 80);
}

}  // namespace
}  // namespace drivetherm
