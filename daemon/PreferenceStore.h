// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace drivetherm {

// A number whose text in the file is no number of its kind, or none that 64 bits hold
// (<integer>abc</integer>, <integer>18446744073709551615</integer>): kept as written, so that
// the reader names it instead of taking whatever a parser made of it.
struct UnreadableNumber {
    std::string element;  // "integer" or "real"
    std::string text;
    bool operator==(const UnreadableNumber&) const = default;
};

// One stored value: an integer, a real, a boolean, a string, or a number that cannot be read.
using PreferenceValue = std::variant<std::int64_t, double, bool, std::string, UnreadableNumber>;

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
    // As synchronize, but writes even when nothing seems to have changed: what the user asks for
    // when the settings are to be written out now.
    virtual bool rewrite() { return synchronize(); }
    // Where the values live, for messages ("/var/lib/drivetherm/com.quillmoor.Drivetherm.plist").
    virtual std::string location() const = 0;
};

}  // namespace drivetherm
