// SPDX-License-Identifier: GPL-2.0-or-later
#include "slider/SMDoubleSliderAccessible.h"

#include <QCoreApplication>

#include "slider/SMDoubleSlider.h"

namespace drivetherm {
namespace {

QAccessibleInterface* factory(const QString& className, QObject* object) {
    if (className == QLatin1String("drivetherm::SMDoubleSlider") && object &&
        object->isWidgetType()) {
        return new SMDoubleSliderAccessible(static_cast<SMDoubleSlider*>(object));
    }
    return nullptr;
}

}  // namespace

SMDoubleSliderAccessible::SMDoubleSliderAccessible(SMDoubleSlider* slider)
    : QAccessibleWidget(slider, QAccessible::Slider) {}

void SMDoubleSliderAccessible::install() {
    static const bool installed = [] {
        QAccessible::installFactory(&factory);
        return true;
    }();
    (void)installed;
}

SMDoubleSlider* SMDoubleSliderAccessible::slider() const {
    return static_cast<SMDoubleSlider*>(widget());
}

void* SMDoubleSliderAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString SMDoubleSliderAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Value) {
        return QCoreApplication::translate("SMDoubleSlider", "lower %1, upper %2")
            .arg(slider()->valueText(slider()->doubleLoValue()),
                 slider()->valueText(slider()->doubleHiValue()));
    }
    return QAccessibleWidget::text(t);
}

QVariant SMDoubleSliderAccessible::currentValue() const {
    return slider()->cell().trackingLoKnob() ? slider()->doubleLoValue()
                                             : slider()->doubleHiValue();
}

void SMDoubleSliderAccessible::setCurrentValue(const QVariant& value) {
    const double v = slider()->snapped(value.toDouble());
    if (slider()->cell().trackingLoKnob()) {
        slider()->setDoubleLoValue(v);
        slider()->updateBoundControllerLoValue(slider()->doubleLoValue());
    } else {
        slider()->setDoubleHiValue(v);
        slider()->updateBoundControllerHiValue(slider()->doubleHiValue());
    }
}

QVariant SMDoubleSliderAccessible::maximumValue() const {
    return slider()->maxValue();
}

QVariant SMDoubleSliderAccessible::minimumValue() const {
    return slider()->minValue();
}

QVariant SMDoubleSliderAccessible::minimumStepSize() const {
    return slider()->snapped(1.0) - slider()->snapped(0.0);
}

}  // namespace drivetherm
