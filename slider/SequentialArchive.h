// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "slider/Coder.h"

namespace drivetherm {

// A sequential coder over a byte buffer: doubles as 8 bytes of IEEE 754 in little-endian order,
// bytes as themselves. Reading never runs past the end: a value that is not all there reads as
// none.
class SequentialArchive : public Coder {
public:
    SequentialArchive() = default;
    // An archive to read from.
    explicit SequentialArchive(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    bool allowsKeyedCoding() const override { return false; }

    void encodeDouble(double value) override;
    void encodeByte(std::int8_t value) override;
    std::optional<double> decodeDouble() override;
    std::optional<std::int8_t> decodeByte() override;

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    // How many bytes are still to be read.
    std::size_t remaining() const { return bytes_.size() - readPosition_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t readPosition_ = 0;
};

}  // namespace drivetherm
