// SPDX-License-Identifier: GPL-2.0-or-later
#include "slider/SMDoubleSlider.h"

#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStyleOptionSlider>
#include <QWheelEvent>
#include <cmath>

#include "bindings/KeyValueObject.h"
#include "slider/SMDoubleSliderAccessible.h"
#include "slider/SliderMapping.h"

namespace drivetherm {

namespace {

constexpr const char* kLoBinding = "objectLoValue";
constexpr const char* kHiBinding = "objectHiValue";
// The style places its handle by an integer position; this many steps span the track, so the
// handle it paints lies within a small fraction of a pixel of the cell's knob rectangle.
constexpr int kStyleResolution = 10000;

SliderRect toSliderRect(const QRectF& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}

QRectF toQRect(const SliderRect& r) {
    return QRectF(r.x, r.y, r.width, r.height);
}

SliderPoint toSliderPoint(const QPointF& p) {
    return {p.x(), p.y()};
}

}  // namespace

SMDoubleSlider::SMDoubleSlider(QWidget* parent) : SMDoubleSlider(Qt::Horizontal, parent) {}

SMDoubleSlider::SMDoubleSlider(Qt::Orientation orientation, QWidget* parent) : QWidget(parent) {
    cell_.setControlView(this);
    cell_.setKnobPainter(this);
    cell_.setVertical(orientation == Qt::Vertical);
    SMDoubleSliderAccessible::install();
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Fixed, QSizePolicy::Slider);
    if (orientation == Qt::Vertical) {
        policy.transpose();
    }
    setSizePolicy(policy);
    syncCellGeometry();
}

SMDoubleSlider::~SMDoubleSlider() {
    // The bound objects must not keep a pointer to a slider that is gone.
    unbindAll();
    cell_.setControlView(nullptr);
    cell_.setKnobPainter(nullptr);
}

// Bindings.

int SMDoubleSlider::bindingNameToIndex(const std::string& name) {
    if (name == kLoBinding) {
        return 0;
    }
    if (name == kHiBinding) {
        return 1;
    }
    return -1;
}

std::optional<std::string> SMDoubleSlider::bindingIndexToName(int index) {
    switch (index) {
        case 0:
            return kLoBinding;
        case 1:
            return kHiBinding;
        default:
            return std::nullopt;
    }
}

std::vector<std::string> SMDoubleSlider::exposedBindings() const {
    return {kLoBinding, kHiBinding};
}

std::optional<Value::Kind> SMDoubleSlider::valueClassForBinding(const std::string& binding) const {
    if (bindingNameToIndex(binding) >= 0) {
        return Value::Kind::Number;
    }
    return Bindable::valueClassForBinding(binding);
}

void SMDoubleSlider::bind(const std::string& binding, KeyValueObject& object,
                          const std::string& keyPath, const BindingOptions& options) {
    const int index = bindingNameToIndex(binding);
    if (index >= 0) {
        // Binding a bound name again must not leave the first observation behind.
        if (isBound(index)) {
            unbind(binding);
        }
        object.addObserver(*this, keyPath, index);
    }
    update();
    Bindable::bind(binding, object, keyPath, options);
    if (index >= 0) {
        // The observation hears only of later changes; the knob takes the present value now.
        applyBoundValue(index);
    }
}

void SMDoubleSlider::unbind(const std::string& binding) {
    const int index = bindingNameToIndex(binding);
    if (index >= 0) {
        if (const auto info = infoForBinding(binding)) {
            if (KeyValueObject* object = info->observedObject()) {
                object->removeObserver(*this, info->observedKeyPath());
            }
        }
    }
    update();
    Bindable::unbind(binding);
}

void SMDoubleSlider::unbindAll() {
    unbind(kLoBinding);
    unbind(kHiBinding);
}

void SMDoubleSlider::observeValueForKeyPath(const std::string&, KeyValueObject&,
                                            std::intptr_t context) {
    if (context == 0 || context == 1) {
        applyBoundValue(static_cast<int>(context));
    }
    update();
}

bool SMDoubleSlider::isBound(int index) const {
    const auto name = bindingIndexToName(index);
    return name && infoForBinding(*name).has_value();
}

Value SMDoubleSlider::boundValue(int index) const {
    const auto name = bindingIndexToName(index);
    const auto info = name ? infoForBinding(*name) : std::nullopt;
    KeyValueObject* object = info ? info->observedObject() : nullptr;
    if (object == nullptr) {
        return {};
    }
    return object->valueForKeyPath(info->observedKeyPath());
}

