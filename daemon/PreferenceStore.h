// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace drivetherm {

// One stored value: an integer, a real, a boolean or a string.
using PreferenceValue = std::variant<std::int64_t, double, bool, std::string>;

// The daemon's preference domain for all users of this host. Values are changed in memory and
// reach the disk on synchronize(); a value that was never set reads as nothing.
class PreferenceStore {
public:
    virtual ~PreferenceStore() = default;

    virtual std::optional<PreferenceValue> copyValue(std::string_view key) = 0;
    virtual void setValue(std::string_view key, PreferenceValue value) = 0;
    virtual void removeValue(std::string_view key) = 0;
    // Makes the stored domain equal to the values in memory. False when that failed; the values
    // stay in memory and the next synchronize tries again.
    virtual bool synchronize() = 0;
    // Where the values live, for messages ("/var/lib/drivetherm/com.quillmoor.Drivetherm.plist").
    virtual std::string location() const = 0;
};

}  // namespace drivetherm
