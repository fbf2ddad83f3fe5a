// SPDX-License-Identifier: GPL-2.0-or-later
#include "slider/SliderCell.h"

#include <cmath>

#include "bindings/NumberConversions.h"
#include "slider/Coder.h"
#include "slider/KnobPainter.h"
#include "slider/SliderCellHost.h"
#include "slider/SliderMapping.h"

namespace drivetherm {

namespace {

// Keys of the keyed archive.
constexpr const char* kMinValueKey = "minValue";
constexpr const char* kMaxValueKey = "maxValue";
constexpr const char* kValueKey = "value";
constexpr const char* kVerticalKey = "vertical";
constexpr const char* kContinuousKey = "continuous";

SliderRect mirrored(const SliderRect& r, const SliderRect& frame) {
    return {r.x, frame.y + frame.height - (r.y - frame.y) - r.height, r.width, r.height};
}

SliderPoint mirrored(const SliderPoint& p, const SliderRect& frame) {
    return {p.x, frame.y + frame.height - (p.y - frame.y)};
}

}  // namespace

SliderCell::SliderCell() = default;

SliderCell::SliderCell(const SliderCell& other)
    : value_(other.value_),
      minValue_(other.minValue_),
      maxValue_(other.maxValue_),
      vertical_(other.vertical_),
      continuous_(other.continuous_),
      showsFirstResponder_(false),
      focusRingType_(other.focusRingType_),
      frame_(other.frame_),
      knobAtMin_(other.knobAtMin_),
      knobAtMax_(other.knobAtMax_) {}

SliderCell::~SliderCell() = default;

double SliderCell::doubleValue() const {
    return value_;
}

void SliderCell::setDoubleValue(double value) {
    value_ = value;
    updateControlView();
}

Value SliderCell::objectValue() const {
    return doubleValue();
}

void SliderCell::setObjectValue(const Value& value) {
    setDoubleValue(value.doubleValue());
}

std::string SliderCell::stringValue() const {
    return gFormat(doubleValue());
}

void SliderCell::setStringValue(const std::optional<std::string>& text) {
    setDoubleValue(doubleFromText(text.value_or("")));
}

std::int32_t SliderCell::intValue() const {
    return truncateToInt32(doubleValue());
}

void SliderCell::setIntValue(std::int32_t value) {
    setDoubleValue(value);
}

float SliderCell::floatValue() const {
    return static_cast<float>(doubleValue());
}

void SliderCell::setFloatValue(float value) {
    setDoubleValue(value);
}

std::int64_t SliderCell::integerValue() const {
    return truncateToInt64(SliderCell::doubleValue());
}

void SliderCell::setIntegerValue(std::int64_t value) {
    SliderCell::setDoubleValue(static_cast<double>(value));
}

void SliderCell::setMinValue(double value) {
    if (std::isnan(value)) {
        return;
    }
    minValue_ = value;
    updateControlView();
}

void SliderCell::setMaxValue(double value) {
    if (std::isnan(value)) {
        return;
    }
    maxValue_ = value;
    updateControlView();
}

void SliderCell::setTrackGeometry(const SliderRect& frame, const SliderRect& knobAtMin,
                                  const SliderRect& knobAtMax) {
    frame_ = frame;
    knobAtMin_ = knobAtMin;
    knobAtMax_ = knobAtMax;
}

SliderRect SliderCell::knobRectForValueFlipped(double value, bool flipped) const {
    const SliderRect r = knobRectForValue(value, minValue_, maxValue_, knobAtMin_, knobAtMax_);
    return flipped ? r : mirrored(r, frame_);
}

SliderRect SliderCell::knobRectFlipped(bool flipped) const {
    return knobRectForValueFlipped(value_, flipped);
}

double SliderCell::valueForPoint(const SliderPoint& point, bool flipped) const {
    const SliderPoint p = flipped ? point : mirrored(point, frame_);
    return drivetherm::valueForPoint(p, minValue_, maxValue_, knobAtMin_, knobAtMax_);
}

bool SliderCell::hostIsFlipped() const {
    return controlView_ == nullptr || controlView_->isFlipped();
}

void SliderCell::updateControlView() {
    if (controlView_ != nullptr) {
        controlView_->updateCell(*this);
    }
}

void SliderCell::drawKnob() {
    drawKnob(knobRectFlipped(hostIsFlipped()));
}

void SliderCell::drawKnob(const SliderRect& knobRect) {
    if (knobPainter_ == nullptr) {
        return;
    }
    const bool ring = showsFirstResponder_ && focusRingType_ != FocusRingType::None;
    knobPainter_->paintKnob(knobRect, knobPressed_, ring);
}

bool SliderCell::startTrackingAt(const SliderPoint& point, SliderCellHost& view) {
    const bool flipped = view.isFlipped();
    const SliderRect knob = knobRectFlipped(flipped);
    if (knob.contains(point)) {
        const SliderPoint centre = knob.centre();
        grabOffset_ = {point.x - centre.x, point.y - centre.y};
    } else {
        grabOffset_ = {};
        value_ = valueForPoint(point, flipped);
    }
    tracking_ = true;
    knobPressed_ = true;
    updateControlView();
    return true;
}

bool SliderCell::continueTracking(const SliderPoint&, const SliderPoint& current,
                                  SliderCellHost& view) {
    value_ =
        valueForPoint({current.x - grabOffset_.x, current.y - grabOffset_.y}, view.isFlipped());
    updateControlView();
    return true;
}

void SliderCell::stopTracking(const SliderPoint&, const SliderPoint&, SliderCellHost&, bool) {
    tracking_ = false;
    knobPressed_ = false;
    grabOffset_ = {};
    updateControlView();
}

void SliderCell::encodeWithCoder(Coder& coder) const {
    if (coder.allowsKeyedCoding()) {
        coder.encodeDoubleForKey(minValue_, kMinValueKey);
        coder.encodeDoubleForKey(maxValue_, kMaxValueKey);
        coder.encodeDoubleForKey(value_, kValueKey);
        coder.encodeBoolForKey(vertical_, kVerticalKey);
        coder.encodeBoolForKey(continuous_, kContinuousKey);
        return;
    }
    coder.encodeDouble(minValue_);
    coder.encodeDouble(maxValue_);
    coder.encodeDouble(value_);
    coder.encodeByte(vertical_ ? 1 : 0);
    coder.encodeByte(continuous_ ? 1 : 0);
}

bool SliderCell::initWithCoder(Coder& coder) {
    ArchivedState state = archivedState();
    if (coder.allowsKeyedCoding()) {
        // An archive from an older cell may lack a key; the cell keeps its own setting then.
        const auto decode = [&coder](const char* key, double& into) {
            if (coder.containsValueForKey(key)) {
                into = coder.decodeDoubleForKey(key);
            }
        };
        const auto decodeFlag = [&coder](const char* key, bool& into) {
            if (coder.containsValueForKey(key)) {
                into = coder.decodeBoolForKey(key);
            }
        };
        decode(kMinValueKey, state.minValue);
        decode(kMaxValueKey, state.maxValue);
        decode(kValueKey, state.value);
        decodeFlag(kVerticalKey, state.vertical);
        decodeFlag(kContinuousKey, state.continuous);
    } else {
        const auto min = coder.decodeDouble();
        const auto max = coder.decodeDouble();
        const auto value = coder.decodeDouble();
        const auto vertical = coder.decodeByte();
        const auto continuous = coder.decodeByte();
        if (!min || !max || !value || !vertical || !continuous) {
            return false;
        }
        state = {*value, *min, *max, (*vertical & 1) != 0, (*continuous & 1) != 0};
    }
    if (!std::isfinite(state.minValue) || !std::isfinite(state.maxValue) ||
        !std::isfinite(state.value)) {
        return false;
    }
    setArchivedState(state);
    return true;
}

SliderCell::ArchivedState SliderCell::archivedState() const {
    return {value_, minValue_, maxValue_, vertical_, continuous_};
}

void SliderCell::setArchivedState(const ArchivedState& state) {
    value_ = state.value;
    minValue_ = state.minValue;
    maxValue_ = state.maxValue;
    vertical_ = state.vertical;
    continuous_ = state.continuous;
}

std::unique_ptr<SliderCell> SliderCell::copy() const {
    return std::unique_ptr<SliderCell>(new SliderCell(*this));
}

}  // namespace drivetherm
