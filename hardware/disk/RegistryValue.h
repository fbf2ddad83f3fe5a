// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <concepts>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace drivetherm {

// One property value of a device-registry entry: a string, a boolean, a number or a dictionary
// of further values. Values are immutable once made; copies share a dictionary's storage.
class RegistryValue {
public:
    using Dictionary = std::map<std::string, RegistryValue, std::less<>>;

    RegistryValue(std::string text);
    RegistryValue(const char* text);
    RegistryValue(bool flag);
    template <std::integral T>
    requires(!std::same_as<T, bool>) RegistryValue(T number)
        : value_(static_cast<std::int64_t>(number)) {}
    RegistryValue(Dictionary dictionary);

    // The value as that kind, or nothing (nullptr) when it is of another kind.
    const std::string* string() const;
    std::optional<bool> boolean() const;
    std::optional<std::int64_t> number() const;
    const Dictionary* dictionary() const;

    // Same kind and same contents; dictionaries compare member by member.
    friend bool operator==(const RegistryValue& a, const RegistryValue& b);

private:
    using DictionaryPtr = std::shared_ptr<const Dictionary>;
    std::variant<std::string, bool, std::int64_t, DictionaryPtr> value_;
};

}  // namespace drivetherm
