// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <limits>
#include <ostream>

#include "common/TemperatureText.h"

namespace drivetherm {
namespace {

#define DEG "\xC2\xB0"  // the degree sign in UTF-8

struct Reading {
    float celsius;
    const char* inCelsius;
    const char* inFahrenheit;
    friend void PrintTo(const Reading& r, std::ostream* out) { *out << r.celsius; }
};

class TemperatureTextFigures : public ::testing::TestWithParam<Reading> {};

TEST_P(TemperatureTextFigures, FormatsAWholeNumberTheDegreeSignAndTheUnit) {
    EXPECT_EQ(temperatureText(GetParam().celsius, false), GetParam().inCelsius);
    EXPECT_EQ(temperatureText(GetParam().celsius, true), GetParam().inFahrenheit);
}

INSTANTIATE_TEST_SUITE_P(
    Readings, TemperatureTextFigures,
    ::testing::Values(
        Reading{45.0f, "45 " DEG "C", "113 " DEG "F"}, Reading{0.0f, "0 " DEG "C", "32 " DEG "F"},
        Reading{-40.0f, "-40 " DEG "C", "-40 " DEG "F"},
        // Exact halves go to the even neighbour; 2.5 °C is exactly 36.5 °F.
        Reading{44.5f, "44 " DEG "C", "112 " DEG "F"},
        Reading{45.5f, "46 " DEG "C", "114 " DEG "F"}, Reading{2.5f, "2 " DEG "C", "36 " DEG "F"},
        Reading{-0.3f, "-0 " DEG "C", "31 " DEG "F"}, Reading{37.6f, "38 " DEG "C", "100 " DEG "F"},
        // 100.5000031 °F in double precision, exactly 100.5 in single precision.
        Reading{38.05555725097656f, "38 " DEG "C", "100 " DEG "F"},
        // 101.4999992 °F, 101.5 in single precision.
        Reading{38.61111068725586f, "39 " DEG "C", "102 " DEG "F"}));

TEST(TemperatureText, EveryResultHoldsOneDegreeSignAndEndsInTheUnitLetter) {
    for (const float celsius :
         {-273.15f, -1e9f, 1e9f, 0.49999997f, -0.5f, 1e-30f, std::numeric_limits<float>::max()}) {
        for (const bool fahrenheit : {false, true}) {
            const std::string text = temperatureText(celsius, fahrenheit);
            EXPECT_EQ(text.find(" " DEG), text.rfind(DEG) - 1) << text;
            EXPECT_EQ(text.back(), fahrenheit ? 'F' : 'C') << text;
        }
    }
}

}  // namespace
}  // namespace drivetherm
