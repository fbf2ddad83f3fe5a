// SPDX-License-Identifier: GPL-2.0-or-later
#include "slider/SequentialArchive.h"

#include <bit>

namespace drivetherm {

void SequentialArchive::encodeDouble(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i) {
        bytes_.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    }
}

void SequentialArchive::encodeByte(std::int8_t value) {
    bytes_.push_back(static_cast<std::uint8_t>(value));
}

std::optional<double> SequentialArchive::decodeDouble() {
    if (remaining() < 8) {
        return std::nullopt;
    }
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) {
        bits |= std::uint64_t{bytes_[readPosition_ + i]} << (8 * i);
    }
    readPosition_ += 8;
    return std::bit_cast<double>(bits);
}

std::optional<std::int8_t> SequentialArchive::decodeByte() {
    if (remaining() < 1) {
        return std::nullopt;
    }
    return static_cast<std::int8_t>(bytes_[readPosition_++]);
}

}  // namespace drivetherm