void SMDoubleSlider::applyBoundValue(int index) {
    const Value value = boundValue(index);
    if (index == 1) {
        setObjectHiValue(value);
    } else {
        setObjectLoValue(value);
    }
    // A knob stops at the other knob. When the other one still shows an old value (right after the
    // controller's content came back, or while the first of the two bindings was made alone), one
    // of the two bound values was cut off by it: take both over again, the other one first. Without
    // this the lower threshold would stay at the minimum after every refresh of the window.
    const int other = 1 - index;
    if (!isBound(other)) {
        return;
    }
    const Value otherValue = boundValue(other);
    const auto placeholder = [](const Value& v) { return v.isNone() || isControllerMarker(v); };
    if (placeholder(value) || placeholder(otherValue)) {
        return;
    }
    const Value& lo = index == 0 ? value : otherValue;
    const Value& hi = index == 1 ? value : otherValue;
    if (cell_.doubleLoValue() == lo.doubleValue() && cell_.doubleHiValue() == hi.doubleValue()) {
        return;
    }
    if (index == 1) {
        cell_.setObjectLoValue(lo);
        cell_.setObjectHiValue(hi);
    } else {
        cell_.setObjectHiValue(hi);
        cell_.setObjectLoValue(lo);
    }
}

void SMDoubleSlider::setObjectLoValue(const Value& value) {
    const bool placeholder = value.isNone() || isControllerMarker(value);
    setEnabled(!placeholder);
    cell_.setObjectLoValue(placeholder ? Value() : value);
}

void SMDoubleSlider::setObjectHiValue(const Value& value) {
    const bool placeholder = value.isNone() || isControllerMarker(value);
    setEnabled(!placeholder);
    cell_.setObjectHiValue(placeholder ? Value() : value);
}

void SMDoubleSlider::setValueGrid(double origin, double step) {
    gridOrigin_ = origin;
    gridStep_ = step > 0 ? step : 0;
}

double SMDoubleSlider::snapped(double value) const {
    if (gridStep_ <= 0) return value;
    const double s = gridOrigin_ + std::round((value - gridOrigin_) / gridStep_) * gridStep_;
    // A step that lands just outside the range is taken back to the nearest step inside it.
    if (s > cell_.maxValue() + 1e-9) return s - gridStep_;
    if (s < cell_.minValue() - 1e-9) return s + gridStep_;
    return s;
}

QString SMDoubleSlider::valueText(double value) const {
    return valueText_ ? valueText_(value) : QString::number(value, 'f', 1);
}

void SMDoubleSlider::updateBoundControllerLoValue(double value) {
    value = snapped(value);
    if (const auto info = infoForBinding(kLoBinding)) {
        if (KeyValueObject* object = info->observedObject()) {
            object->setValueForKeyPath(value, info->observedKeyPath());
        }
    }
}

void SMDoubleSlider::updateBoundControllerHiValue(double value) {
    value = snapped(value);
    if (const auto info = infoForBinding(kHiBinding)) {
        if (KeyValueObject* object = info->observedObject()) {
            object->setValueForKeyPath(value, info->observedKeyPath());
        }
    }
}

void SMDoubleSlider::setNilValueForKey(const std::string& key) {
    switch (bindingNameToIndex(key)) {
        case 0:
            setDoubleLoValue(0.0);
            break;
        case 1:
            setDoubleHiValue(0.0);
            break;
        default:
            break;
    }
}

// Orientation and size.

Qt::Orientation SMDoubleSlider::orientation() const {
    return cell_.isVertical() ? Qt::Vertical : Qt::Horizontal;
}

void SMDoubleSlider::setOrientation(Qt::Orientation orientation) {
    if (orientation == this->orientation()) {
        return;
    }
    cell_.setVertical(orientation == Qt::Vertical);
    QSizePolicy policy = sizePolicy();
    policy.transpose();
    setSizePolicy(policy);
    syncCellGeometry();
    updateGeometry();
    update();
}

