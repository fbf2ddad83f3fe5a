// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "bindings/Value.h"

namespace drivetherm {

// Turns a bound value into what a control shows (a Celsius reading into "45 °C"), and, where that
// makes sense, back. Registered by name in the TransformerRegistry so that bindings can name it.
class ValueTransformer {
public:
    virtual ~ValueTransformer() = default;

    virtual Value transformedValue(const Value& value) const = 0;
    // The kind of every result.
    virtual Value::Kind transformedValueClass() const = 0;
    // Whether a control may write through this transformer; a display-only transformer says no.
    virtual bool allowsReverseTransformation() const { return false; }
    // Only called when allowsReverseTransformation(); the default hands the value back unchanged.
    virtual Value reverseTransformedValue(const Value& value) const { return value; }
};

}  // namespace drivetherm
