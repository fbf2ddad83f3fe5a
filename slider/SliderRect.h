// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

namespace drivetherm {

// A point and a rectangle of a slider, in the coordinates of the control that hosts the cell.
struct SliderPoint {
    double x = 0;
    double y = 0;
    friend bool operator==(const SliderPoint&, const SliderPoint&) = default;
};

struct SliderRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    SliderPoint centre() const { return {x + width / 2, y + height / 2}; }
    // Half-open on the far edges, so that two rectangles side by side share no point.
    bool contains(const SliderPoint& p) const {
        return p.x >= x && p.x < x + width && p.y >= y && p.y < y + height;
    }
    friend bool operator==(const SliderRect&, const SliderRect&) = default;
};

}  // namespace drivetherm
