// SPDX-License-Identifier: GPL-2.0-or-later
#include "bindings/Value.h"

#include <ostream>

#include "bindings/NumberConversions.h"

namespace drivetherm {

ControllerMarker Value::marker() const {
    const auto* marker = std::get_if<ControllerMarker>(&data_);
    return marker ? *marker : ControllerMarker::NoSelection;
}

double Value::doubleValue() const {
    switch (kind()) {
        case Kind::Number:
            return std::get<double>(data_);
        case Kind::Boolean:
            return std::get<bool>(data_) ? 1.0 : 0.0;
        case Kind::String:
            return doubleFromText(std::get<std::string>(data_));
        case Kind::None:
        case Kind::Marker:
            break;
    }
    return 0.0;
}

float Value::floatValue() const {
    return static_cast<float>(doubleValue());
}

std::int32_t Value::intValue() const {
    return truncateToInt32(doubleValue());
}

std::int64_t Value::int64Value() const {
    return truncateToInt64(doubleValue());
}

bool Value::boolValue() const {
    switch (kind()) {
        case Kind::Number:
            return std::get<double>(data_) != 0.0;
        case Kind::Boolean:
            return std::get<bool>(data_);
        case Kind::String: {
            const std::string& text = std::get<std::string>(data_);
            std::size_t i = text.find_first_not_of(" \t\n\r\f\v");
            if (i == std::string::npos) {
                return false;
            }
            if (text[i] == '+' || text[i] == '-') {
                ++i;
            }
            while (i < text.size() && text[i] == '0') {
                ++i;
            }
            if (i == text.size()) {
                return false;
            }
            const char c = text[i];
            return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
        }
        case Kind::None:
        case Kind::Marker:
            break;
    }
    return false;
}

std::string Value::stringValue() const {
    switch (kind()) {
        case Kind::Number:
            return shortestFormat(std::get<double>(data_));
        case Kind::Boolean:
            return std::get<bool>(data_) ? "1" : "0";
        case Kind::String:
            return std::get<std::string>(data_);
        case Kind::None:
        case Kind::Marker:
            break;
    }
    return {};
}

bool isControllerMarker(const Value& value) {
    return value.isMarker();
}

std::ostream& operator<<(std::ostream& out, const Value& value) {
    switch (value.kind()) {
        case Value::Kind::None:
            return out << "none";
        case Value::Kind::Number:
            return out << "number " << value.stringValue();
        case Value::Kind::Boolean:
            return out << (value.boolValue() ? "true" : "false");
        case Value::Kind::String:
            return out << '"' << value.stringValue() << '"';
        case Value::Kind::Marker:
            switch (value.marker()) {
                case ControllerMarker::NoSelection:
                    return out << "<no selection>";
                case ControllerMarker::MultipleValues:
                    return out << "<multiple values>";
                case ControllerMarker::NotApplicable:
                    return out << "<not applicable>";
            }
    }
    return out;
}

}  // namespace drivetherm
