// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <map>
#include <string>
#include <variant>

#include "slider/Coder.h"

namespace drivetherm {

// A keyed coder in memory: each value under its name.
class KeyedArchive : public Coder {
public:
    bool allowsKeyedCoding() const override { return true; }

    void encodeDoubleForKey(double value, const std::string& key) override;
    void encodeBoolForKey(bool value, const std::string& key) override;
    bool containsValueForKey(const std::string& key) const override;
    // A key written with the other type reads as 0 / false, like a missing one.
    double decodeDoubleForKey(const std::string& key) const override;
    bool decodeBoolForKey(const std::string& key) const override;

    void removeValueForKey(const std::string& key) { values_.erase(key); }
    std::size_t count() const { return values_.size(); }

private:
    std::map<std::string, std::variant<double, bool>> values_;
};

}  // namespace drivetherm
