// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/RegistryValue.h"

#include <utility>

namespace drivetherm {

RegistryValue::RegistryValue(std::string text) : value_(std::move(text)) {}

RegistryValue::RegistryValue(const char* text) : value_(std::string(text ? text : "")) {}

RegistryValue::RegistryValue(bool flag) : value_(flag) {}

RegistryValue::RegistryValue(Dictionary dictionary)
    : value_(std::make_shared<const Dictionary>(std::move(dictionary))) {}

const std::string* RegistryValue::string() const {
    return std::get_if<std::string>(&value_);
}

std::optional<bool> RegistryValue::boolean() const {
    if (const bool* flag = std::get_if<bool>(&value_)) return *flag;
    return std::nullopt;
}

std::optional<std::int64_t> RegistryValue::number() const {
    if (const std::int64_t* number = std::get_if<std::int64_t>(&value_)) return *number;
    return std::nullopt;
}

const RegistryValue::Dictionary* RegistryValue::dictionary() const {
    if (const DictionaryPtr* dictionary = std::get_if<DictionaryPtr>(&value_))
        return dictionary->get();
    return nullptr;
}

bool operator==(const RegistryValue& a, const RegistryValue& b) {
    if (a.value_.index() != b.value_.index()) return false;
    if (const auto* left = a.dictionary()) return *left == *b.dictionary();
    return a.value_ == b.value_;
}

}  // namespace drivetherm