QStyleOptionSlider SMDoubleSlider::styleOption() const {
    QStyleOptionSlider option;
    option.initFrom(this);
    // Each knob gets its focus ring from paintKnob; the style must not ring the whole control.
    option.state &= ~QStyle::State_HasFocus;
    option.orientation = orientation();
    option.minimum = 0;
    option.maximum = kStyleResolution;
    option.sliderPosition = 0;
    option.sliderValue = 0;
    option.singleStep = 1;
    option.pageStep = kStyleResolution / 10;
    option.tickPosition = QSlider::NoTicks;
    // Values grow to the right, and upward on a vertical slider, whatever the writing direction:
    // the cell's choice of knob for a click relies on it.
    option.upsideDown = orientation() == Qt::Vertical;
    option.direction = Qt::LeftToRight;
    if (orientation() == Qt::Horizontal) {
        option.state |= QStyle::State_Horizontal;
    }
    option.subControls = QStyle::SC_None;
    option.activeSubControls = QStyle::SC_None;
    return option;
}

void SMDoubleSlider::syncCellGeometry() {
    QStyleOptionSlider option = styleOption();
    const QRect atMin =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    option.sliderPosition = option.sliderValue = kStyleResolution;
    const QRect atMax =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    knobAtMin_ = toSliderRect(atMin);
    knobAtMax_ = toSliderRect(atMax);
    cell_.setTrackGeometry(toSliderRect(rect()), knobAtMin_, knobAtMax_);
}

QSize SMDoubleSlider::sizeHint() const {
    const QStyleOptionSlider option = styleOption();
    const int thickness = style()->pixelMetric(QStyle::PM_SliderThickness, &option, this);
    const int length = 4 * style()->pixelMetric(QStyle::PM_SliderLength, &option, this) + 84;
    const QSize contents =
        orientation() == Qt::Horizontal ? QSize(length, thickness) : QSize(thickness, length);
    return style()->sizeFromContents(QStyle::CT_Slider, &option, contents, this);
}

QSize SMDoubleSlider::minimumSizeHint() const {
    const QStyleOptionSlider option = styleOption();
    const int knob = style()->pixelMetric(QStyle::PM_SliderLength, &option, this);
    QSize size = sizeHint();
    // Room for the two knobs side by side and a little track.
    const int length = 3 * knob;
    if (orientation() == Qt::Horizontal) {
        size.setWidth(length);
    } else {
        size.setHeight(length);
    }
    return size;
}

// Painting.

void SMDoubleSlider::updateCell(SliderCell&) {
    update();
}

void SMDoubleSlider::setNeedsDisplayInRect(const SliderRect& rect) {
    update(toQRect(rect).toAlignedRect());
}

void SMDoubleSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionSlider option = styleOption();
    option.subControls = QStyle::SC_SliderGroove;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
    painter_ = &painter;
    cell_.drawKnob();
    painter_ = nullptr;
}

void SMDoubleSlider::paintKnob(const SliderRect& knob, bool pressed, bool focusRing) {
    if (painter_ == nullptr) {
        return;
    }
    QStyleOptionSlider option = styleOption();
    option.subControls = QStyle::SC_SliderHandle;
    // The style positions its handle itself: hand it the position of the cell's rectangle.
    const double fraction = valueForPoint(knob.centre(), 0, 1, knobAtMin_, knobAtMax_);
    option.sliderPosition = option.sliderValue =
        static_cast<int>(std::lround(fraction * kStyleResolution));
    if (pressed) {
        option.activeSubControls = QStyle::SC_SliderHandle;
        option.state |= QStyle::State_Sunken;
    }
    style()->drawComplexControl(QStyle::CC_Slider, &option, painter_, this);
    if (focusRing) {
        QStyleOptionFocusRect ring;
        ring.initFrom(this);
        ring.rect = style()
                        ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this)
                        .adjusted(-1, -1, 1, 1);
        ring.backgroundColor = palette().color(QPalette::Window);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &ring, painter_, this);
    }
}

// Mouse.

void SMDoubleSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || tracking_) {
        event->ignore();
        return;
    }
    event->accept();
    lastPoint_ = toSliderPoint(event->position());
    tracking_ = cell_.startTrackingAt(lastPoint_, *this);
}

void SMDoubleSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!tracking_) {
        event->ignore();
        return;
    }
    event->accept();
    const SliderPoint point = toSliderPoint(event->position());
    tracking_ = cell_.continueTracking(lastPoint_, point, *this);
    lastPoint_ = point;
    if (!tracking_) {
        cell_.stopTracking(point, point, *this, false);
    }
}

void SMDoubleSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !tracking_) {
        event->ignore();
        return;
    }
    event->accept();
    tracking_ = false;
    cell_.stopTracking(lastPoint_, toSliderPoint(event->position()), *this, true);
}

