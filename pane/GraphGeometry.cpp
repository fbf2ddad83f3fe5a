// SPDX-License-Identifier: GPL-2.0-or-later
#include "pane/GraphGeometry.h"

#include <cmath>
#include <cstdint>

#include "bindings/NumberConversions.h"
#include "common/TemperatureText.h"

namespace drivetherm {

namespace {

// The plot's margins inside the view: 40 + 80 on the left and 40 + 160 in all horizontally,
// 20 + 30 below and 40 + 60 in all vertically.
constexpr double kPlotLeft = 40 + 80;
constexpr double kPlotBottom = 20 + 30;
constexpr double kUnusedWidth = 40 + 160;
constexpr double kUnusedHeight = 40 + 60;
// Horizontal distance of the curve's bend and control points from the threshold positions.
constexpr double kShoulder = 10;
// The filled area under the curve reaches down to here.
constexpr double kFillBaseline = 30;

std::string rpmText(const char* prefix, int rpm) {
    return prefix + std::to_string(rpm) + "rpm";
}

}  // namespace

GraphGeometry::GraphGeometry(double frameWidth, double frameHeight)
    : MFPixelPerDegree_(static_cast<float>((frameWidth - kUnusedWidth) / 55)),
      MFPixelPerRpm_(static_cast<float>((frameHeight - kUnusedHeight) / 5500)) {}

GraphPoint GraphGeometry::coordinateForTempWithoutPinToBase(float celsius, int rpm) const {
    // Written so that a temperature that is not a number takes the 25 °C branch.
    float t = celsius > kLowestTemp ? celsius : kLowestTemp;
    if (t > kHighestTemp) {
        t = kHighestTemp;
    }
    const int r = rpm > kLowestRpm - 1 ? rpm : kLowestRpm;
    const float offset = r > kHighestRpm ? static_cast<float>(kHighestRpm - kLowestRpm)
                                         : static_cast<float>(r - kLowestRpm);
    const double y = std::round(offset * MFPixelPerRpm_) + kPlotBottom;
    const double wide =
        static_cast<double>(t - kLowestTemp) * static_cast<double>(MFPixelPerDegree_);
    const double x = std::round(static_cast<float>(wide)) + kPlotLeft;
    return {x, y};
}

GraphPoint GraphGeometry::coordinateForTemp(float celsius, int rpm) const {
    return coordinateForTempWithoutPinToBase(celsius, pinToBase_ ? baseRpm_ : rpm);
}

std::string GraphGeometry::transformedToDegrees(float celsius) const {
    return temperatureText(celsius, fahrenheitVal_);
}

int GraphGeometry::targetSpeed() const {
    if (lowerThreshold_ > currentTemp_) {
        return baseRpm_;
    }
    if (currentTemp_ > upperThreshold_) {
        return kTopRpm;
    }
    const float f = (currentTemp_ - lowerThreshold_) / (upperThreshold_ - lowerThreshold_);
    // The span in 64 bits: a base speed far below zero must not overflow the subtraction.
    const float span = static_cast<float>(std::int64_t{kTopRpm} - baseRpm_);
    const float target = span * f + static_cast<float>(baseRpm_);
    if (!std::isfinite(target)) {
        return kTopRpm;
    }
    return truncateToInt32(target);
}

int GraphGeometry::currentRpmTruncated() const {
    return truncateToInt32(currentRPM_);
}

GraphPicture GraphGeometry::picture(double width, double height) const {
    GraphPicture p;
    const auto x = [this](float celsius) {
        return coordinateForTempWithoutPinToBase(celsius, kLowestRpm).x;
    };
    const auto y = [this](int rpm) {
        return coordinateForTempWithoutPinToBase(kLowestTemp, rpm).y;
    };

    const GraphPoint a = coordinateForTemp(kLowestTemp, baseRpm_);
    const GraphPoint b = coordinateForTemp(kHighestTemp, kTopRpm);
    const GraphPoint l = coordinateForTemp(lowerThreshold_, baseRpm_);
    const GraphPoint u = coordinateForTemp(upperThreshold_, kTopRpm);
    p.curveStart = a;
    p.bendStart = {l.x - kShoulder, a.y};
    p.control1 = {l.x + kShoulder, l.y};
    p.control2 = {u.x - kShoulder, u.y};
    p.bendEnd = {u.x + kShoulder, b.y};
    p.curveEnd = b;
    p.fillRight = {b.x, kFillBaseline};
    p.fillLeft = {a.x, kFillBaseline};

    // One row per 500 rpm from the bottom of the plot; 500 rpm × MFPixelPerRpm is the row step.
    const float rowStep = static_cast<float>((height - kUnusedHeight) / 11);
    for (int i = 0; i <= 10; ++i) {
        std::string text = i % 2 == 0 ? rpmText("", 1000 + 500 * i) : "              -";
        const float at = static_cast<float>(i) * rowStep + static_cast<float>(kPlotBottom);
        p.speedLabels.push_back({std::move(text), {25, at}});
    }
    // One label per 5 °C, each starting 20 points left of its temperature when the view is 640
    // points wide (for other widths the labels and the curve use slightly different steps).
    const float columnStep = static_cast<float>((width - 80 - 160) / 10);
    for (int i = 0; i <= 11; ++i) {
        const float at = static_cast<float>(i) * columnStep + 20 + 80;
        p.temperatureLabels.push_back(
            {transformedToDegrees(static_cast<float>(25 + 5 * i)), {at, 25}});
    }

    const int measured = currentRpmTruncated();
    p.speedLineFrom = {x(kLowestTemp), y(measured)};
    p.speedLineTo = {x(kHighestTemp), y(measured)};

    p.target = targetSpeed();
    p.marker = coordinateForTemp(currentTemp_, p.target);
    p.targetCaption = {rpmText("Target Speed: ", p.target), {p.marker.x + 10, p.marker.y + 10}};
    p.temperatureCaption = {"Current Temperature: " + transformedToDegrees(currentTemp_),
                            {x(currentTemp_) - 70, y(kHighestRpm) + 15}};
    p.speedCaption = {rpmText("Current Speed: ", measured), {x(55) - 80, y(measured) - 15}};

    // 950 and 6550 lie outside the speed axis: the clamps make the line span all of it.
    p.temperatureLineFrom = {x(currentTemp_), y(950)};
    p.temperatureLineTo = {x(currentTemp_), y(6550)};
    return p;
}

}  // namespace drivetherm
