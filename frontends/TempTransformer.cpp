// SPDX-License-Identifier: GPL-2.0-or-later
#include "frontends/TempTransformer.h"

#include "bindings/NumberConversions.h"

namespace drivetherm {

namespace {
// U+00B0 DEGREE SIGN in UTF-8.
constexpr const char* kDegree = "\xC2\xB0";
}  // namespace

std::string TempTransformer::format(float celsius, bool fahrenheit) {
    if (!fahrenheit) {
        return wholeNumberFormat(static_cast<double>(celsius)) + " " + kDegree + "C";
    }
    const double f = static_cast<double>(celsius) / 5 * 9 + 32;
    const double shown = static_cast<double>(static_cast<float>(f));
    return wholeNumberFormat(shown) + " " + kDegree + "F";
}

Value TempTransformer::transformedValue(const Value& value) const {
    return format(value.floatValue(), fahrenheit_);
}

}  // namespace drivetherm
