// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

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
    EXPECT_EQ(SMDoubleSlider::bindingIndexToName(1), "objectHiValue");
    EXPECT_EQ(SMDoubleSlider::bindingIndexToName(-1), std::nullopt);
    EXPECT_EQ(SMDoubleSlider::bindingIndexToName(2), std::nullopt);
    const SMDoubleSlider slider;
    EXPECT_EQ(slider.valueClassForBinding("objectLoValue"), Value::Kind::Number);
    EXPECT_EQ(slider.valueClassForBinding("enabled"), std::nullopt);
}

TEST_F(SliderWindow, BindingTakesBothValuesOverAndFollowsLaterChanges) {
    bindBoth();  // the lo binding first, while the hi knob still sits at the minimum
    EXPECT_EQ(slider->doubleLoValue(), 50);
    EXPECT_EQ(slider->doubleHiValue(), 58);
    EXPECT_TRUE(slider->isEnabled());
    EXPECT_EQ(slider->infoForBinding("objectHiValue")->observedObject(), &controller);
    thresholds.setValueForKey(70, "upperThreshold");
    EXPECT_EQ(slider->doubleHiValue(), 70);
    thresholds.setValueForKey(90, "upperThreshold");
    EXPECT_EQ(slider->doubleHiValue(), 80);  // the cell's clamping
    EXPECT_TRUE(thresholds.lowerWrites.empty() && thresholds.upperWrites.size() == 2u);
}

TEST_F(SliderWindow, ARefreshOrANewContentMovesBothKnobsEitherWay) {
    bindBoth();
    controller.setContent(nullptr);
    EXPECT_FALSE(slider->isEnabled());
    EXPECT_EQ(slider->doubleLoValue(), 25);
    EXPECT_EQ(slider->doubleHiValue(), 25);
    Thresholds lower(30, 40);
    Thresholds higher(60, 75);
    for (Thresholds* content : {&thresholds, &lower, &higher, &lower}) {
        controller.setContent(content);
        EXPECT_TRUE(slider->isEnabled());
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
    slider->setNilValueForKey("objectLoValue");
    EXPECT_EQ(slider->doubleLoValue(), 25);
    slider->setNilValueForKey("enabled");
    EXPECT_TRUE(thresholds.lowerWrites.empty() && thresholds.upperWrites.empty());
}

TEST_F(SliderWindow, UnbindingOrRebindingOneKnobLeavesTheOtherBound) {
    Thresholds other(35, 45);
    bindBoth();
    slider->bind("objectLoValue", other, "lowerThreshold");
    EXPECT_EQ(slider->doubleLoValue(), 35);
    thresholds.setValueForKey(52, "lowerThreshold");  // no longer observed
    EXPECT_EQ(slider->doubleLoValue(), 35);
    slider->unbind("objectLoValue");
    other.setValueForKey(37, "lowerThreshold");
    EXPECT_EQ(slider->doubleLoValue(), 35);
    thresholds.setValueForKey(65, "upperThreshold");
    EXPECT_EQ(slider->doubleHiValue(), 65);
}

TEST_F(SliderWindow, TakingTheSliderOutOfItsWindowUnbindsBothForGood) {
    bindBoth();
    QWidget elsewhere;
    slider->setParent(&elsewhere);  // moving between parents keeps the bindings
    EXPECT_TRUE(slider->infoForBinding("objectHiValue").has_value());
    slider->setParent(nullptr);
    EXPECT_FALSE(slider->infoForBinding("objectLoValue").has_value());
    EXPECT_FALSE(slider->infoForBinding("objectHiValue").has_value());
    slider->setParent(window.get());
    thresholds.setValueForKey(70, "upperThreshold");
    EXPECT_EQ(slider->doubleHiValue(), 58);

    bindBoth();
    delete slider;
    slider = nullptr;
    thresholds.setValueForKey(71, "upperThreshold");  // ASan catches a call into the dead slider
}

TEST_F(SliderWindow, AContinuousDragWritesEveryMoveAndOnceMoreAtMouseUp) {
    bindBoth();
    drag(loKnob(), {pointFor(52), pointFor(55), pointFor(70)});
    // The lo knob stops at the hi knob, 58, and never pushes it.
    EXPECT_EQ(slider->doubleLoValue(), 58);
    EXPECT_EQ(thresholds.upper, 58);
    ASSERT_EQ(thresholds.lowerWrites.size(), 4u);
    EXPECT_NEAR(thresholds.lowerWrites[0], 52, 0.5);
    EXPECT_NEAR(thresholds.lowerWrites[1], 55, 0.5);
    EXPECT_EQ(thresholds.lowerWrites[2], 58);
    EXPECT_EQ(thresholds.lowerWrites[3], 58);
    EXPECT_TRUE(thresholds.upperWrites.empty());
}

TEST_F(SliderWindow, ASliderThatIsNotContinuousWritesOnlyAtMouseUp) {
    bindBoth();
    slider->setContinuous(false);
    drag(hiKnob(), {pointFor(62), pointFor(66), pointFor(71)});
    ASSERT_EQ(thresholds.upperWrites.size(), 1u);
    EXPECT_NEAR(thresholds.upperWrites[0], 71, 0.5);
    EXPECT_EQ(slider->doubleHiValue(), static_cast<double>(thresholds.upper));
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
    drag(hiKnob(), {pointFor(65)});  // at rest again: the next drag works as usual
    EXPECT_NEAR(thresholds.upper, 65, 0.5);
}

}  // namespace
}  // namespace drivetherm
