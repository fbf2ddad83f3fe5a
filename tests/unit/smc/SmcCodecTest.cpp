// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "hardware/smc/SmcCodec.h"

namespace drivetherm {
namespace {

TEST(SmcCodec, PackAndUnpackAreInverseForKeysAndTypes) {
    EXPECT_EQ(packSmcCode("F1Mn"), 0x46314D6Eu);
    for (const char* text : {"F1Mn", "TC0P", "ui8 ", "FS! ", "#KEY", "{fds"}) {
        char back[5];
        unpackSmcCode(packSmcCode(text), back);
        EXPECT_STREQ(back, text);
    }
}

TEST(SmcCodec, ZeroByteInACodeEndsTheTextAndShortTextsPadWithZeros) {
    char text[5];
    unpackSmcCode(0x75690038u, text);
    EXPECT_STREQ(text, "ui");
    EXPECT_EQ(packSmcCode("ab"), 0x61620000u);
    EXPECT_EQ(packSmcCode(""), 0u);
}

struct UnsignedCase {
    std::vector<std::uint8_t> bytes;
    int size;
    std::uint32_t expected;
};

TEST(SmcCodec, UnsignedIsBigEndianOverTheGivenSize) {
    const UnsignedCase cases[] = {
        {{0x00, 0x00, 0x02, 0x1C}, 4, 540},
        {{0x03}, 1, 3},
        {{0x12, 0x34}, 2, 0x1234},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 4, 0xFFFFFFFFu},
        {{0x05}, 0, 0},
        {{0x05}, -3, 0},
        // Longer than four bytes: the low 32 bits, with no undefined shift.
        {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, 6, 0x03040506u},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decodeSmcUnsigned(c.bytes.data(), c.size), c.expected) << "size " << c.size;
    }
}

struct Sp78Case {
    std::uint8_t b0, b1;
    double celsius;
};

TEST(SmcCodec, Sp78KeepsSixtyFourthsAndDropsTheTwoLowestBits) {
    const Sp78Case cases[] = {
        {0x2D, 0x80, 45.5},   {0x28, 0xC0, 40.75},    {0x2D, 0x03, 45.0},
        {0x80, 0x00, -128.0}, {0x00, 0x00, 0.0},      {0xFF, 0x00, -1.0},
        {0xF9, 0x00, -7.0},   {0x00, 0x04, 0.015625}, {0xFF, 0xFF, -0.015625},
    };
    for (const auto& c : cases) {
        const std::uint8_t bytes[2] = {c.b0, c.b1};
        EXPECT_DOUBLE_EQ(decodeSp78(bytes), c.celsius) << std::hex << int(c.b0) << " " << int(c.b1);
    }
}

TEST(SmcCodec, Sp78EncodingRoundTripsAndSaturates) {
    for (const double celsius : {45.5, -7.0, 0.0, 24.0, 51.25, -128.0}) {
        std::uint8_t bytes[2];
        encodeSp78(celsius, bytes);
        EXPECT_DOUBLE_EQ(decodeSp78(bytes), celsius);
    }
    std::uint8_t bytes[2];
    encodeSp78(500.0, bytes);
    EXPECT_EQ(bytes[0], 0x7F);
    encodeSp78(-500.0, bytes);
    EXPECT_EQ(bytes[0], 0x80);
}

struct Fpe2Case {
    std::uint8_t b0, b1;
    int size;
    float rpm;
};

TEST(SmcCodec, Fpe2DropsTheFractionBitsAndReadsTheFirstByteUnsigned) {
    const Fpe2Case cases[] = {
        {0x1F, 0x40, 2, 2000.0f}, {0x1F, 0x43, 2, 2000.0f},  {0x00, 0x00, 2, 0.0f},
        {0x5D, 0xC0, 2, 6000.0f}, {0xFF, 0xFC, 2, 16383.0f}, {0x80, 0x00, 2, 8192.0f},
        {0x1F, 0x40, 0, 0.0f},    {0x1F, 0x40, 1, 1984.0f},
    };
    for (const auto& c : cases) {
        const std::uint8_t bytes[2] = {c.b0, c.b1};
        EXPECT_EQ(decodeFpe2(bytes, c.size), c.rpm) << std::hex << int(c.b0) << " " << int(c.b1);
    }
}

struct EncodeCase {
    int rpm;
    std::uint8_t b0, b1;
};

TEST(SmcCodec, Fpe2EncodingIsFourTimesTheSpeedBigEndian) {
    const EncodeCase cases[] = {
        {1100, 0x11, 0x30},
        {2000, 0x1F, 0x40},
        {6000, 0x5D, 0xC0},
        {16383, 0xFF, 0xFC},
        {0, 0x00, 0x00},
        // Outside 0..16383 the encoding wraps, as 32-bit arithmetic on rpm × 4 does.
        {16384, 0x00, 0x00},
        {-1, 0x00, 0xFC},
        {INT_MAX, 0x00, 0xFC},
    };
    for (const auto& c : cases) {
        std::uint8_t bytes[2];
        encodeFpe2(c.rpm, bytes);
        EXPECT_EQ(bytes[0], c.b0) << c.rpm;
        EXPECT_EQ(bytes[1], c.b1) << c.rpm;
    }
}

TEST(SmcCodec, HexBytesAcceptOnlyWholeBytesOfHexDigits) {
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(parseSmcHexBytes("1f40", bytes));
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x1F, 0x40}));
    ASSERT_TRUE(parseSmcHexBytes("ABcd", bytes));
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xAB, 0xCD}));
    for (const char* bad : {"1f4", "zz", "1g", "0x1f", "1f 40"}) {
        EXPECT_FALSE(parseSmcHexBytes(bad, bytes)) << bad;
    }
    EXPECT_FALSE(parseSmcHexBytes(std::string(66, '0'), bytes));
}

}  // namespace
}  // namespace drivetherm
