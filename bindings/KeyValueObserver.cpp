// SPDX-License-Identifier: GPL-2.0-or-later
#include "bindings/KeyValueObserver.h"

#include "bindings/KeyValueObject.h"

namespace drivetherm {

KeyValueObserver::~KeyValueObserver() {
    // Each entry is one registration; forgetObserver drops all of an object's at once.
    const std::vector<ObjectRef> observed = observed_;
    for (const ObjectRef& ref : observed) {
        if (KeyValueObject* object = ref.get()) {
            object->forgetObserver(*this);
        }
    }
}

}  // namespace drivetherm
