// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

#include "bindings/ValueTransformer.h"

namespace drivetherm {

// Turns a temperature, held in degrees Celsius everywhere in the system, into the text the user
// sees: a whole number, a blank, the degree sign and the unit letter ("45 °C", "113 °F"). The
// settings window and the tray monitor each make one, keep its flag equal to the daemon's
// Fahrenheit setting and enter it in the TransformerRegistry under "TempTransformer".
//
// The text is UTF-8: the degree sign is the two bytes C2 B0.
class TempTransformer : public ValueTransformer {
public:
    // The text for celsius: "%.0f °C" of the value, or in Fahrenheit "%.0f °F" of
    // celsius / 5 × 9 + 32, computed in double precision in exactly that order and then rounded to
    // single precision. "%.0f" rounds an exact half to the even neighbour.
    static std::string format(float celsius, bool fahrenheit);

    // The input's single-precision value (none reads as 0) as text: always a string.
    Value transformedValue(const Value& value) const override;
    Value::Kind transformedValueClass() const override { return Value::Kind::String; }
    // The texts are for display only.
    bool allowsReverseTransformation() const override { return false; }

    // The same conversion for a plain Celsius value.
    std::string transformedTemperature(float celsius) const { return format(celsius, fahrenheit_); }

    bool fahrenheit() const { return fahrenheit_; }
    // No notice and no redisplay: callers re-run their own output after switching units.
    void setFahrenheit(bool fahrenheit) { fahrenheit_ = fahrenheit; }

private:
    bool fahrenheit_ = false;
};

}  // namespace drivetherm
