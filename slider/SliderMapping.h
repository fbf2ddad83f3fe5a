// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "slider/SliderRect.h"

namespace drivetherm {

// The one mapping between a slider's values and its pixels, used by painting and by mouse tracking
// alike. The knob slides along a straight line from its rectangle at the minimum (atMin) to its
// rectangle at the maximum (atMax); the control takes both from the desktop style, so the same two
// functions serve horizontal and vertical sliders, either way up.

// Where value lies between minValue (0) and maxValue (1), clamped to that span. An empty or
// reversed range, and a value that is not a number, give 0.
double fractionForValue(double value, double minValue, double maxValue);

// The knob's rectangle at value.
SliderRect knobRectForValue(double value, double minValue, double maxValue, const SliderRect& atMin,
                            const SliderRect& atMax);

// The value whose knob is centred nearest to point, inside the range: the point projected onto the
// line between the two knob centres.
double valueForPoint(const SliderPoint& point, double minValue, double maxValue,
                     const SliderRect& atMin, const SliderRect& atMax);

}  // namespace drivetherm
