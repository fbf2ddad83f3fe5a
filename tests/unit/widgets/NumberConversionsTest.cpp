// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "bindings/NumberConversions.h"
#include "bindings/Value.h"

namespace drivetherm {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(NumberConversions, TruncationSaturatesInsteadOfOverflowing) {
    struct Case {
        double in;
        std::int32_t out32;
        std::int64_t out64;
    };
    const Case cases[] = {
        {59.9, 59, 59},
        {-0.5, 0, 0},
        {-59.9, -59, -59},
        {kNaN, 0, 0},
        {kInf, INT32_MAX, INT64_MAX},
        {-kInf, INT32_MIN, INT64_MIN},
        {2147483647.9, INT32_MAX, 2147483647},
        {2147483648.0, INT32_MAX, 2147483648},
        {-2147483648.9, INT32_MIN, -2147483648},
        {9.3e18, INT32_MAX, INT64_MAX},
        {-9.3e18, INT32_MIN, INT64_MIN},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(truncateToInt32(c.in), c.out32) << c.in;
        EXPECT_EQ(truncateToInt64(c.in), c.out64) << c.in;
    }
}

TEST(NumberConversions, ReadsTheNumberATextStartsWith) {
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"42", 42},       {"  -3.5 °C", -3.5}, {"+7e2x", 700}, {"5e", 5},      {".5", 0.5},
        {"7.", 7},        {"abc", 0},          {"", 0},        {"-", 0},       {"1e400", kInf},
        {"-1e400", -kInf}, {"1e-400", 0},      {"0x10", 0},    {"inf", 0},     {"nan", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(doubleFromText(c.text), c.value) << c.text;
    }
}

TEST(NumberConversions, FormatsLikePrintfWhateverTheLocale) {
    // A user locale with a decimal comma must not change the texts.
    const char* previous = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    EXPECT_EQ(gFormat(55.0), "55");
    EXPECT_EQ(gFormat(37.5), "37.5");
    EXPECT_EQ(gFormat(1234567.0), "1.23457e+06");
    EXPECT_EQ(gFormat(0.0001), "0.0001");
    EXPECT_EQ(gFormat(0.00001), "1e-05");
    EXPECT_EQ(wholeNumberFormat(44.5), "44");
    EXPECT_EQ(wholeNumberFormat(45.5), "46");
    EXPECT_EQ(wholeNumberFormat(-0.3), "-0");
    EXPECT_EQ(shortestFormat(58.0), "58");
    EXPECT_EQ(shortestFormat(50.7), "50.7");
    if (previous != nullptr) {
        std::setlocale(LC_NUMERIC, "C");
    }
}

TEST(Value, ConvertsBetweenKindsTheWayBoundControlsRead) {
    EXPECT_EQ(Value().doubleValue(), 0.0);
    EXPECT_EQ(Value(ControllerMarker::NoSelection).doubleValue(), 0.0);
    EXPECT_EQ(Value(true).doubleValue(), 1.0);
    EXPECT_EQ(Value("12.5 rpm").doubleValue(), 12.5);
    EXPECT_EQ(Value(0.1).floatValue(), 0.1f);
    EXPECT_EQ(Value(-7.9).intValue(), -7);
    EXPECT_EQ(Value(kNaN).intValue(), 0);
    EXPECT_EQ(Value(1e300).int64Value(), INT64_MAX);
    EXPECT_EQ(Value(58.0).stringValue(), "58");
    EXPECT_EQ(Value(false).stringValue(), "0");
    EXPECT_EQ(Value().stringValue(), "");
}

TEST(Value, ReadsFlagsFromTextsByTheirFirstSignificantCharacter) {
    struct Case {
        const char* text;
        bool flag;
    };
    const Case cases[] = {{"YES", true}, {"true", true}, {" 1", true}, {"007", true},
                          {"-3", true},  {"no", false},  {"0", false}, {"000", false},
                          {"", false},   {"  ", false},  {"F", false}};
    for (const Case& c : cases) {
        EXPECT_EQ(Value(c.text).boolValue(), c.flag) << c.text;
    }
    EXPECT_TRUE(Value(0.5).boolValue());
    EXPECT_FALSE(Value(0.0).boolValue());
}

TEST(Value, TellsPlaceholdersFromRealValues) {
    for (const auto marker : {ControllerMarker::NoSelection, ControllerMarker::MultipleValues,
                              ControllerMarker::NotApplicable}) {
        const Value v(marker);
        EXPECT_TRUE(isControllerMarker(v));
        EXPECT_EQ(v.marker(), marker);
    }
    for (const Value& v : {Value(), Value(0.0), Value(false), Value("")}) {
        EXPECT_FALSE(isControllerMarker(v)) << v;
    }
    EXPECT_NE(Value(1.0), Value(true));
    EXPECT_NE(Value("1"), Value(1.0));
    EXPECT_EQ(Value(3), Value(3.0));
}

}  // namespace
}  // namespace drivetherm
