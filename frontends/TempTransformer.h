// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

#include "bindings/ValueTransformer.h"
#include "common/TemperatureText.h"

namespace drivetherm {

// Turns a temperature, held in degrees Celsius everywhere in the system, into the text the user
// sees ("45 °C", "113 °F", made by temperatureText). The settings window and the tray monitor
// each make one, keep its flag equal to the daemon's Fahrenheit setting and enter it in the
// TransformerRegistry under "TempTransformer", so that bindings show temperatures through it.
class TempTransformer : public ValueTransformer {
public:
    // The input's single-precision value (none reads as 0) as text: always a string.
    Value transformedValue(const Value& value) const override;
    Value::Kind transformedValueClass() const override { return Value::Kind::String; }
    // The texts are for display only.
    bool allowsReverseTransformation() const override { return false; }

    // The same conversion for a plain Celsius value.
    std::string transformedTemperature(float celsius) const {
        return temperatureText(celsius, fahrenheit_);
    }

    bool fahrenheit() const { return fahrenheit_; }
    // No notice and no redisplay: callers re-run their own output after switching units.
    void setFahrenheit(bool fahrenheit) { fahrenheit_ = fahrenheit; }

private:
    bool fahrenheit_ = false;
};

}  // namespace drivetherm
