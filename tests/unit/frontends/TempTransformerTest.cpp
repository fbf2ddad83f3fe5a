// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <memory>

#include "bindings/TransformerRegistry.h"
#include "frontends/TempTransformer.h"

namespace drivetherm {
namespace {

#define DEG "\xC2\xB0"  // the degree sign in UTF-8

TEST(TempTransformer, ReadsTheInputsNumberInTheChosenUnitAndNoneAsZero) {
    TempTransformer transformer;
    EXPECT_EQ(transformer.transformedValue(Value()), Value("0 " DEG "C"));
    EXPECT_EQ(transformer.transformedValue(Value("37.6")), Value("38 " DEG "C"));
    transformer.setFahrenheit(true);
    EXPECT_EQ(transformer.transformedValue(Value()), Value("32 " DEG "F"));
    EXPECT_EQ(transformer.transformedTemperature(45.0f), "113 " DEG "F");
    EXPECT_FALSE(transformer.allowsReverseTransformation());
}

TEST(TransformerRegistry, ALaterEntryUnderTheSameNameReplacesTheEarlierOne) {
    auto first = std::make_shared<TempTransformer>();
    auto second = std::make_shared<TempTransformer>();
    TransformerRegistry::setValueTransformer(first, "TempTransformer");
    TransformerRegistry::setValueTransformer(second, "TempTransformer");
    EXPECT_EQ(TransformerRegistry::valueTransformerForName("TempTransformer"), second);
    EXPECT_EQ(TransformerRegistry::valueTransformerForName("NoSuchTransformer"), nullptr);
    TransformerRegistry::setValueTransformer(nullptr, "TempTransformer");
    EXPECT_EQ(TransformerRegistry::valueTransformerForName("TempTransformer"), nullptr);
}

}  // namespace
}  // namespace drivetherm
