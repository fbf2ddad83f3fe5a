// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "bindings/Value.h"
#include "slider/SliderCell.h"

namespace drivetherm {

// The cell of a range slider: one track with a lo and a hi knob whose values always satisfy
// lo <= hi inside the range. In the settings window the knobs set the lower and the upper
// temperature threshold of the fan curve.
//
// The base cell knows one value; this cell keeps the hi value there and the lo value in a field of
// its own, and puts the lo value into the base value whenever the base has to measure, paint or
// drag the lo knob. For the whole drag of the lo knob the roles are swapped: the base value holds
// the lo value being dragged and the hi value is parked. Every accessor knows where each value
// lies at every moment, also in the middle of a drag.
//
// One knob is current: the one a drag moves, the one the keyboard focus is on and the one the
// plain accessors (doubleValue, setDoubleValue, ...) address. A new cell has the hi knob current; a
// cell read from an archive the lo knob.
//
// The cell reports to its host (a DoubleSliderHost) when a drag moves a knob: every move when
// continuous, and once more when the drag ends.
class SMDoubleSliderCell : public SliderCell {
public:
    SMDoubleSliderCell();
    // Copies go through copy(), which leaves any drag in progress behind.
    SMDoubleSliderCell(const SMDoubleSliderCell&) = delete;
    ~SMDoubleSliderCell() override;

    double doubleLoValue() const;
    double doubleHiValue() const;
    // A lo value above hi stops at hi, then below the minimum at the minimum (the minimum wins).
    // A value that is not a number counts as 0.0. The other knob never moves.
    void setDoubleLoValue(double value);
    // A hi value below lo stops at lo, then above the maximum at the maximum (the maximum wins).
    void setDoubleHiValue(double value);

    // The value as a number.
    Value objectLoValue() const;
    Value objectHiValue() const;
    // A number, or a string's leading number; none and placeholders give 0.0.
    void setObjectLoValue(const Value& value);
    void setObjectHiValue(const Value& value);
    // Another two-knob cell hands over its matching knob, not its current one.
    void setObjectLoValue(const SMDoubleSliderCell& other);
    void setObjectHiValue(const SMDoubleSliderCell& other);

    // "%g" text: "55", "37.5", "1.23457e+06".
    std::string stringLoValue() const;
    std::string stringHiValue() const;
    // The text's leading number (0.0 when it has none). Throws InternalInconsistencyError for no
    // text at all, changing nothing.
    void setStringLoValue(const std::optional<std::string>& aString);
    void setStringHiValue(const std::optional<std::string>& aString);

    // Truncated toward zero; saturating at the limits, NaN as 0.
    std::int32_t intLoValue() const;
    std::int32_t intHiValue() const;
    void setIntLoValue(std::int32_t value);
    void setIntHiValue(std::int32_t value);
    float floatLoValue() const;
    float floatHiValue() const;
    void setFloatLoValue(float value);
    void setFloatHiValue(float value);
    std::int64_t integerLoValue() const;
    std::int64_t integerHiValue() const;
    void setIntegerLoValue(std::int64_t value);
    void setIntegerHiValue(std::int64_t value);

    // Whether the lo knob is current. Changing it repaints.
    bool trackingLoKnob() const { return _sm_flags.isTrackingLoKnob; }
    void setTrackingLoKnob(bool lo);

    // Locking puts the lo knob onto the hi knob once; the knobs stay free to move afterwards.
    bool lockedSliders() const { return _sm_flags.lockedSliders; }
    void setLockedSliders(bool locked);

    // The lo knob's rectangle, from the same base geometry as the hi knob's.
    SliderRect _sm_loKnobRect() const;

    // The plain accessors act on the current knob. (integerValue and setIntegerValue are the base
    // cell's.)
    double doubleValue() const override;
    void setDoubleValue(double value) override;
    Value objectValue() const override;
    void setObjectValue(const Value& value) override;
    std::string stringValue() const override;
    void setStringValue(const std::optional<std::string>& text) override;
    std::int32_t intValue() const override;
    void setIntValue(std::int32_t value) override;
    float floatValue() const override;
    void setFloatValue(float value) override;

    // Both knobs are moved into the new range (against the old one) before the range changes.
    void setMinValue(double value) override;
    void setMaxValue(double value) override;

    // Paints the lo knob, then the hi knob on top; only the current knob shows pressed, and only it
    // gets the focus ring.
    void drawKnob() override;
    void drawKnob(const SliderRect& knobRect) override;

    // A press on the low side of the lo knob's far edge takes the lo knob, anything else the hi
    // knob; where the knobs lie on each other the lo knob, unless it sits at the minimum.
    bool startTrackingAt(const SliderPoint& point, SliderCellHost& view) override;
    // A dragged knob stops at the other one and never pushes it.
    bool continueTracking(const SliderPoint& last, const SliderPoint& current,
                          SliderCellHost& view) override;
    void stopTracking(const SliderPoint& last, const SliderPoint& stop, SliderCellHost& view,
                      bool mouseIsUp) override;

    // After the base cell's state: "loValue" and "lockedSliders", or in a sequential archive one
    // double and one byte.
    void encodeWithCoder(Coder& coder) const override;
    bool initWithCoder(Coder& coder) override;

    // A copy with the same lo value and locked state (and the base cell's state).
    std::unique_ptr<SliderCell> copy() const override;

private:
    explicit SMDoubleSliderCell(const SliderCell& base) : SliderCell(base) {}

    [[noreturn]] void rejectMissingString(const char* method, int line) const;

    // The "_sm_" prefix marks these as the cell's own state, apart from the base cell's.
    struct Flags {
        unsigned char lockedSliders : 1;
        unsigned char isTrackingLoKnob : 1;
        // Set for the whole drag of the lo knob.
        unsigned char mouseTrackingSwapped : 1;
        // Set only while painting a knob that must not get the focus ring.
        unsigned char removeFocusRingStyle : 1;
    };
    // The lo value, except during a drag of the lo knob.
    double _sm_loValue = 0;
    // During a drag of the lo knob: the hi value.
    double _sm_saveValue = 0;
    Flags _sm_flags{};
};

}  // namespace drivetherm
