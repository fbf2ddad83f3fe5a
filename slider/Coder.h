// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace drivetherm {

// Where a cell writes its state to, and reads it back from: either keyed (each value under a name,
// missing names read as 0 / false) or sequential (values one after another, read back in the order
// written). A coder supports one of the two forms; asking a keyed coder for a sequential value, or
// the other way round, is a programming error (std::logic_error).
class Coder {
public:
    virtual ~Coder() = default;

    virtual bool allowsKeyedCoding() const = 0;

    // Keyed form.
    virtual void encodeDoubleForKey(double value, const std::string& key);
    virtual void encodeBoolForKey(bool value, const std::string& key);
    virtual bool containsValueForKey(const std::string& key) const;
    // 0.0 and false for a key that was never written.
    virtual double decodeDoubleForKey(const std::string& key) const;
    virtual bool decodeBoolForKey(const std::string& key) const;

    // Sequential form: a double (8 bytes) and a byte.
    virtual void encodeDouble(double value);
    virtual void encodeByte(std::int8_t value);
    // None when the archive has no more bytes for the value.
    virtual std::optional<double> decodeDouble();
    virtual std::optional<std::int8_t> decodeByte();
};

}  // namespace drivetherm
