// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "bindings/Value.h"
#include "slider/SliderRect.h"

namespace drivetherm {

class Coder;
class KnobPainter;
class SliderCellHost;

// Whether a cell that shows the keyboard focus draws a ring around its knob.
enum class FocusRingType { Default = 0, None = 1, Exterior = 2 };

// A single-knob slider without a window: one value (the base value) inside a range, a knob whose
// rectangle follows the value, and the mouse tracking that moves it. The control that hosts the
// cell gives it the knob's rectangle at both ends of the track (from the desktop style) and paints
// through a KnobPainter; the cell itself knows nothing of Qt, so that its behaviour can be tested
// without a display.
//
// Tracking: a press on the knob grabs it where it was hit; a press beside it makes the knob jump to
// the press. The knob then follows the pointer and never leaves the range; while it is held the
// knob shows as pressed.
class SliderCell {
public:
    SliderCell();
    SliderCell& operator=(const SliderCell&) = delete;
    virtual ~SliderCell();

    // The value and its typed forms. A subclass may redirect these (SMDoubleSliderCell does, to
    // its current knob); the base forms convert through doubleValue() and setDoubleValue().
    virtual double doubleValue() const;
    // Stores the value as it is (no clamping) and asks for a repaint.
    virtual void setDoubleValue(double value);
    virtual Value objectValue() const;
    virtual void setObjectValue(const Value& value);
    // "%g" text.
    virtual std::string stringValue() const;
    virtual void setStringValue(const std::optional<std::string>& text);
    virtual std::int32_t intValue() const;
    virtual void setIntValue(std::int32_t value);
    virtual float floatValue() const;
    virtual void setFloatValue(float value);
    // Always the base value itself, truncated; no subclass redirects these.
    std::int64_t integerValue() const;
    void setIntegerValue(std::int64_t value);

    double minValue() const { return minValue_; }
    double maxValue() const { return maxValue_; }
    // A bound that is not a number is ignored: the range keeps its old bound.
    virtual void setMinValue(double value);
    virtual void setMaxValue(double value);

    bool isVertical() const { return vertical_; }
    void setVertical(bool vertical) { vertical_ = vertical; }
    // Whether a drag reports every move, or only where it ends.
    bool isContinuous() const { return continuous_; }
    void setContinuous(bool continuous) { continuous_ = continuous; }
    bool isKnobPressed() const { return knobPressed_; }
    void setKnobPressed(bool pressed) { knobPressed_ = pressed; }
    bool showsFirstResponder() const { return showsFirstResponder_; }
    void setShowsFirstResponder(bool shows) { showsFirstResponder_ = shows; }
    FocusRingType focusRingType() const { return focusRingType_; }
    void setFocusRingType(FocusRingType type) { focusRingType_ = type; }

    SliderCellHost* controlView() const { return controlView_; }
    void setControlView(SliderCellHost* host) { controlView_ = host; }
    void setKnobPainter(KnobPainter* painter) { knobPainter_ = painter; }

    // The track, given as the cell's frame and the knob's rectangle at the minimum and at the
    // maximum, all in flipped (y-down) coordinates of the control.
    void setTrackGeometry(const SliderRect& frame, const SliderRect& knobAtMin,
                          const SliderRect& knobAtMax);
    const SliderRect& frame() const { return frame_; }

    // The knob's rectangle at the base value, in flipped or unflipped coordinates.
    SliderRect knobRectFlipped(bool flipped) const;
    // The knob's rectangle at any value.
    SliderRect knobRectForValueFlipped(double value, bool flipped) const;
    // The value whose knob is centred nearest to point.
    double valueForPoint(const SliderPoint& point, bool flipped) const;

    // Paints the knob at the base value (through drawKnob(rect)).
    virtual void drawKnob();
    // Paints a knob at rect: pressed while held, with a focus ring when the cell shows the focus
    // and its ring type is not None.
    virtual void drawKnob(const SliderRect& knobRect);

    // Mouse tracking in the coordinates of view. start answers whether tracking goes on.
    virtual bool startTrackingAt(const SliderPoint& point, SliderCellHost& view);
    virtual bool continueTracking(const SliderPoint& last, const SliderPoint& current,
                                  SliderCellHost& view);
    virtual void stopTracking(const SliderPoint& last, const SliderPoint& stop,
                              SliderCellHost& view, bool mouseIsUp);
    bool isTracking() const { return tracking_; }

    // Archiving: the range, the value, orientation and continuity. initWithCoder answers false,
    // and leaves the cell as it was, when the archive is incomplete or holds a value that is not a
    // finite number.
    virtual void encodeWithCoder(Coder& coder) const;
    virtual bool initWithCoder(Coder& coder);

    // A new cell with this cell's value, range and looks; not attached to any control.
    virtual std::unique_ptr<SliderCell> copy() const;

protected:
    // Copies what copy() copies; the host, the painter and any drag in progress stay behind.
    SliderCell(const SliderCell& other);

    // The base value itself: writing it has no other effect, not even a repaint.
    double baseValueSlot() const { return value_; }
    void setBaseValueSlot(double value) { value_ = value; }
    // Whether the host's coordinates are flipped; with no host, as in Qt, they are.
    bool hostIsFlipped() const;
    // Sends updateCell to the host.
    void updateControlView();

    // What an archive carries of the base cell, so that a subclass can put it back when its own
    // part of an archive turns out to be damaged.
    struct ArchivedState {
        double value;
        double minValue;
        double maxValue;
        bool vertical;
        bool continuous;
    };
    ArchivedState archivedState() const;
    void setArchivedState(const ArchivedState& state);

private:
    double value_ = 0;
    double minValue_ = 0;
    double maxValue_ = 100;
    bool vertical_ = false;
    bool continuous_ = true;
    bool knobPressed_ = false;
    bool showsFirstResponder_ = false;
    FocusRingType focusRingType_ = FocusRingType::Default;
    SliderRect frame_;
    SliderRect knobAtMin_;
    SliderRect knobAtMax_;
    SliderCellHost* controlView_ = nullptr;
    KnobPainter* knobPainter_ = nullptr;
    // Tracking: where in the knob the pointer holds it.
    bool tracking_ = false;
    SliderPoint grabOffset_;
};

}  // namespace drivetherm
