// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "slider/SliderCellHost.h"

namespace drivetherm {

// A control that carries the two knobs of an SMDoubleSliderCell to bound values. The cell calls
// these during a drag (when continuous) and always at its end.
class DoubleSliderHost : public SliderCellHost {
public:
    virtual void updateBoundControllerLoValue(double value) = 0;
    virtual void updateBoundControllerHiValue(double value) = 0;
};

}  // namespace drivetherm
