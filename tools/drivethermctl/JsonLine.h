// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace drivetherm {

// One JSON object on one line, as drivethermctl's --json prints it for scripts: fields in the
// order they are added, numbers as the shortest text that reads back to the same value, so a
// threshold of 50.7 stored as a float prints as 50.7 and not as its double's seventeen digits.
class JsonLine {
public:
    JsonLine& add(std::string_view name, int value);
    // A value that is not finite has no JSON number: it prints as null.
    JsonLine& add(std::string_view name, float value);
    JsonLine& add(std::string_view name, bool value);
    JsonLine& add(std::string_view name, std::string_view value);
    JsonLine& add(std::string_view name, const char* value) {
        return add(name, std::string_view(value));
    }
    // null when there is no value.
    JsonLine& add(std::string_view name, std::optional<int> value);
    JsonLine& add(std::string_view name, std::optional<float> value);

    // The object, with the line feed that ends it.
    std::string text() const { return text_ + "}\n"; }

    // `value` as a JSON string: quoted, with '"', '\' and the control characters escaped. The
    // bytes of UTF-8 pass as they are.
    static std::string quote(std::string_view value);

private:
    JsonLine& raw(std::string_view name, std::string_view value);

    std::string text_ = "{";
};

}  // namespace drivetherm
