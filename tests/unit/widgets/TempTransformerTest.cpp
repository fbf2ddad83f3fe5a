// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <limits>
#include <memory>

#include "bindings/TransformerRegistry.h"
#include "pane/TempTransformer.h"

namespace drivetherm {
namespace {

struct Reading {
    float celsius;
    const char* inCelsius;
    const char* inFahrenheit;
    friend void PrintTo(const Reading& r, std::ostream* out) { *out << r.celsius; }
};

class TempTransformerFigures : public ::testing::TestWithParam<Reading> {};

TEST_P(TempTransformerFigures, FormatsAWholeNumberTheDegreeSignAndTheUnit) {
    const Reading& r = GetParam();
    EXPECT_EQ(TempTransformer::format(r.celsius, false), r.inCelsius);
    EXPECT_EQ(TempTransformer::format(r.celsius, true), r.inFahrenheit);
}

// The degree sign is the two UTF-8 bytes C2 B0.
INSTANTIATE_TEST_SUITE_P(
    Readings, TempTransformerFigures,
    ::testing::Values(Reading{45.0f, "45 \xC2\xB0" "C", "113 \xC2\xB0" "F"},
                      Reading{0.0f, "0 \xC2\xB0" "C", "32 \xC2\xB0" "F"},
                      Reading{-40.0f, "-40 \xC2\xB0" "C", "-40 \xC2\xB0" "F"},
                      // Exact halves go to the even neighbour.
                      Reading{44.5f, "44 \xC2\xB0" "C", "112 \xC2\xB0" "F"},
                      Reading{45.5f, "46 \xC2\xB0" "C", "114 \xC2\xB0" "F"},
                      // 2.5 / 5 × 9 + 32 is exactly 36.5.
                      Reading{2.5f, "2 \xC2\xB0" "C", "36 \xC2\xB0" "F"},
                      Reading{-0.3f, "-0 \xC2\xB0" "C", "31 \xC2\xB0" "F"},
                      Reading{37.6f, "38 \xC2\xB0" "C", "100 \xC2\xB0" "F"},
                      Reading{99.9f, "100 \xC2\xB0" "C", "212 \xC2\xB0" "F"}));

TEST(TempTransformer, RoundsTheFahrenheitValueThroughSinglePrecisionBeforePrinting) {
    // 38.055557 °C is 100.5000031 °F in double precision, which would print as 101; rounded to
    // single precision it is exactly 100.5, which prints as the even 100. The other way round for
    // 101.4999992 °F.
    EXPECT_EQ(TempTransformer::format(38.05555725097656f, true), "100 \xC2\xB0" "F");
    EXPECT_EQ(TempTransformer::format(38.61111068725586f, true), "102 \xC2\xB0" "F");
}

TEST(TempTransformer, ReadsTheInputsNumberAndTreatsNoneAsZero) {
    TempTransformer transformer;
    EXPECT_FALSE(transformer.fahrenheit());
    EXPECT_EQ(transformer.transformedValue(Value()), Value("0 \xC2\xB0" "C"));
    EXPECT_EQ(transformer.transformedValue(Value(45.0)), Value("45 \xC2\xB0" "C"));
    EXPECT_EQ(transformer.transformedValue(Value("37.6")), Value("38 \xC2\xB0" "C"));
    transformer.setFahrenheit(true);
    EXPECT_EQ(transformer.transformedValue(Value()), Value("32 \xC2\xB0" "F"));
    EXPECT_EQ(transformer.transformedTemperature(45.0f), "113 \xC2\xB0" "F");
    EXPECT_EQ(transformer.transformedValueClass(), Value::Kind::String);
    EXPECT_FALSE(transformer.allowsReverseTransformation());
}

TEST(TempTransformer, EveryResultHoldsOneDegreeSignAndEndsInTheUnitLetter) {
    const float samples[] = {-273.15f, -1e9f, 1e9f, 0.49999997f, -0.5f, 1e-30f,
                             std::numeric_limits<float>::max()};
    for (const float celsius : samples) {
        for (const bool fahrenheit : {false, true}) {
            const std::string text = TempTransformer::format(celsius, fahrenheit);
            EXPECT_EQ(text.find("\xC2\xB0"), text.rfind("\xC2\xB0")) << text;
            EXPECT_NE(text.find(" \xC2\xB0"), std::string::npos) << text;
            EXPECT_EQ(text.back(), fahrenheit ? 'F' : 'C') << text;
        }
    }
}

TEST(TransformerRegistry, ALaterEntryUnderTheSameNameReplacesTheEarlierOne) {
    auto first = std::make_shared<TempTransformer>();
    auto second = std::make_shared<TempTransformer>();
    second->setFahrenheit(true);
    TransformerRegistry::setValueTransformer(first, "TempTransformer");
    EXPECT_EQ(TransformerRegistry::valueTransformerForName("TempTransformer"), first);
    TransformerRegistry::setValueTransformer(second, "TempTransformer");
    const auto found = TransformerRegistry::valueTransformerForName("TempTransformer");
    ASSERT_EQ(found, second);
    EXPECT_EQ(found->transformedValue(Value(45.0)), Value("113 \xC2\xB0" "F"));
    EXPECT_EQ(TransformerRegistry::valueTransformerForName("NoSuchTransformer"), nullptr);
    TransformerRegistry::setValueTransformer(nullptr, "TempTransformer");
    EXPECT_EQ(TransformerRegistry::valueTransformerForName("TempTransformer"), nullptr);
}

}  // namespace
}  // namespace drivetherm
