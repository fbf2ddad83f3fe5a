// SPDX-License-Identifier: GPL-2.0-or-later
#include "frontends/TempTransformer.h"

namespace drivetherm {

Value TempTransformer::transformedValue(const Value& value) const {
    return temperatureText(value.floatValue(), fahrenheit_);
}

}  // namespace drivetherm
