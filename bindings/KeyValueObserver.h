// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bindings/ObjectRef.h"

namespace drivetherm {

class KeyValueObject;

// Something that wants to hear about later changes of a key path of a KeyValueObject
// (KeyValueObject::addObserver). Notices carry no values: the observer reads the value afresh.
// An observer that is destroyed while still registered takes itself off every object it observes,
// so a forgotten removeObserver can never leave a dangling observer behind.
class KeyValueObserver {
public:
    KeyValueObserver() = default;
    KeyValueObserver(const KeyValueObserver&) = delete;
    KeyValueObserver& operator=(const KeyValueObserver&) = delete;
    virtual ~KeyValueObserver();

    // keyPath changed on object. context is the one given to addObserver; it tells registrations of
    // one observer apart.
    virtual void observeValueForKeyPath(const std::string& keyPath, KeyValueObject& object,
                                        std::intptr_t context) = 0;

private:
    friend class KeyValueObject;
    // The objects this observer is registered with, one entry per registration.
    std::vector<ObjectRef> observed_;
};

}  // namespace drivetherm
