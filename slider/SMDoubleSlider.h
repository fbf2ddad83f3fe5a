// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bindings/Bindable.h"
#include "bindings/KeyValueObserver.h"
#include "slider/DoubleSliderHost.h"
#include "slider/KnobPainter.h"
#include "slider/SMDoubleSliderCell.h"

class QStyleOptionSlider;

namespace drivetherm {

// A range slider with a lo and a hi knob (lo <= hi), drawn with the desktop style. In the settings
// window its knobs are the lower and the upper temperature threshold of the fan curve.
//
// Bindings: "objectLoValue" and "objectHiValue" keep each knob and a key path of a KeyValueObject
// (usually an ObjectController) in step both ways:
//
//     slider.bind("objectLoValue", controller, "selection.lowerThreshold");
//     slider.bind("objectHiValue", controller, "selection.upperThreshold");
//
// Binding takes the bound value over at once. Later changes of the key path move the knob; a
// placeholder (no content) or none disables the slider. Dragging a knob writes its value to the
// key path on every move when the slider is continuous, and once more at the end of the drag.
// Taking the slider out of its parent, or destroying it, unbinds both.
//
// Keyboard: Tab walks previous widget, lo knob, hi knob, next widget; Shift-Tab the other way.
// Focus arriving by Tab lands on the lo knob, by Shift-Tab on the hi knob, by a click on whichever
// knob was current. The arrow keys, Page Up/Down, Home and End move the current knob; so does the
// wheel, but only once the slider has the focus (a wheel turned to scroll the window passes
// over it).
//
// A value grid (setValueGrid) makes every value written back fall on whole steps, for example
// whole degrees of the unit the user reads.
class SMDoubleSlider : public QWidget,
                       public Bindable,
                       public DoubleSliderHost,
                       private KeyValueObserver,
                       private KnobPainter {
    Q_OBJECT

public:
    explicit SMDoubleSlider(QWidget* parent = nullptr);
    explicit SMDoubleSlider(Qt::Orientation orientation, QWidget* parent = nullptr);
    ~SMDoubleSlider() override;

    SMDoubleSliderCell& cell() { return cell_; }
    const SMDoubleSliderCell& cell() const { return cell_; }

    // The binding table: "objectLoValue" 0, "objectHiValue" 1, any other name -1.
    static int bindingNameToIndex(const std::string& name);
    static std::optional<std::string> bindingIndexToName(int index);
    std::vector<std::string> exposedBindings() const override;
    // Number for the two knob bindings.
    std::optional<Value::Kind> valueClassForBinding(const std::string& binding) const override;
    void bind(const std::string& binding, KeyValueObject& object, const std::string& keyPath,
              const BindingOptions& options = {}) override;
    void unbind(const std::string& binding) override;
    void unbindAll();
    // none written to a knob binding's key: that knob from 0.0 (clamped). Other keys: nothing.
    void setNilValueForKey(const std::string& key);

    // A value from a bound controller: none or a placeholder disables the slider and sets the knob
    // from 0.0; a real value enables it and sets the knob. The last value through either binding
    // decides the enabled state.
    void setObjectLoValue(const Value& value);
    void setObjectHiValue(const Value& value);

    // Writes a knob's value to its bound key path; nothing when not bound.
    void updateBoundControllerLoValue(double value) override;
    void updateBoundControllerHiValue(double value) override;

    // The cell's value family, forwarded.
    bool trackingLoKnob() const { return cell_.trackingLoKnob(); }
    void setTrackingLoKnob(bool lo) { cell_.setTrackingLoKnob(lo); }
    bool lockedSliders() const { return cell_.lockedSliders(); }
    void setLockedSliders(bool locked) { cell_.setLockedSliders(locked); }
    double doubleLoValue() const { return cell_.doubleLoValue(); }
    void setDoubleLoValue(double value) { cell_.setDoubleLoValue(value); }
    double doubleHiValue() const { return cell_.doubleHiValue(); }
    void setDoubleHiValue(double value) { cell_.setDoubleHiValue(value); }
    float floatLoValue() const { return cell_.floatLoValue(); }
    void setFloatLoValue(float value) { cell_.setFloatLoValue(value); }
    float floatHiValue() const { return cell_.floatHiValue(); }
    void setFloatHiValue(float value) { cell_.setFloatHiValue(value); }
    std::int32_t intLoValue() const { return cell_.intLoValue(); }
    void setIntLoValue(std::int32_t value) { cell_.setIntLoValue(value); }
    std::int32_t intHiValue() const { return cell_.intHiValue(); }
    void setIntHiValue(std::int32_t value) { cell_.setIntHiValue(value); }
    std::int64_t integerLoValue() const { return cell_.integerLoValue(); }
    void setIntegerLoValue(std::int64_t value) { cell_.setIntegerLoValue(value); }
    std::int64_t integerHiValue() const { return cell_.integerHiValue(); }
    void setIntegerHiValue(std::int64_t value) { cell_.setIntegerHiValue(value); }
    std::string stringLoValue() const { return cell_.stringLoValue(); }
    void setStringLoValue(const std::optional<std::string>& text) { cell_.setStringLoValue(text); }
    std::string stringHiValue() const { return cell_.stringHiValue(); }
    void setStringHiValue(const std::optional<std::string>& text) { cell_.setStringHiValue(text); }
    Value objectLoValue() const { return cell_.objectLoValue(); }
    Value objectHiValue() const { return cell_.objectHiValue(); }

    // The plain value: the current knob's.
    double doubleValue() const { return cell_.doubleValue(); }
    void setDoubleValue(double value) { cell_.setDoubleValue(value); }

    double minValue() const { return cell_.minValue(); }
    void setMinValue(double value) { cell_.setMinValue(value); }
    double maxValue() const { return cell_.maxValue(); }
    void setMaxValue(double value) { cell_.setMaxValue(value); }
    bool isContinuous() const { return cell_.isContinuous(); }
    void setContinuous(bool continuous) { cell_.setContinuous(continuous); }
    Qt::Orientation orientation() const;
    void setOrientation(Qt::Orientation orientation);
    // How far an arrow key moves the current knob; Page Up and Down move ten times as far. 0 (the
    // default) means a hundredth of the range.
    void setKeyboardStep(double step) { keyboardStep_ = step; }
    // Values written back through the bindings fall on origin + k × step; a step of 0 (the
    // default) leaves them as they are. Arrow keys and the wheel then move one step.
    void setValueGrid(double origin, double step);
    double snapped(double value) const;
    // The text of a knob's value for assistive technology (a plain number by default).
    void setValueText(std::function<QString(double)> text) { valueText_ = std::move(text); }
    QString valueText(double value) const;

    // Tab on the control: hi knob after lo, then out to the next widget (lo knob current again).
    // Answers whether the focus stays.
    bool insertTab();
    // Shift-Tab: lo knob after hi, then out to the previous widget.
    bool insertBacktab();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // SliderCellHost: Qt widgets count y downward.
    bool isFlipped() const override { return true; }
    void updateCell(SliderCell& cell) override;
    void setNeedsDisplayInRect(const SliderRect& rect) override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void observeValueForKeyPath(const std::string& keyPath, KeyValueObject& object,
                                std::intptr_t context) override;
    void paintKnob(const SliderRect& knob, bool pressed, bool focusRing) override;

    // The value the binding of index (0 lo, 1 hi) is bound to; none when not bound.
    Value boundValue(int index) const;
    bool isBound(int index) const;
    // Takes the bound value of index over into its knob.
    void applyBoundValue(int index);
    QStyleOptionSlider styleOption() const;
    // Hands the style's knob positions at both ends of the track to the cell.
    void syncCellGeometry();
    // Ends a drag that can no longer receive its mouse release.
    void cancelTracking();
    // Moves the current knob to `target` and writes it back, as a key does.
    void moveCurrentKnob(double target);
    double step() const;

    SMDoubleSliderCell cell_;
    // The style's knob rectangles at the ends of the track, as the cell has them.
    SliderRect knobAtMin_;
    SliderRect knobAtMax_;
    QPainter* painter_ = nullptr;
    SliderPoint lastPoint_;
    bool tracking_ = false;
    double keyboardStep_ = 0;
    double gridOrigin_ = 0;
    double gridStep_ = 0;
    std::function<QString(double)> valueText_;
};

}  // namespace drivetherm
