// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "slider/SliderRect.h"

namespace drivetherm {

// Paints one knob for a slider cell. The control implements it with the desktop style; tests
// record the calls.
class KnobPainter {
public:
    virtual ~KnobPainter() = default;

    // pressed: the knob is being dragged. focusRing: the keyboard focus is on this knob.
    virtual void paintKnob(const SliderRect& knob, bool pressed, bool focusRing) = 0;
};

}  // namespace drivetherm
