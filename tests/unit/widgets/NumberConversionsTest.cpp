// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <limits>

#include "bindings/NumberConversions.h"
#include "bindings/Value.h"

namespace drivetherm {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(NumberConversions, TruncationSaturatesInsteadOfOverflowing) {
    const std::tuple<double, std::int32_t, std::int64_t> cases[] = {
        {59.9, 59, 59},
        {-0.5, 0, 0},
        {kNaN, 0, 0},
        {kInf, INT32_MAX, INT64_MAX},
        {-kInf, INT32_MIN, INT64_MIN},
        {2147483648.0, INT32_MAX, 2147483648},
        {-2147483648.9, INT32_MIN, -2147483648},
        {9.3e18, INT32_MAX, INT64_MAX}};
    for (const auto& [in, out32, out64] : cases) {
        EXPECT_EQ(truncateToInt32(in), out32) << in;
        EXPECT_EQ(truncateToInt64(in), out64) << in;
    }
}

TEST(NumberConversions, ReadsTheNumberATextStartsWith) {
    const std::pair<const char*, double> cases[] = {
        {"42", 42}, {"  -3.5 C", -3.5}, {"+7e2x", 700},  {"5e", 5},     {".5", 0.5}, {"abc", 0},
        {"", 0},    {"-", 0},           {"1e400", kInf}, {"1e-400", 0}, {"0x10", 0}, {"inf", 0},
        {"nan", 0}};
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(doubleFromText(text), value) << text;
    }
}

TEST(NumberConversions, FormatsLikePrintfInTheCLocale) {
    EXPECT_EQ(gFormat(37.5), "37.5");
    EXPECT_EQ(gFormat(1234567.0), "1.23457e+06");
    EXPECT_EQ(gFormat(0.00001), "1e-05");
    EXPECT_EQ(shortestFormat(50.7), "50.7");
}

TEST(Value, ConvertsBetweenKindsTheWayBoundControlsRead) {
    EXPECT_EQ(Value(ControllerMarker::NoSelection).doubleValue(), 0.0);
    EXPECT_EQ(Value(true).doubleValue(), 1.0);
    EXPECT_EQ(Value("12.5 rpm").doubleValue(), 12.5);
    EXPECT_EQ(Value(-7.9).intValue(), -7);
    EXPECT_EQ(Value(1e300).int64Value(), INT64_MAX);
    EXPECT_EQ(Value(58.0).stringValue(), "58");
    for (const auto& [text, flag] : {std::pair{"YES", true},
                                     {" 007", true},
                                     {"-3", true},
                                     {"no", false},
                                     {"000", false},
                                     {"", false}}) {
        EXPECT_EQ(Value(text).boolValue(), flag) << text;
    }
    EXPECT_TRUE(isControllerMarker(ControllerMarker::NotApplicable));
    EXPECT_FALSE(isControllerMarker(Value()));
    EXPECT_NE(Value(1.0), Value(true));
}

}  // namespace
}  // namespace drivetherm
