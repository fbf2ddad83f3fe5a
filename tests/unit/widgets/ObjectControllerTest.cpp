// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "bindings/KeyValueBinding.h"
#include "bindings/ObjectController.h"
#include "bindings/TransformerRegistry.h"
#include "bindings/ValueTransformer.h"
#include "tests/unit/widgets/KeyValueFixtures.h"

namespace drivetherm {
namespace {

using kvtest::Notice;
using kvtest::Recorder;
using kvtest::Settings;

TEST(ObjectController, AnswersTheContentsKeysOrAPlaceholder) {
    Settings settings;
    ObjectController controller;
    EXPECT_EQ(controller.valueForKeyPath("selection.baseRpm"), Value(ControllerMarker::NoSelection));
    EXPECT_EQ(controller.valueForKeyPath("content.baseRpm"), Value());
    controller.setContent(&settings);
    EXPECT_EQ(controller.valueForKeyPath("selection.baseRpm"), Value(1100));
    EXPECT_EQ(controller.valueForKeyPath("content.baseRpm"), Value(1100));
    EXPECT_EQ(controller.valueForKeyPath("selection.noSuchKey"),
              Value(ControllerMarker::NotApplicable));
}

TEST(ObjectController, WritesThroughToTheContentAndTheWriterHearsItsOwnWrite) {
    Settings settings;
    ObjectController controller(&settings);
    Recorder recorder;
    controller.addObserver(recorder, "selection.lowerThreshold", 3);
    controller.setValueForKeyPath(52.5, "selection.lowerThreshold");
    EXPECT_EQ(settings.lower, 52.5f);
    EXPECT_EQ(recorder.notices(),
              (std::vector<Notice>{{"selection.lowerThreshold", &controller, 3}}));

    // No content: nothing to write to, and nothing happens.
    controller.setContent(nullptr);
    controller.setValueForKeyPath(60.0, "selection.lowerThreshold");
    EXPECT_EQ(settings.lower, 52.5f);
}

TEST(ObjectController, PassesChangesOfTheContentToObserversOfBothPaths) {
    Settings settings;
    ObjectController controller(&settings);
    std::vector<Notice> log;
    Recorder selection(&log);
    Recorder content(&log);
    Recorder unrelated(&log);
    controller.addObserver(selection, "selection.baseRpm", 1);
    controller.addObserver(content, "content.baseRpm", 2);
    controller.addObserver(unrelated, "selection.fahrenheit", 3);
    settings.setValueForKey(1300, "baseRpm");
    EXPECT_EQ(log, (std::vector<Notice>{{"selection.baseRpm", &controller, 1},
                                        {"content.baseRpm", &controller, 2}}));
}

TEST(ObjectController, SettingTheContentToNoneAndBackMakesEveryBoundControlReadAgain) {
    Settings settings;
    ObjectController controller(&settings);
    std::vector<Value> seen;
    Recorder rpm;
    Recorder unit;
    rpm.onNotice = [&] { seen.push_back(controller.valueForKeyPath("selection.baseRpm")); };
    unit.onNotice = [&] { seen.push_back(controller.valueForKeyPath("selection.fahrenheit")); };
    controller.addObserver(rpm, "selection.baseRpm", 0);
    controller.addObserver(unit, "selection.fahrenheit", 0);
    controller.setContent(nullptr);
    controller.setContent(&settings);
    const std::vector<Value> expected = {ControllerMarker::NoSelection,
                                         ControllerMarker::NoSelection, Value(1100), Value(false)};
    EXPECT_EQ(seen, expected);
}

TEST(ObjectController, FollowsOnlyItsCurrentContent) {
    Settings first;
    Settings second;
    ObjectController controller(&first);
    Recorder recorder;
    controller.addObserver(recorder, "selection.baseRpm", 0);
    controller.setContent(&second);
    const std::size_t afterSwitch = recorder.notices().size();
    first.setValueForKey(1, "baseRpm");
    EXPECT_EQ(recorder.notices().size(), afterSwitch);
    second.setValueForKey(2, "baseRpm");
    EXPECT_EQ(recorder.notices().size(), afterSwitch + 1);
    EXPECT_EQ(controller.valueForKeyPath("selection.baseRpm"), Value(2));
}

TEST(ObjectController, SurvivesItsContentAndItsContentSurvivesIt) {
    Recorder recorder;
    {
        auto settings = std::make_unique<Settings>();
        ObjectController controller(settings.get());
        controller.addObserver(recorder, "selection.baseRpm", 0);
        settings.reset();
        EXPECT_EQ(controller.content(), nullptr);
        EXPECT_EQ(controller.valueForKeyPath("selection.baseRpm"),
                  Value(ControllerMarker::NoSelection));
    }
    Settings settings;
    {
        ObjectController controller(&settings);
        controller.addObserver(recorder, "selection.baseRpm", 0);
    }
    settings.setValueForKey(5, "baseRpm");  // the controller is gone and must not be called
    EXPECT_TRUE(recorder.notices().empty());
}

// Turns a speed in rpm into "1100 rpm" and back.
class RpmText : public ValueTransformer {
public:
    explicit RpmText(bool reversible) : reversible_(reversible) {}
    Value transformedValue(const Value& v) const override {
        return std::to_string(v.intValue()) + " rpm";
    }
    Value::Kind transformedValueClass() const override { return Value::Kind::String; }
    bool allowsReverseTransformation() const override { return reversible_; }
    Value reverseTransformedValue(const Value& v) const override { return v.doubleValue(); }

private:
    bool reversible_;
};

TEST(KeyValueBinding, HandsTheValueOverAtOnceAndAfterEveryChange) {
    Settings settings;
    ObjectController controller(&settings);
    std::vector<Value> shown;
    KeyValueBinding binding(controller, "selection.fahrenheit",
                            [&](const Value& v) { shown.push_back(v); });
    settings.setValueForKey(true, "fahrenheit");
    controller.setContent(nullptr);
    const std::vector<Value> expected = {Value(false), Value(true),
                                         Value(ControllerMarker::NoSelection)};
    EXPECT_EQ(shown, expected);
}

TEST(KeyValueBinding, ShowsAndWritesThroughANamedTransformer) {
    TransformerRegistry::setValueTransformer(std::make_shared<RpmText>(true), "RpmText");
    TransformerRegistry::setValueTransformer(std::make_shared<RpmText>(false), "RpmLabel");
    Settings settings;
    ObjectController controller(&settings);
    Value field;
    Value label;
    KeyValueBinding edit(controller, "selection.baseRpm", [&](const Value& v) { field = v; },
                         BindingOptions{"RpmText"});
    KeyValueBinding display(controller, "selection.baseRpm", [&](const Value& v) { label = v; },
                            BindingOptions{"RpmLabel"});
    EXPECT_EQ(field, Value("1100 rpm"));

    edit.write("1500");
    EXPECT_EQ(settings.baseRpm, 1500);
    EXPECT_EQ(label, Value("1500 rpm"));

    display.write("2000");  // a display-only transformer cannot be written through
    EXPECT_EQ(settings.baseRpm, 1500);

    // Placeholders reach the control as they are.
    controller.setContent(nullptr);
    EXPECT_EQ(label, Value(ControllerMarker::NoSelection));
    TransformerRegistry::setValueTransformer(nullptr, "RpmText");
    TransformerRegistry::setValueTransformer(nullptr, "RpmLabel");
}

TEST(KeyValueBinding, StopsWhenDestroyedAndDoesNothingOnceItsObjectIsGone) {
    auto settings = std::make_unique<Settings>();
    int calls = 0;
    {
        KeyValueBinding binding(*settings, "baseRpm", [&](const Value&) { ++calls; });
    }
    settings->setValueForKey(1, "baseRpm");
    EXPECT_EQ(calls, 1);  // only the hand-over when it was made

    KeyValueBinding orphan(*settings, "baseRpm", [&](const Value&) { ++calls; });
    settings.reset();
    EXPECT_EQ(orphan.value(), Value());
    orphan.write(5);
    orphan.refresh();
    EXPECT_EQ(calls, 3);
}

}  // namespace
}  // namespace drivetherm
