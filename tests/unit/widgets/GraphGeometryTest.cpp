// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <ostream>

#include "pane/GraphGeometry.h"

namespace drivetherm {

std::ostream& operator<<(std::ostream& out, const GraphPoint& p) {
    return out << '(' << p.x << ", " << p.y << ')';
}

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
const char* const kDeg = "\xC2\xB0";

// The settings window's defaults and a reading between the thresholds.
GraphGeometry sampleGraph() {
    GraphGeometry g(640, 320);
    g.setBaseRpm(1100);
    g.setLowerThreshold(50);
    g.setUpperThreshold(58);
    g.setCurrentTemp(52.3f);
    g.setCurrentRpm(2508.7f);
    return g;
}

TEST(GraphGeometry, TakesItsScalesFromTheFrameAtCreation) {
    const GraphGeometry g(640, 320);
    EXPECT_EQ(g.MFPixelPerDegree(), 8.0f);
    EXPECT_EQ(g.MFPixelPerRpm(), 0.04f);
    EXPECT_EQ(GraphGeometry(1000, 600).MFPixelPerRpm(), static_cast<float>(500.0 / 5500));
}

struct Mapping {
    float celsius;
    int rpm;
    GraphPoint point;
    friend void PrintTo(const Mapping& m, std::ostream* out) {
        *out << m.celsius << " C, " << m.rpm << " rpm";
    }
};

class GraphMapping : public ::testing::TestWithParam<Mapping> {};

TEST_P(GraphMapping, MapsTemperatureAndSpeedOntoClampedWholePoints) {
    const GraphGeometry g(640, 320);
    const Mapping& m = GetParam();
    EXPECT_EQ(g.coordinateForTempWithoutPinToBase(m.celsius, m.rpm), m.point);
}

INSTANTIATE_TEST_SUITE_P(
    At640x320, GraphMapping,
    ::testing::Values(Mapping{25, 1000, {120, 50}}, Mapping{80, 6500, {560, 270}},
                      Mapping{80, 6000, {560, 250}}, Mapping{45, 1100, {280, 54}},
                      Mapping{52.3f, 3333, {338, 143}},
                      // Clamped to the axes, also what is not a number.
                      Mapping{10, 500, {120, 50}}, Mapping{100, 9000, {560, 270}},
                      Mapping{25, 950, {120, 50}}, Mapping{80, 6550, {560, 270}},
                      Mapping{kNaN, 1000, {120, 50}}, Mapping{-kInf, INT_MIN, {120, 50}},
                      Mapping{kInf, INT_MAX, {560, 270}},
                      // Products that end in exact halves round away from zero.
                      Mapping{25.0625f, 1012, {121, 50}}));

TEST(GraphGeometry, PinToBaseReplacesEverySpeedWithTheBaseSpeed) {
    GraphGeometry g(640, 320);
    g.setBaseRpm(1100);
    EXPECT_EQ(g.coordinateForTemp(60, 6000), (GraphPoint{400, 250}));
    g.setPinToBase(true);
    EXPECT_EQ(g.coordinateForTemp(60, 6000), (GraphPoint{400, 54}));
    EXPECT_EQ(g.coordinateForTempWithoutPinToBase(60, 6000), (GraphPoint{400, 250}));
}

TEST(GraphGeometry, TargetFollowsTheCurveWithThresholdsTakingTheInterpolatingBranch) {
    GraphGeometry g = sampleGraph();
    const std::pair<float, int> cases[] = {{45, 1100}, {50, 1100}, {54, 3550},
                                           {58, 6000}, {59, 6000}, {52.3f, 2508}};
    for (const auto& [celsius, target] : cases) {
        g.setCurrentTemp(celsius);
        EXPECT_EQ(g.targetSpeed(), target) << celsius;
    }
}

TEST(GraphGeometry, TargetIsTheTopSpeedWhereTheCurveGivesNoNumber) {
    // Nothing pushed yet: every value 0, and 0 / 0 on the curve.
    EXPECT_EQ(GraphGeometry(640, 320).targetSpeed(), 6000);

    GraphGeometry g = sampleGraph();
    g.setLowerThreshold(55);
    g.setUpperThreshold(55);
    g.setCurrentTemp(55);
    EXPECT_EQ(g.targetSpeed(), 6000);
    g.setCurrentTemp(kNaN);
    EXPECT_EQ(g.targetSpeed(), 6000);

    // Speeds beyond int's range saturate instead of overflowing.
    g.setLowerThreshold(50);
    g.setUpperThreshold(58);
    g.setCurrentTemp(50);
    g.setBaseRpm(INT_MAX);
    EXPECT_EQ(g.targetSpeed(), INT_MAX);
    g.setBaseRpm(INT_MIN);
    EXPECT_EQ(g.targetSpeed(), INT_MIN);
}

TEST(GraphGeometry, LaysOutTheSamplePictureAt640x320) {
    const GraphPicture p = sampleGraph().picture(640, 320);
    EXPECT_EQ(p.curveStart, (GraphPoint{120, 54}));
    EXPECT_EQ(p.bendStart, (GraphPoint{310, 54}));
    EXPECT_EQ(p.control1, (GraphPoint{330, 54}));
    EXPECT_EQ(p.control2, (GraphPoint{374, 250}));
    EXPECT_EQ(p.bendEnd, (GraphPoint{394, 250}));
    EXPECT_EQ(p.curveEnd, (GraphPoint{560, 250}));
    EXPECT_EQ(p.fillRight, (GraphPoint{560, 30}));
    EXPECT_EQ(p.fillLeft, (GraphPoint{120, 30}));

    EXPECT_EQ(p.speedLineFrom, (GraphPoint{120, 110}));
    EXPECT_EQ(p.speedLineTo, (GraphPoint{560, 110}));
    EXPECT_EQ(p.target, 2508);
    EXPECT_EQ(p.marker, (GraphPoint{338, 110}));
    EXPECT_EQ(p.targetCaption.text, "Target Speed: 2508rpm");
    EXPECT_EQ(p.targetCaption.at, (GraphPoint{348, 120}));
    EXPECT_EQ(p.temperatureCaption.text, std::string("Current Temperature: 52 ") + kDeg + "C");
    EXPECT_EQ(p.temperatureCaption.at, (GraphPoint{268, 285}));
    EXPECT_EQ(p.speedCaption.text, "Current Speed: 2508rpm");
    EXPECT_EQ(p.speedCaption.at, (GraphPoint{280, 95}));
    EXPECT_EQ(p.temperatureLineFrom, (GraphPoint{338, 50}));
    EXPECT_EQ(p.temperatureLineTo, (GraphPoint{338, 270}));
}

TEST(GraphGeometry, PlacesASpeedRowEvery500RpmAndATemperatureLabelEvery5Degrees) {
    const GraphPicture p = sampleGraph().picture(640, 320);
    ASSERT_EQ(p.speedLabels.size(), 11u);
    for (int i = 0; i <= 10; ++i) {
        const std::string expected =
            i % 2 == 0 ? std::to_string(1000 + 500 * i) + "rpm" : "              -";
        EXPECT_EQ(p.speedLabels[i].text, expected);
        EXPECT_EQ(p.speedLabels[i].at, (GraphPoint{25, 50.0 + 20 * i}));
        // The rows line up with the curve's speeds.
        EXPECT_EQ(p.speedLabels[i].at.y,
                  sampleGraph().coordinateForTempWithoutPinToBase(25, 1000 + 500 * i).y);
    }
    ASSERT_EQ(p.temperatureLabels.size(), 12u);
    GraphGeometry inFahrenheit = sampleGraph();
    inFahrenheit.setFahrenheit(true);
    const GraphPicture f = inFahrenheit.picture(640, 320);
    for (int i = 0; i <= 11; ++i) {
        EXPECT_EQ(p.temperatureLabels[i].text, std::to_string(25 + 5 * i) + " " + kDeg + "C");
        EXPECT_EQ(p.temperatureLabels[i].at, (GraphPoint{100.0 + 40 * i, 25}));
        EXPECT_EQ(f.temperatureLabels[i].text, std::to_string(77 + 9 * i) + " " + kDeg + "F");
    }
}

TEST(GraphGeometry, PinnedCurveAndMarkerLieAtTheBaseSpeedWhileTheReadingStays) {
    GraphGeometry g = sampleGraph();
    g.setPinToBase(true);
    GraphPicture p = g.picture(640, 320);
    for (const GraphPoint& point :
         {p.curveStart, p.bendStart, p.control1, p.control2, p.bendEnd, p.curveEnd, p.marker}) {
        EXPECT_EQ(point.y, 54) << point;
    }
    EXPECT_EQ(p.speedLineFrom.y, 110);
    EXPECT_EQ(p.targetCaption.text, "Target Speed: 2508rpm");

    // An unreadable fan (-1) draws at the bottom of the speed axis.
    g.setCurrentRpm(-1.0f);
    p = g.picture(640, 320);
    EXPECT_EQ(p.speedLineFrom.y, 50);
    EXPECT_EQ(p.speedCaption.text, "Current Speed: -1rpm");
    g.setCurrentRpm(kNaN);
    EXPECT_EQ(g.picture(640, 320).speedCaption.text, "Current Speed: 0rpm");
}

TEST(GraphGeometry, KeepsItsScalesAtAnotherSizeAndDrawsALowThresholdAsItFalls) {
    GraphGeometry g = sampleGraph();
    GraphPicture p = g.picture(800, 420);
    // The curve uses the creation scales; the rows and columns follow the new size.
    EXPECT_EQ(p.curveEnd, (GraphPoint{560, 250}));
    EXPECT_EQ(p.speedLabels[1].at.y, 50 + static_cast<float>(320.0 / 11));
    EXPECT_EQ(p.temperatureLabels[1].at.x, 100 + 56);
    // A threshold at 25 °C: the first straight piece runs leftward from the axis.
    g.setLowerThreshold(25);
    p = g.picture(640, 320);
    EXPECT_EQ(p.bendStart, (GraphPoint{110, 54}));
}

}  // namespace
}  // namespace drivetherm
