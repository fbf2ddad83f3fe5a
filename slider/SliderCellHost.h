// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "slider/SliderRect.h"

namespace drivetherm {

class SliderCell;

// What a slider cell asks of the control that hosts it.
class SliderCellHost {
public:
    virtual ~SliderCellHost() = default;

    // Whether y grows downward in the control's coordinates (it does in every Qt widget).
    virtual bool isFlipped() const = 0;
    // The cell's state changed: repaint it.
    virtual void updateCell(SliderCell& cell) = 0;
    // Repaint this part of the control.
    virtual void setNeedsDisplayInRect(const SliderRect& rect) = 0;
};

}  // namespace drivetherm
