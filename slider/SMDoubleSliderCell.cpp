// SPDX-License-Identifier: GPL-2.0-or-later
#include "slider/SMDoubleSliderCell.h"

#include <cmath>

#include "bindings/NumberConversions.h"
#include "slider/Coder.h"
#include "slider/DoubleSliderHost.h"
#include "slider/InternalInconsistencyError.h"
#include "slider/SliderCellHost.h"

namespace drivetherm {

namespace {

constexpr const char* kLoValueKey = "loValue";
constexpr const char* kLockedSlidersKey = "lockedSliders";

DoubleSliderHost* asDoubleSliderHost(SliderCellHost& view) {
    return dynamic_cast<DoubleSliderHost*>(&view);
}

}  // namespace

SMDoubleSliderCell::SMDoubleSliderCell() = default;

SMDoubleSliderCell::~SMDoubleSliderCell() = default;

// Values.

double SMDoubleSliderCell::doubleLoValue() const {
    return _sm_flags.mouseTrackingSwapped ? baseValueSlot() : _sm_loValue;
}

double SMDoubleSliderCell::doubleHiValue() const {
    return _sm_flags.mouseTrackingSwapped ? _sm_saveValue : SliderCell::doubleValue();
}

void SMDoubleSliderCell::setDoubleLoValue(double value) {
    // A knob at NaN would compare false with everything and slip past every clamp below.
    double v = std::isnan(value) ? 0.0 : value;
    if (v > doubleHiValue()) {
        v = doubleHiValue();
    }
    if (minValue() > v) {
        v = minValue();
    }
    if (_sm_flags.mouseTrackingSwapped) {
        SliderCell::setDoubleValue(v);
    } else {
        _sm_loValue = v;
        updateControlView();
    }
}

void SMDoubleSliderCell::setDoubleHiValue(double value) {
    double v = std::isnan(value) ? 0.0 : value;
    if (doubleLoValue() > v) {
        v = doubleLoValue();
    }
    if (v > maxValue()) {
        v = maxValue();
    }
    if (_sm_flags.mouseTrackingSwapped) {
        _sm_saveValue = v;
        updateControlView();
    } else {
        SliderCell::setDoubleValue(v);
    }
}

// Conversions.

Value SMDoubleSliderCell::objectLoValue() const {
    return doubleLoValue();
}
Value SMDoubleSliderCell::objectHiValue() const {
    return doubleHiValue();
}

void SMDoubleSliderCell::setObjectLoValue(const Value& value) {
    setDoubleLoValue(value.doubleValue());
}

void SMDoubleSliderCell::setObjectHiValue(const Value& value) {
    setDoubleHiValue(value.doubleValue());
}

void SMDoubleSliderCell::setObjectLoValue(const SMDoubleSliderCell& other) {
    setDoubleLoValue(other.doubleLoValue());
}

void SMDoubleSliderCell::setObjectHiValue(const SMDoubleSliderCell& other) {
    setDoubleHiValue(other.doubleHiValue());
}

std::string SMDoubleSliderCell::stringLoValue() const {
    return gFormat(doubleLoValue());
}
std::string SMDoubleSliderCell::stringHiValue() const {
    return gFormat(doubleHiValue());
}

void SMDoubleSliderCell::rejectMissingString(const char* method, int line) const {
    throw InternalInconsistencyError(method, "SMDoubleSliderCell", line,
                                     "Invalid parameter not satisfying: nil != aString");
}

void SMDoubleSliderCell::setStringLoValue(const std::optional<std::string>& aString) {
    if (!aString) {
        rejectMissingString("setStringLoValue", __LINE__);
    }
    setDoubleLoValue(doubleFromText(*aString));
}

void SMDoubleSliderCell::setStringHiValue(const std::optional<std::string>& aString) {
    if (!aString) {
        rejectMissingString("setStringHiValue", __LINE__);
    }
    setDoubleHiValue(doubleFromText(*aString));
}

std::int32_t SMDoubleSliderCell::intLoValue() const {
    return truncateToInt32(doubleLoValue());
}
std::int32_t SMDoubleSliderCell::intHiValue() const {
    return truncateToInt32(doubleHiValue());
}
void SMDoubleSliderCell::setIntLoValue(std::int32_t value) {
    setDoubleLoValue(value);
}
void SMDoubleSliderCell::setIntHiValue(std::int32_t value) {
    setDoubleHiValue(value);
}

float SMDoubleSliderCell::floatLoValue() const {
    return static_cast<float>(doubleLoValue());
}
float SMDoubleSliderCell::floatHiValue() const {
    return static_cast<float>(doubleHiValue());
}
void SMDoubleSliderCell::setFloatLoValue(float value) {
    setDoubleLoValue(value);
}
void SMDoubleSliderCell::setFloatHiValue(float value) {
    setDoubleHiValue(value);
}

std::int64_t SMDoubleSliderCell::integerLoValue() const {
    return truncateToInt64(doubleLoValue());
}
std::int64_t SMDoubleSliderCell::integerHiValue() const {
    return truncateToInt64(doubleHiValue());
}

void SMDoubleSliderCell::setIntegerLoValue(std::int64_t value) {
    setDoubleLoValue(static_cast<double>(value));
}

void SMDoubleSliderCell::setIntegerHiValue(std::int64_t value) {
    setDoubleHiValue(static_cast<double>(value));
}

// The current knob and locking.

void SMDoubleSliderCell::setTrackingLoKnob(bool lo) {
    if (lo == static_cast<bool>(_sm_flags.isTrackingLoKnob)) {
        return;
    }
    _sm_flags.isTrackingLoKnob = lo;
    updateControlView();
}

void SMDoubleSliderCell::setLockedSliders(bool locked) {
    if (locked == static_cast<bool>(_sm_flags.lockedSliders)) {
        return;
    }
    _sm_flags.lockedSliders = locked;
    if (locked) {
        setDoubleLoValue(doubleHiValue());
    }
    updateControlView();
}

// Plain accessors: the current knob.

double SMDoubleSliderCell::doubleValue() const {
    return trackingLoKnob() ? doubleLoValue() : doubleHiValue();
}

void SMDoubleSliderCell::setDoubleValue(double value) {
    trackingLoKnob() ? setDoubleLoValue(value) : setDoubleHiValue(value);
}

Value SMDoubleSliderCell::objectValue() const {
    return trackingLoKnob() ? objectLoValue() : objectHiValue();
}

void SMDoubleSliderCell::setObjectValue(const Value& value) {
    trackingLoKnob() ? setObjectLoValue(value) : setObjectHiValue(value);
}

std::string SMDoubleSliderCell::stringValue() const {
    return trackingLoKnob() ? stringLoValue() : stringHiValue();
}

void SMDoubleSliderCell::setStringValue(const std::optional<std::string>& text) {
    trackingLoKnob() ? setStringLoValue(text) : setStringHiValue(text);
}

std::int32_t SMDoubleSliderCell::intValue() const {
    return trackingLoKnob() ? intLoValue() : intHiValue();
}

void SMDoubleSliderCell::setIntValue(std::int32_t value) {
    trackingLoKnob() ? setIntLoValue(value) : setIntHiValue(value);
}

float SMDoubleSliderCell::floatValue() const {
    return trackingLoKnob() ? floatLoValue() : floatHiValue();
}

void SMDoubleSliderCell::setFloatValue(float value) {
    trackingLoKnob() ? setFloatLoValue(value) : setFloatHiValue(value);
}

// Range.

void SMDoubleSliderCell::setMinValue(double value) {
    if (std::isnan(value)) {
        return;
    }
    if (value > doubleHiValue()) {
        setDoubleHiValue(value);
    }
    if (value > doubleLoValue()) {
        setDoubleLoValue(value);
    }
    SliderCell::setMinValue(value);
}

void SMDoubleSliderCell::setMaxValue(double value) {
    if (std::isnan(value)) {
        return;
    }
    if (doubleLoValue() > value) {
        setDoubleLoValue(value);
    }
    if (doubleHiValue() > value) {
        setDoubleHiValue(value);
    }
    SliderCell::setMaxValue(value);
}

// Geometry and painting.

SliderRect SMDoubleSliderCell::_sm_loKnobRect() const {
    return knobRectForValueFlipped(_sm_loValue, hostIsFlipped());
}

void SMDoubleSliderCell::drawKnob() {
    const double kept = baseValueSlot();
    const bool pressed = isKnobPressed();
    const bool lo = trackingLoKnob();
    if (!_sm_flags.mouseTrackingSwapped) {
        setBaseValueSlot(_sm_loValue);
    }

    _sm_flags.removeFocusRingStyle = showsFirstResponder() && !lo;
    setKnobPressed(pressed && lo);
    drawKnob(knobRectFlipped(hostIsFlipped()));

    setBaseValueSlot(_sm_flags.mouseTrackingSwapped ? _sm_saveValue : kept);
    _sm_flags.removeFocusRingStyle = showsFirstResponder() && lo;
    setKnobPressed(pressed && !lo);
    // Painted last, so the hi knob lies on top where the two overlap.
    SliderCell::drawKnob();

    setBaseValueSlot(kept);
    setKnobPressed(pressed);
    _sm_flags.removeFocusRingStyle = 0;
}

void SMDoubleSliderCell::drawKnob(const SliderRect& knobRect) {
    if (!_sm_flags.removeFocusRingStyle) {
        SliderCell::drawKnob(knobRect);
        return;
    }
    // The ring belongs to the other knob: paint this one as if the cell had no ring at all.
    const FocusRingType kept = focusRingType();
    setFocusRingType(FocusRingType::None);
    SliderCell::drawKnob(knobRect);
    setFocusRingType(kept);
}

// Tracking.

bool SMDoubleSliderCell::startTrackingAt(const SliderPoint& point, SliderCellHost& view) {
    const SliderRect lo = _sm_loKnobRect();
    bool takeLo = false;
    if (!isVertical()) {
        takeLo = point.x < lo.x + lo.width;
    } else if (view.isFlipped()) {
        takeLo = point.y > lo.y;
    } else {
        takeLo = point.y < lo.y + lo.height;
    }
    setTrackingLoKnob(takeLo);

    if (takeLo && knobRectFlipped(view.isFlipped()) == lo) {
        // The knobs lie on each other: the lo knob, unless it sits at the minimum, where only the
        // hi knob can move away.
        setTrackingLoKnob(_sm_loValue > minValue());
    }
    if (trackingLoKnob()) {
        view.setNeedsDisplayInRect(lo);
    }

    _sm_saveValue = baseValueSlot();
    _sm_flags.mouseTrackingSwapped = trackingLoKnob();
    if (_sm_flags.mouseTrackingSwapped) {
        setBaseValueSlot(_sm_loValue);
    }
    return SliderCell::startTrackingAt(point, view);
}

bool SMDoubleSliderCell::continueTracking(const SliderPoint& last, const SliderPoint& current,
                                          SliderCellHost& view) {
    const bool result = SliderCell::continueTracking(last, current, view);
    DoubleSliderHost* host = asDoubleSliderHost(view);
    if (_sm_flags.mouseTrackingSwapped) {
        if (baseValueSlot() > _sm_saveValue) {
            setBaseValueSlot(_sm_saveValue);
        }
        if (isContinuous() && host != nullptr) {
            host->updateBoundControllerLoValue(baseValueSlot());
        }
    } else {
        if (_sm_loValue > baseValueSlot()) {
            setBaseValueSlot(_sm_loValue);
        }
        if (isContinuous() && host != nullptr) {
            host->updateBoundControllerHiValue(baseValueSlot());
        }
    }
    return result;
}

void SMDoubleSliderCell::stopTracking(const SliderPoint& last, const SliderPoint& stop,
                                      SliderCellHost& view, bool mouseIsUp) {
    const double x = baseValueSlot();
    DoubleSliderHost* host = asDoubleSliderHost(view);
    if (_sm_flags.mouseTrackingSwapped) {
        _sm_loValue = x;
        setBaseValueSlot(_sm_saveValue);
        _sm_flags.mouseTrackingSwapped = 0;
        view.setNeedsDisplayInRect(_sm_loKnobRect());
        if (host != nullptr) {
            host->updateBoundControllerLoValue(_sm_loValue);
        }
    } else if (host != nullptr) {
        host->updateBoundControllerHiValue(x);
    }
    SliderCell::stopTracking(last, stop, view, mouseIsUp);
}

// Archiving and copying.

void SMDoubleSliderCell::encodeWithCoder(Coder& coder) const {
    SliderCell::encodeWithCoder(coder);
    if (coder.allowsKeyedCoding()) {
        coder.encodeDoubleForKey(_sm_loValue, kLoValueKey);
        coder.encodeBoolForKey(_sm_flags.lockedSliders, kLockedSlidersKey);
    } else {
        coder.encodeDouble(_sm_loValue);
        coder.encodeByte(_sm_flags.lockedSliders ? 1 : 0);
    }
}

bool SMDoubleSliderCell::initWithCoder(Coder& coder) {
    const ArchivedState before = archivedState();
    if (!SliderCell::initWithCoder(coder)) {
        return false;
    }
    double lo = 0;
    bool locked = false;
    if (coder.allowsKeyedCoding()) {
        lo = coder.decodeDoubleForKey(kLoValueKey);
        locked = coder.decodeBoolForKey(kLockedSlidersKey);
    } else {
        const auto value = coder.decodeDouble();
        const auto flag = coder.decodeByte();
        if (!value || !flag) {
            setArchivedState(before);
            return false;
        }
        lo = *value;
        locked = (*flag & 1) != 0;
    }
    // A damaged archive must not leave a knob at NaN, which no clamp below would catch.
    if (std::isnan(lo)) {
        lo = minValue();
    }
    if (minValue() > lo) {
        lo = minValue();
    }
    if (lo > maxValue()) {
        lo = maxValue();
    }
    _sm_loValue = lo;
    _sm_saveValue = 0;
    _sm_flags = Flags{};
    _sm_flags.lockedSliders = locked;
    _sm_flags.isTrackingLoKnob = 1;
    return true;
}

std::unique_ptr<SliderCell> SMDoubleSliderCell::copy() const {
    auto cell = std::unique_ptr<SMDoubleSliderCell>(
        new SMDoubleSliderCell(static_cast<const SliderCell&>(*this)));
    // Mid-drag of the lo knob the base value holds lo; the copy starts at rest with hi there.
    cell->setBaseValueSlot(doubleHiValue());
    cell->setDoubleLoValue(doubleLoValue());
    // Stored directly: setLockedSliders would put the copy's lo knob onto its hi knob, and a copy
    // of a locked slider whose knobs were moved apart afterwards would not equal the original.
    cell->_sm_flags.lockedSliders = _sm_flags.lockedSliders;
    return cell;
}

}  // namespace drivetherm
