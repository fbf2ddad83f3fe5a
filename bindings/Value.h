// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <variant>

namespace drivetherm {

// The placeholders an object controller answers instead of a real value: no content ("no
// selection"), several differing values, or a content that has no such key. A control bound to a
// key path that yields one of them disables itself.
enum class ControllerMarker { NoSelection, MultipleValues, NotApplicable };

// One value of a key: none, a number (always held as a double), a boolean, a UTF-8 string, or a
// controller placeholder. The typed accessors convert the way a bound control expects: a string
// reads as the number it starts with, a boolean as 1 or 0, none and placeholders as 0 / false / "".
class Value {
public:
    enum class Kind { None, Number, Boolean, String, Marker };

    Value() = default;
    Value(double number) : data_(number) {}
    Value(int number) : data_(static_cast<double>(number)) {}
    Value(std::int64_t number) : data_(static_cast<double>(number)) {}
    Value(bool flag) : data_(flag) {}
    Value(std::string text) : data_(std::move(text)) {}
    Value(const char* text) : data_(std::string(text)) {}
    Value(ControllerMarker marker) : data_(marker) {}

    Kind kind() const { return static_cast<Kind>(data_.index()); }
    bool isNone() const { return kind() == Kind::None; }
    bool isString() const { return kind() == Kind::String; }
    bool isMarker() const { return kind() == Kind::Marker; }
    // The placeholder; only meaningful when isMarker().
    ControllerMarker marker() const;

    double doubleValue() const;
    // The double rounded to the nearest single-precision value.
    float floatValue() const;
    // The double truncated toward zero, saturating at the limits (NaN gives 0).
    std::int32_t intValue() const;
    std::int64_t int64Value() const;
    // Numbers: not zero. Strings: they start (after blanks, a sign and zeros) with Y, y, T, t or
    // a digit 1 to 9.
    bool boolValue() const;
    // Strings as they are; numbers in their shortest exact form ("58", "50.7"); booleans "1"/"0";
    // none and placeholders "".
    std::string stringValue() const;

    friend bool operator==(const Value& a, const Value& b) { return a.data_ == b.data_; }

private:
    // The order of the alternatives is the order of Kind.
    std::variant<std::monostate, double, bool, std::string, ControllerMarker> data_;
};

// True for the controller placeholders (no selection, multiple values, not applicable).
bool isControllerMarker(const Value& value);

// For test failure messages and debug logs.
std::ostream& operator<<(std::ostream& out, const Value& value);

}  // namespace drivetherm
