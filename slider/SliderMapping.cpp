// SPDX-License-Identifier: GPL-2.0-or-later
#include "slider/SliderMapping.h"

#include <algorithm>
#include <cmath>

namespace drivetherm {

namespace {

double clampFraction(double f) {
    if (!(f > 0)) {
        return 0;  // also NaN
    }
    return std::min(f, 1.0);
}

}  // namespace

double fractionForValue(double value, double minValue, double maxValue) {
    if (!(maxValue > minValue)) {
        return 0;
    }
    return clampFraction((value - minValue) / (maxValue - minValue));
}

SliderRect knobRectForValue(double value, double minValue, double maxValue, const SliderRect& atMin,
                            const SliderRect& atMax) {
    const double f = fractionForValue(value, minValue, maxValue);
    return SliderRect{atMin.x + (atMax.x - atMin.x) * f, atMin.y + (atMax.y - atMin.y) * f,
                      atMin.width, atMin.height};
}

double valueForPoint(const SliderPoint& point, double minValue, double maxValue,
                     const SliderRect& atMin, const SliderRect& atMax) {
    const SliderPoint from = atMin.centre();
    const SliderPoint to = atMax.centre();
    const double dx = to.x - from.x;
    const double dy = to.y - from.y;
    const double length2 = dx * dx + dy * dy;
    if (!(length2 > 0) || !(maxValue > minValue)) {
        return minValue;
    }
    const double f = clampFraction(((point.x - from.x) * dx + (point.y - from.y) * dy) / length2);
    // Exactly the ends at the ends, whatever the rounding of the product.
    if (f >= 1) {
        return maxValue;
    }
    return minValue + f * (maxValue - minValue);
}

}  // namespace drivetherm
