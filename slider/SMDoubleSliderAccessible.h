// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QAccessibleWidget>

namespace drivetherm {

class SMDoubleSlider;

// The two-knob slider as assistive technology sees it: a slider whose value text names both
// knobs ("lower 50 °C, upper 58 °C") and whose current value is the knob that has the focus.
class SMDoubleSliderAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit SMDoubleSliderAccessible(SMDoubleSlider* slider);

    // Makes Qt build this interface for every SMDoubleSlider; once per program is enough.
    static void install();

    void* interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text t) const override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant& value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

private:
    SMDoubleSlider* slider() const;
};

}  // namespace drivetherm
