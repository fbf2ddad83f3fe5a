// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <vector>

#include "slider/DoubleSliderHost.h"
#include "slider/KnobPainter.h"
#include "slider/SMDoubleSliderCell.h"

namespace drivetherm::slidertest {

// A control that records what the cell asks of it.
class RecordingHost : public DoubleSliderHost {
public:
    bool isFlipped() const override { return flipped; }
    void updateCell(SliderCell&) override { ++updates; }
    void setNeedsDisplayInRect(const SliderRect& rect) override { dirtyRects.push_back(rect); }
    void updateBoundControllerLoValue(double value) override { loWrites.push_back(value); }
    void updateBoundControllerHiValue(double value) override { hiWrites.push_back(value); }

    bool flipped = true;
    int updates = 0;
    std::vector<SliderRect> dirtyRects;
    std::vector<double> loWrites;
    std::vector<double> hiWrites;
};

struct PaintedKnob {
    SliderRect rect;
    bool pressed;
    bool focusRing;
    friend bool operator==(const PaintedKnob&, const PaintedKnob&) = default;
};

class RecordingPainter : public KnobPainter {
public:
    void paintKnob(const SliderRect& knob, bool pressed, bool focusRing) override {
        knobs.push_back({knob, pressed, focusRing});
    }
    std::vector<PaintedKnob> knobs;
};

// A horizontal track, range 0 to 100, whose 20-point knob's left edge sits at x = value.
inline void useHorizontalTrack(SliderCell& cell) {
    cell.setVertical(false);
    cell.setTrackGeometry({0, 0, 120, 20}, {0, 0, 20, 20}, {100, 0, 20, 20});
}

// A vertical track, range 0 to 100, the minimum at the bottom: in y-down coordinates the knob's top
// edge sits at y = 100 - value.
inline void useVerticalTrack(SliderCell& cell) {
    cell.setVertical(true);
    cell.setTrackGeometry({0, 0, 20, 120}, {0, 100, 20, 20}, {0, 0, 20, 20});
}

// Range 0 to 100, lo 20, hi 60, horizontal, hosted by host.
inline void setUpCell(SMDoubleSliderCell& cell, RecordingHost& host) {
    useHorizontalTrack(cell);
    cell.setControlView(&host);
    cell.setDoubleHiValue(60);
    cell.setDoubleLoValue(20);
    host.updates = 0;
}

}  // namespace drivetherm::slidertest