void SMDoubleSlider::cancelTracking() {
    if (!tracking_) {
        return;
    }
    tracking_ = false;
    cell_.stopTracking(lastPoint_, lastPoint_, *this, false);
}

// Keyboard.

bool SMDoubleSlider::insertTab() {
    bool stays = true;
    if (cell_.trackingLoKnob()) {
        cell_.setTrackingLoKnob(false);
    } else {
        cell_.setTrackingLoKnob(true);
        stays = !QWidget::focusNextPrevChild(true);
    }
    update();
    return stays;
}

bool SMDoubleSlider::insertBacktab() {
    bool stays = true;
    if (cell_.trackingLoKnob()) {
        stays = !QWidget::focusNextPrevChild(false);
    } else {
        cell_.setTrackingLoKnob(true);
    }
    update();
    return stays;
}

bool SMDoubleSlider::focusNextPrevChild(bool next) {
    // Qt asks the focus widget first when Tab or Shift-Tab is pressed; the knob walk happens only
    // then, not when some other widget moves the focus along the chain.
    if (!hasFocus()) {
        return QWidget::focusNextPrevChild(next);
    }
    if (next) {
        insertTab();
    } else {
        insertBacktab();
    }
    return true;
}

double SMDoubleSlider::step() const {
    if (keyboardStep_ > 0) return keyboardStep_;
    if (gridStep_ > 0) return gridStep_;
    return (cell_.maxValue() - cell_.minValue()) / 100;
}

void SMDoubleSlider::wheelEvent(QWheelEvent* event) {
    // Unfocused, the wheel scrolls whatever holds the slider; it never changes a threshold.
    if (!hasFocus() || !isEnabled()) {
        event->ignore();
        return;
    }
    const int notches = event->angleDelta().y() / 120;
    if (notches == 0) {
        event->ignore();
        return;
    }
    event->accept();
    moveCurrentKnob(cell_.doubleValue() + notches * step());
}

void SMDoubleSlider::moveCurrentKnob(double target) {
    // The plain setter moves the current knob, with the cell's clamping; the bound value follows
    // as it does at the end of a drag.
    cell_.setDoubleValue(snapped(target));
    if (cell_.trackingLoKnob()) {
        updateBoundControllerLoValue(cell_.doubleLoValue());
    } else {
        updateBoundControllerHiValue(cell_.doubleHiValue());
    }
}

void SMDoubleSlider::keyPressEvent(QKeyEvent* event) {
    const double step = this->step();
    const double value = cell_.doubleValue();
    double target = value;
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Down:
            target = value - step;
            break;
        case Qt::Key_Right:
        case Qt::Key_Up:
            target = value + step;
            break;
        case Qt::Key_PageDown:
            target = value - 10 * step;
            break;
        case Qt::Key_PageUp:
            target = value + 10 * step;
            break;
        case Qt::Key_Home:
            target = cell_.minValue();
            break;
        case Qt::Key_End:
            target = cell_.maxValue();
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
    moveCurrentKnob(target);
}

void SMDoubleSlider::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    // How the focus arrives picks the knob: forward onto the lo knob, backward onto the hi knob;
    // a click or the window itself leave the current knob alone.
    if (event->reason() == Qt::TabFocusReason) {
        cell_.setTrackingLoKnob(true);
    } else if (event->reason() == Qt::BacktabFocusReason) {
        cell_.setTrackingLoKnob(false);
    }
    cell_.setShowsFirstResponder(true);
    update();
}

void SMDoubleSlider::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    cell_.setShowsFirstResponder(false);
    update();
}

// Life cycle.

bool SMDoubleSlider::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    // Taken out of its window: the bindings end here, and putting the slider back does not
    // restore them.
    if (event->type() == QEvent::ParentChange && parentWidget() == nullptr) {
        unbindAll();
    }
    return handled;
}

void SMDoubleSlider::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    syncCellGeometry();
}

void SMDoubleSlider::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    switch (event->type()) {
        case QEvent::StyleChange:
        case QEvent::FontChange:
            syncCellGeometry();
            updateGeometry();
            update();
            break;
        case QEvent::EnabledChange:
            // A disabled widget receives no mouse release.
            if (!isEnabled()) {
                cancelTracking();
            }
            break;
        default:
            break;
    }
}

void SMDoubleSlider::hideEvent(QHideEvent* event) {
    cancelTracking();
    QWidget::hideEvent(event);
}

}  // namespace drivetherm
