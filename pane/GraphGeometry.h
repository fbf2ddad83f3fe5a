// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>
#include <vector>

namespace drivetherm {

// A point of the speed-curve picture in the graph's own coordinates: origin at the lower-left
// corner, y growing upward.
struct GraphPoint {
    double x = 0;
    double y = 0;
    friend bool operator==(const GraphPoint&, const GraphPoint&) = default;
};

// A text and the lower-left corner of its box.
struct GraphText {
    std::string text;
    GraphPoint at;
};

// Everything the speed-curve picture draws, in drawing order, for one size of the view.
struct GraphPicture {
    // The curve: from curveStart (25 °C at base speed) a straight piece to bendStart, a cubic
    // Bézier through control1 and control2 to bendEnd, a straight piece to curveEnd (80 °C, 6000).
    GraphPoint curveStart, bendStart, control1, control2, bendEnd, curveEnd;
    // The area under the curve: the curve continued down to fillRight and fillLeft, then closed.
    GraphPoint fillRight, fillLeft;
    // "1000rpm", a dash, "2000rpm", ... on the left; "25 °C" ... "80 °C" along the bottom.
    std::vector<GraphText> speedLabels, temperatureLabels;
    // The measured fan speed as a horizontal line across the plot.
    GraphPoint speedLineFrom, speedLineTo;
    // The speed the settings call for at the current temperature, and where it sits on the curve.
    int target = 0;
    GraphPoint marker;
    GraphText targetCaption, temperatureCaption, speedCaption;
    // The current temperature as a vertical line over the whole speed axis.
    GraphPoint temperatureLineFrom, temperatureLineTo;
};

// The arithmetic of the speed-curve picture: fan speed (1000 to 6500 rpm, upward) over disk
// temperature (25 to 80 °C, rightward), the curve the settings give (base speed up to the lower
// threshold, a smooth rise to 6000 rpm at the upper threshold, 6000 above it), the current reading
// and the captions. Pure computation, so that every figure can be checked without drawing.
//
// The scales are fixed at creation from the frame's size and never change, also not when the view
// is resized; the labels follow the current size.
class GraphGeometry {
public:
    static constexpr float kLowestTemp = 25;
    static constexpr float kHighestTemp = 80;
    static constexpr int kLowestRpm = 1000;
    static constexpr int kHighestRpm = 6500;
    // Where the curve ends, and the target above the upper threshold.
    static constexpr int kTopRpm = 6000;

    GraphGeometry(double frameWidth, double frameHeight);

    // Points per °C and per rpm, in single precision.
    float MFPixelPerDegree() const { return MFPixelPerDegree_; }
    float MFPixelPerRpm() const { return MFPixelPerRpm_; }

    void setBaseRpm(int rpm) { baseRpm_ = rpm; }
    void setLowerThreshold(float celsius) { lowerThreshold_ = celsius; }
    void setUpperThreshold(float celsius) { upperThreshold_ = celsius; }
    void setCurrentTemp(float celsius) { currentTemp_ = celsius; }
    void setCurrentRpm(float rpm) { currentRPM_ = rpm; }
    void setFahrenheit(bool fahrenheit) { fahrenheitVal_ = fahrenheit; }
    void setPinToBase(bool pin) { pinToBase_ = pin; }

    int baseRpm() const { return baseRpm_; }
    float lowerThreshold() const { return lowerThreshold_; }
    float upperThreshold() const { return upperThreshold_; }
    float currentTemp() const { return currentTemp_; }
    float currentRpm() const { return currentRPM_; }
    bool fahrenheit() const { return fahrenheitVal_; }
    bool pinToBase() const { return pinToBase_; }

    // The point of a temperature and a speed, both clamped to the axes (a temperature that is not a
    // number counts as 25 °C), rounded to whole points.
    GraphPoint coordinateForTempWithoutPinToBase(float celsius, int rpm) const;
    // The same, but with pin-to-base set every speed is the base speed: for what the settings call
    // for (curve, marker), while measured speeds and guides use the mapping above.
    GraphPoint coordinateForTemp(float celsius, int rpm) const;

    // A temperature as the graph shows it, in the graph's own unit.
    std::string transformedToDegrees(float celsius) const;

    // The speed the curve gives at the current temperature, truncated to whole rpm. Where the curve
    // gives no number (equal thresholds at the current temperature, or nothing pushed yet, where
    // every value is 0) it is the top speed, 6000: the fan's safe side.
    int targetSpeed() const;
    // The measured speed truncated to whole rpm (a reading that is not a number counts as 0).
    int currentRpmTruncated() const;
    // Nothing has been pushed (or the daemon is gone and every setting reads 0): there is no
    // curve to draw and no target to announce.
    bool isEmpty() const { return baseRpm_ == 0 && lowerThreshold_ == 0 && upperThreshold_ == 0; }

    GraphPicture picture(double width, double height) const;

private:
    int baseRpm_ = 0;
    float lowerThreshold_ = 0;
    float upperThreshold_ = 0;
    float currentTemp_ = 0;
    float currentRPM_ = 0;
    float MFPixelPerDegree_;
    float MFPixelPerRpm_;
    bool fahrenheitVal_ = false;
    bool pinToBase_ = false;
};

}  // namespace drivetherm
