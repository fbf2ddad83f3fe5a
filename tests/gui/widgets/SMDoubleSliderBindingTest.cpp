// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/gui/widgets/SliderWindow.h"

namespace drivetherm {
namespace {

using slidergui::SliderWindow;
using slidergui::Thresholds;

TEST(SMDoubleSliderBindingTable, NamesItsTwoBindingsAndNothingElse) {
    EXPECT_EQ(SMDoubleSlider::bindingNameToIndex("objectLoValue"), 0);
    EXPECT_EQ(SMDoubleSlider::bindingNameToIndex("objectHiValue"), 1);
    for (const char* other : {"", "value", "objectlovalue", "objectLoValue "}) {
        EXPECT_EQ(SMDoubleSlider::bindingNameToIndex(other), -1) << '"' << other << '"';
    }
    EXPECT_EQ(SMDoubleSlider::bindingIndexToName(0), "objectLoValue");
    EXPECT_EQ(SMDoubleSlider::bindingIndexToName(1), "objectHiValue");
    EXPECT_EQ(SMDoubleSlider::bindingIndexToName(-1), std::nullopt);
    EXPECT_EQ(SMDoubleSlider::bindingIndexToName(2), std::nullopt);

    const SMDoubleSlider slider;
    EXPECT_EQ(slider.exposedBindings(), (std::vector<std::string>{"objectLoValue", "objectHiValue"}));
    EXPECT_EQ(slider.valueClassForBinding("objectLoValue"), Value::Kind::Number);
    EXPECT_EQ(slider.valueClassForBinding("objectHiValue"), Value::Kind::Number);
    EXPECT_EQ(slider.valueClassForBinding("enabled"), std::nullopt);
}

TEST_F(SliderWindow, BindingTakesBothBoundValuesOverAtOnce) {
    // The lo binding comes first, while the hi knob still sits at the minimum.
    bindBoth();
    EXPECT_EQ(slider->doubleLoValue(), 50);
    EXPECT_EQ(slider->doubleHiValue(), 58);
    EXPECT_TRUE(slider->isEnabled());
    const auto info = slider->infoForBinding("objectHiValue");
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->observedObject(), &controller);
    EXPECT_EQ(info->observedKeyPath(), "selection.upperThreshold");
    EXPECT_TRUE(thresholds.lowerWrites.empty()) << "binding must not write";
}

TEST_F(SliderWindow, AChangeOfTheBoundPropertyMovesItsKnobWithTheCellsClamping) {
    bindBoth();
    thresholds.setValueForKey(70, "upperThreshold");
    EXPECT_EQ(slider->doubleHiValue(), 70);
    thresholds.setValueForKey(90, "upperThreshold");
    EXPECT_EQ(slider->doubleHiValue(), 80);
    thresholds.setValueForKey(30, "lowerThreshold");
    EXPECT_EQ(slider->doubleLoValue(), 30);
}

TEST_F(SliderWindow, RefreshingTheControllerDisablesThenRestoresBothKnobs) {
    bindBoth();
    controller.setContent(nullptr);
    EXPECT_FALSE(slider->isEnabled());
    EXPECT_EQ(slider->doubleLoValue(), 25);
    EXPECT_EQ(slider->doubleHiValue(), 25);
    controller.setContent(&thresholds);
    EXPECT_TRUE(slider->isEnabled());
    EXPECT_EQ(slider->doubleLoValue(), 50);
    EXPECT_EQ(slider->doubleHiValue(), 58);
}

TEST_F(SliderWindow, SwappingTheContentMovesBothKnobsEitherWay) {
    bindBoth();
    Thresholds lower(30, 40);
    Thresholds higher(60, 75);
    for (Thresholds* content : {&lower, &higher, &lower}) {
        controller.setContent(content);
        EXPECT_EQ(slider->doubleLoValue(), content->lower);
        EXPECT_EQ(slider->doubleHiValue(), content->upper);
    }
}

TEST_F(SliderWindow, APlaceholderDisablesAndTheLastRealValueEnablesAgain) {
    bindBoth();
    slider->setObjectHiValue(ControllerMarker::NoSelection);
    EXPECT_FALSE(slider->isEnabled());
    EXPECT_EQ(slider->doubleHiValue(), 50);  // from 0.0, stopped at the lo knob
    slider->setObjectLoValue(40.0);
    EXPECT_TRUE(slider->isEnabled());
    slider->setObjectLoValue(Value());
    EXPECT_FALSE(slider->isEnabled());
    EXPECT_EQ(slider->doubleLoValue(), 25);
}

TEST_F(SliderWindow, UnbindingOneKnobLeavesTheOtherBound) {
    bindBoth();
    slider->unbind("objectLoValue");
    EXPECT_FALSE(slider->infoForBinding("objectLoValue").has_value());
    thresholds.setValueForKey(40, "lowerThreshold");
    EXPECT_EQ(slider->doubleLoValue(), 50);
    thresholds.setValueForKey(65, "upperThreshold");
    EXPECT_EQ(slider->doubleHiValue(), 65);
}

TEST_F(SliderWindow, BindingABoundNameAgainDropsTheFirstObservation) {
    Thresholds other(35, 45);
    bindBoth();
    slider->bind("objectLoValue", other, "lowerThreshold");
    EXPECT_EQ(slider->doubleLoValue(), 35);
    thresholds.setValueForKey(52, "lowerThreshold");
    EXPECT_EQ(slider->doubleLoValue(), 35);
    other.setValueForKey(37, "lowerThreshold");
    EXPECT_EQ(slider->doubleLoValue(), 37);
}

TEST_F(SliderWindow, TakingTheSliderOutOfItsWindowUnbindsBothForGood) {
    bindBoth();
    slider->setParent(nullptr);
    EXPECT_FALSE(slider->infoForBinding("objectLoValue").has_value());
    EXPECT_FALSE(slider->infoForBinding("objectHiValue").has_value());
    slider->setParent(window.get());
    EXPECT_FALSE(slider->infoForBinding("objectHiValue").has_value());
    thresholds.setValueForKey(70, "upperThreshold");
    EXPECT_EQ(slider->doubleHiValue(), 58);

    // Moving it from one parent to another keeps the bindings.
    bindBoth();
    QWidget elsewhere;
    slider->setParent(&elsewhere);
    EXPECT_TRUE(slider->infoForBinding("objectHiValue").has_value());
    slider->setParent(window.get());
}

TEST_F(SliderWindow, ADestroyedSliderIsNoLongerNotified) {
    bindBoth();
    delete slider;
    slider = nullptr;
    thresholds.setValueForKey(70, "upperThreshold");  // ASan catches a call into the dead slider
    controller.setContent(nullptr);
    EXPECT_EQ(thresholds.upper, 70);
}

TEST_F(SliderWindow, NoneForAKnobKeySetsThatKnobFromZero) {
    bindBoth();
    slider->setNilValueForKey("objectLoValue");
    EXPECT_EQ(slider->doubleLoValue(), 25);
    slider->setNilValueForKey("objectHiValue");
    EXPECT_EQ(slider->doubleHiValue(), 25);
    slider->setDoubleHiValue(60);
    slider->setNilValueForKey("enabled");
    EXPECT_EQ(slider->doubleHiValue(), 60);
    EXPECT_TRUE(thresholds.lowerWrites.empty() && thresholds.upperWrites.empty());
}

TEST_F(SliderWindow, AContinuousDragWritesEveryMoveAndOnceMoreAtMouseUp) {
    bindBoth();
    drag(loKnob(), {pointFor(52), pointFor(55), pointFor(70)});
    // The lo knob stops at the hi knob, 58, and never pushes it.
    EXPECT_EQ(slider->doubleLoValue(), 58);
    EXPECT_EQ(slider->doubleHiValue(), 58);
    EXPECT_EQ(thresholds.lower, 58);
    EXPECT_EQ(thresholds.upper, 58);
    ASSERT_EQ(thresholds.lowerWrites.size(), 4u);
    EXPECT_NEAR(thresholds.lowerWrites[0], 52, 0.5);
    EXPECT_NEAR(thresholds.lowerWrites[1], 55, 0.5);
    EXPECT_EQ(thresholds.lowerWrites[2], 58);
    EXPECT_EQ(thresholds.lowerWrites[3], 58);
    EXPECT_TRUE(thresholds.upperWrites.empty());
    EXPECT_TRUE(slider->trackingLoKnob());
}

TEST_F(SliderWindow, ASliderThatIsNotContinuousWritesOnlyAtMouseUp) {
    bindBoth();
    slider->setContinuous(false);
    drag(hiKnob(), {pointFor(62), pointFor(66), pointFor(71)});
    ASSERT_EQ(thresholds.upperWrites.size(), 1u);
    EXPECT_NEAR(thresholds.upperWrites[0], 71, 0.5);
    EXPECT_EQ(slider->doubleHiValue(), static_cast<double>(thresholds.upper));
    EXPECT_TRUE(thresholds.lowerWrites.empty());
}

TEST_F(SliderWindow, DraggingAnUnboundSliderWritesNothing) {
    slider->setDoubleHiValue(60);
    slider->setDoubleLoValue(40);
    drag(hiKnob(), {pointFor(20), pointFor(30)});
    EXPECT_EQ(slider->doubleHiValue(), 40);
    EXPECT_TRUE(thresholds.upperWrites.empty());
}

TEST_F(SliderWindow, ADragCutShortByAPlaceholderEndsCleanly) {
    bindBoth();
    QTest::mousePress(slider, Qt::LeftButton, {}, loKnob());
    QTest::mouseMove(slider, pointFor(45));
    controller.setContent(nullptr);  // disables the slider: no mouse release will come
    controller.setContent(&thresholds);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, pointFor(45));
    EXPECT_FALSE(slider->cell().isTracking());
    EXPECT_FALSE(slider->cell().isKnobPressed());
    EXPECT_EQ(slider->doubleHiValue(), 58);
    // The knobs are at rest again: a new drag of the hi knob works as usual.
    drag(hiKnob(), {pointFor(65)});
    EXPECT_NEAR(thresholds.upper, 65, 0.5);
}

}  // namespace
}  // namespace drivetherm
