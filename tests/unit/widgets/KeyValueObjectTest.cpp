// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "bindings/Bindable.h"
#include "bindings/KeyValueError.h"
#include "tests/unit/widgets/KeyValueFixtures.h"

namespace drivetherm {
namespace {

using kvtest::Notice;
using kvtest::Recorder;
using kvtest::Settings;

TEST(KeyValueObject, ReadsAndWritesKeysByNameConvertingToTheirType) {
    Settings s;
    EXPECT_EQ(s.valueForKey("baseRpm"), Value(1100));
    s.setValueForKey("2000", "baseRpm");
    EXPECT_EQ(s.baseRpm, 2000);
    s.setValueForKey(3.9, "baseRpm");
    EXPECT_EQ(s.baseRpm, 3);
    s.setValueForKey(true, "lowerThreshold");
    EXPECT_EQ(s.lower, 1.0f);
    s.setValueForKey(1.0, "fahrenheit");
    EXPECT_TRUE(s.fahrenheit);
    s.setValueForKey("WDC WD5000AAKS", "HDDName");
    EXPECT_EQ(s.valueForKeyPath("HDDName"), Value("WDC WD5000AAKS"));
    s.setValueForKeyPath(Value(), "HDDName");
    EXPECT_EQ(s.valueForKey("HDDName"), Value());
    EXPECT_TRUE(s.hasKey("temperature"));
    EXPECT_TRUE(s.isReadOnlyKey("temperature"));
    EXPECT_FALSE(s.isReadOnlyKey("baseRpm"));
}

TEST(KeyValueObject, RefusesUnknownAndReadOnlyKeysAndNoneForANumberWithoutNotifying) {
    Settings s;
    Recorder recorder;
    for (const char* key : {"baseRpm", "temperature", "nope"}) {
        s.addObserver(recorder, key, 0);
    }
    EXPECT_THROW(s.valueForKey("nope"), KeyValueError);
    EXPECT_THROW(s.setValueForKey(1, "nope"), KeyValueError);
    EXPECT_THROW(s.setValueForKey(50, "temperature"), KeyValueError);
    EXPECT_THROW(s.setValueForKey(Value(), "baseRpm"), KeyValueError);
    EXPECT_THROW(s.setValueForKey(ControllerMarker::NoSelection, "baseRpm"), KeyValueError);
    EXPECT_EQ(s.baseRpm, 1100);
    EXPECT_TRUE(recorder.notices().empty());
}

TEST(KeyValueObject, NotifiesLaterChangesOnlyInRegistrationOrderWithEachContext) {
    Settings s;
    std::vector<Notice> log;
    Recorder first(&log);
    Recorder second(&log);
    s.addObserver(first, "baseRpm", 7);
    s.addObserver(second, "baseRpm", 8);
    s.addObserver(first, "fahrenheit", 9);
    EXPECT_TRUE(log.empty()) << "adding an observer must not notify it";

    s.setValueForKey(1500, "baseRpm");
    const std::vector<Notice> expected = {{"baseRpm", &s, 7}, {"baseRpm", &s, 8}};
    EXPECT_EQ(log, expected);

    // A change made outside the layer is announced by the owner.
    log.clear();
    s.fahrenheit = true;
    s.didChangeValueForKey("fahrenheit");
    EXPECT_EQ(log, (std::vector<Notice>{{"fahrenheit", &s, 9}}));
}

TEST(KeyValueObject, RemoveObserverDropsOnlyTheMostRecentMatchingRegistration) {
    Settings s;
    Recorder recorder;
    s.addObserver(recorder, "baseRpm", 0);
    s.addObserver(recorder, "baseRpm", 1);
    s.removeObserver(recorder, "baseRpm");
    s.setValueForKey(1, "baseRpm");
    EXPECT_EQ(recorder.notices(), (std::vector<Notice>{{"baseRpm", &s, 0}}));
    s.removeObserver(recorder, "baseRpm");
    s.removeObserver(recorder, "baseRpm");  // nothing left: no effect
    s.setValueForKey(2, "baseRpm");
    EXPECT_EQ(recorder.notices().size(), 1u);
}

TEST(KeyValueObject, AnObserverRemovedDuringANoticeIsNotCalledAfterwards) {
    Settings s;
    Recorder first;
    auto second = std::make_unique<Recorder>();
    first.onNotice = [&] {
        s.removeObserver(*second, "baseRpm");
        second.reset();
    };
    s.addObserver(first, "baseRpm", 0);
    s.addObserver(*second, "baseRpm", 0);
    s.setValueForKey(1, "baseRpm");  // ASan would catch a call into the destroyed observer
    EXPECT_EQ(first.notices().size(), 1u);
    EXPECT_EQ(second, nullptr);
}

TEST(KeyValueObject, ADestroyedObserverLeavesNoRegistrationBehind) {
    Settings s;
    Recorder survivor;
    {
        Recorder forgetful;
        s.addObserver(forgetful, "baseRpm", 0);
        s.addObserver(forgetful, "fahrenheit", 0);
        s.addObserver(survivor, "baseRpm", 0);
    }
    s.setValueForKey(1, "baseRpm");
    s.setValueForKey(true, "fahrenheit");
    EXPECT_EQ(survivor.notices().size(), 1u);
}

TEST(KeyValueObject, AnObserverMayOutliveTheObjectItObserves) {
    Recorder recorder;
    ObjectRef ref;
    {
        Settings s;
        ref = s.weakRef();
        s.addObserver(recorder, "baseRpm", 0);
        EXPECT_EQ(ref.get(), &s);
    }
    EXPECT_EQ(ref.get(), nullptr);
    EXPECT_FALSE(ref);
}  // the recorder's destructor must not reach into the destroyed settings

TEST(Bindable, RecordsReplacesAndDropsBindings) {
    Bindable control;
    Settings a;
    Settings b;
    EXPECT_FALSE(control.infoForBinding("value").has_value());
    control.bind("value", a, "baseRpm");
    ASSERT_TRUE(control.infoForBinding("value").has_value());
    EXPECT_EQ(control.infoForBinding("value")->observedObject(), &a);
    control.bind("value", b, "fahrenheit", BindingOptions{"TempTransformer"});
    const auto info = control.infoForBinding("value");
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->observedObject(), &b);
    EXPECT_EQ(info->observedKeyPath(), "fahrenheit");
    EXPECT_EQ(info->options().valueTransformerName, "TempTransformer");
    control.unbind("value");
    control.unbind("value");
    EXPECT_FALSE(control.infoForBinding("value").has_value());
    EXPECT_TRUE(control.exposedBindings().empty());
    EXPECT_FALSE(control.valueClassForBinding("value").has_value());
}

TEST(Bindable, ARecordWhoseObjectIsGoneAnswersNoObject) {
    Bindable control;
    {
        Settings s;
        control.bind("value", s, "baseRpm");
    }
    const auto info = control.infoForBinding("value");
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->observedObject(), nullptr);
    EXPECT_EQ(info->observedKeyPath(), "baseRpm");
}

}  // namespace
}  // namespace drivetherm
