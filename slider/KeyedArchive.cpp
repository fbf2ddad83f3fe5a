// SPDX-License-Identifier: GPL-2.0-or-later
#include "slider/KeyedArchive.h"

namespace drivetherm {

void KeyedArchive::encodeDoubleForKey(double value, const std::string& key) {
    values_.insert_or_assign(key, value);
}

void KeyedArchive::encodeBoolForKey(bool value, const std::string& key) {
    values_.insert_or_assign(key, value);
}

bool KeyedArchive::containsValueForKey(const std::string& key) const {
    return values_.count(key) != 0;
}

double KeyedArchive::decodeDoubleForKey(const std::string& key) const {
    const auto it = values_.find(key);
    if (it == values_.end()) {
        return 0.0;
    }
    const double* value = std::get_if<double>(&it->second);
    return value ? *value : 0.0;
}

bool KeyedArchive::decodeBoolForKey(const std::string& key) const {
    const auto it = values_.find(key);
    if (it == values_.end()) {
        return false;
    }
    const bool* value = std::get_if<bool>(&it->second);
    return value ? *value : false;
}

}  // namespace drivetherm
