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

TEST(ObjectController, ReadsAndWritesTheContentOrAnswersAPlaceholder) {
    Settings settings;
    ObjectController controller;
    EXPECT_EQ(controller.valueForKeyPath("selection.baseRpm"),
              Value(ControllerMarker::NoSelection));
    EXPECT_EQ(controller.valueForKeyPath("content.baseRpm"), Value());
    controller.setValueForKeyPath(60.0, "selection.lowerThreshold");  // nowhere to write: nothing
    EXPECT_EQ(settings.lower, 50);

    controller.setContent(&settings);
    EXPECT_EQ(controller.valueForKeyPath("content.baseRpm"), Value(1100));
    EXPECT_EQ(controller.valueForKeyPath("selection.noSuchKey"),
              Value(ControllerMarker::NotApplicable));
    Recorder writer;
    controller.addObserver(writer, "selection.lowerThreshold", 3);
    controller.setValueForKeyPath(52.5, "selection.lowerThreshold");
    EXPECT_EQ(settings.lower, 52.5f);
    // The writer hears of its own write like of any other change.
    EXPECT_EQ(writer.notices(),
              (std::vector<Notice>{{"selection.lowerThreshold", &controller, 3}}));
}

TEST(ObjectController, PassesChangesOfItsCurrentContentToObserversOfBothPaths) {
    Settings first;
    Settings second;
    ObjectController controller(&first);
    std::vector<Notice> log;
    Recorder selection(&log);
    Recorder content(&log);
    Recorder unrelated(&log);
    controller.addObserver(selection, "selection.baseRpm", 1);
    controller.addObserver(content, "content.baseRpm", 2);
    controller.addObserver(unrelated, "selection.fahrenheit", 3);
    first.setValueForKey(1300, "baseRpm");
    EXPECT_EQ(log, (std::vector<Notice>{{"selection.baseRpm", &controller, 1},
                                        {"content.baseRpm", &controller, 2}}));
    controller.setContent(&second);
    log.clear();
    first.setValueForKey(1, "baseRpm");
    EXPECT_TRUE(log.empty()) << "the old content is no longer followed";
    second.setValueForKey(2, "baseRpm");
    EXPECT_EQ(log.size(), 2u);
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

TEST(ObjectController, SurvivesItsContentAndItsContentSurvivesIt) {
    Recorder recorder;
    Settings settings;
    {
        auto doomed = std::make_unique<Settings>();
        ObjectController controller(doomed.get());
        controller.addObserver(recorder, "selection.baseRpm", 0);
        doomed.reset();
        EXPECT_EQ(controller.valueForKeyPath("selection.baseRpm"),
                  Value(ControllerMarker::NoSelection));
        controller.setContent(&settings);
    }
    settings.setValueForKey(5, "baseRpm");     // the controller is gone and must not be called
    EXPECT_EQ(recorder.notices().size(), 1u);  // only the content change above
}

// Shows a speed as "1100 rpm" and reads it back.
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

TEST(KeyValueBinding, ShowsAndWritesThroughANamedTransformer) {
    TransformerRegistry::setValueTransformer(std::make_shared<RpmText>(true), "RpmText");
    TransformerRegistry::setValueTransformer(std::make_shared<RpmText>(false), "RpmLabel");
    Settings settings;
    ObjectController controller(&settings);
    std::vector<Value> labels;
    KeyValueBinding edit(controller, "selection.baseRpm", nullptr, BindingOptions{"RpmText"});
    KeyValueBinding display(
        controller, "selection.baseRpm", [&](const Value& v) { labels.push_back(v); },
        BindingOptions{"RpmLabel"});
    edit.write("1500");
    EXPECT_EQ(settings.baseRpm, 1500);
    display.write("2000");  // a display-only transformer cannot be written through
    EXPECT_EQ(settings.baseRpm, 1500);
    controller.setContent(nullptr);  // placeholders reach the control as they are
    const std::vector<Value> expected = {Value("1100 rpm"), Value("1500 rpm"),
                                         Value(ControllerMarker::NoSelection)};
    EXPECT_EQ(labels, expected);
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
}

}  // namespace
}  // namespace drivetherm
