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
    s.setValueForKey("2000", "baseRpm");
    EXPECT_EQ(s.valueForKey("baseRpm"), Value(2000));
    s.setValueForKey(3.9, "baseRpm");
    EXPECT_EQ(s.baseRpm, 3);
    s.setValueForKey(1.0, "fahrenheit");
    EXPECT_TRUE(s.fahrenheit);
    s.setValueForKeyPath("WDC WD5000AAKS", "HDDName");
    EXPECT_EQ(s.valueForKeyPath("HDDName"), Value("WDC WD5000AAKS"));
    s.setValueForKey(Value(), "HDDName");
    EXPECT_EQ(s.name, std::nullopt);
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
    EXPECT_EQ(log, (std::vector<Notice>{{"baseRpm", &s, 7}, {"baseRpm", &s, 8}}));

    // A change made outside the layer is announced by the owner.
    log.clear();
    s.didChangeValueForKey("fahrenheit");
    EXPECT_EQ(log, (std::vector<Notice>{{"fahrenheit", &s, 9}}));

    // Removing drops the most recent matching registration only.
    s.addObserver(first, "baseRpm", 10);
    s.removeObserver(first, "baseRpm");
    s.removeObserver(second, "baseRpm");
    log.clear();
    s.setValueForKey(1, "baseRpm");
    EXPECT_EQ(log, (std::vector<Notice>{{"baseRpm", &s, 7}}));
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
    s.setValueForKey(1, "baseRpm");  // ASan catches a call into the destroyed observer
    EXPECT_EQ(first.notices().size(), 1u);
}

TEST(KeyValueObject, ObserversAndObjectsMayBeDestroyedInEitherOrder) {
    Settings s;
    Recorder survivor;
    {
        Recorder forgetful;  // never removes itself
        s.addObserver(forgetful, "baseRpm", 0);
        s.addObserver(survivor, "baseRpm", 0);
    }
    s.setValueForKey(1, "baseRpm");
    EXPECT_EQ(survivor.notices().size(), 1u);

    Recorder outliving;
    ObjectRef ref;
    {
        Settings gone;
        ref = gone.weakRef();
        gone.addObserver(outliving, "baseRpm", 0);
    }
    EXPECT_EQ(ref.get(), nullptr);
}  // the outliving recorder must not reach into the destroyed settings

TEST(Bindable, RecordsReplacesAndDropsBindingsAndSeesTheirObjectGo) {
    Bindable control;
    Settings a;
    EXPECT_FALSE(control.infoForBinding("value").has_value());
    control.bind("value", a, "baseRpm");
    {
        Settings b;
        control.bind("value", b, "fahrenheit", BindingOptions{"TempTransformer"});
        const auto info = control.infoForBinding("value");
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(info->observedObject(), &b);
        EXPECT_EQ(info->observedKeyPath(), "fahrenheit");
        EXPECT_EQ(info->options().valueTransformerName, "TempTransformer");
    }
    EXPECT_EQ(control.infoForBinding("value")->observedObject(), nullptr);
    control.unbind("value");
    EXPECT_FALSE(control.infoForBinding("value").has_value());
}

}  // namespace
}  // namespace drivetherm
