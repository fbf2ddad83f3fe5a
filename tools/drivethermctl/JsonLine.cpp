// SPDX-License-Identifier: GPL-2.0-or-later
#include "tools/drivethermctl/JsonLine.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace drivetherm {

JsonLine& JsonLine::raw(std::string_view name, std::string_view value) {
    if (text_.size() > 1) text_ += ',';
    text_ += quote(name);
    text_ += ':';
    text_ += value;
    return *this;
}

JsonLine& JsonLine::add(std::string_view name, int value) {
    return raw(name, std::to_string(value));
}

JsonLine& JsonLine::add(std::string_view name, float value) {
    if (!std::isfinite(value)) return raw(name, "null");
    char buffer[32];
    // Without a format, to_chars gives the shortest text that reads back to the same float.
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return raw(name, ec == std::errc() ? std::string_view(buffer, end - buffer) : "null");
}

JsonLine& JsonLine::add(std::string_view name, bool value) {
    return raw(name, value ? "true" : "false");
}

JsonLine& JsonLine::add(std::string_view name, std::string_view value) {
    return raw(name, quote(value));
}

JsonLine& JsonLine::add(std::string_view name, std::optional<int> value) {
    return value ? add(name, *value) : raw(name, "null");
}

JsonLine& JsonLine::add(std::string_view name, std::optional<float> value) {
    return value ? add(name, *value) : raw(name, "null");
}

std::string JsonLine::quote(std::string_view value) {
    std::string quoted = "\"";
    for (const char c : value) {
        switch (c) {
            case '"':
                quoted += "\\\"";
                break;
            case '\\':
                quoted += "\\\\";
                break;
            case '\n':
                quoted += "\\n";
                break;
            case '\r':
                quoted += "\\r";
                break;
            case '\t':
                quoted += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                    quoted += escape;
                } else {
                    quoted += c;
                }
        }
    }
    return quoted + '"';
}

}  // namespace drivetherm
