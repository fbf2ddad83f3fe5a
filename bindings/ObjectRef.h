// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <memory>

namespace drivetherm {

class KeyValueObject;

// A weak reference to a KeyValueObject: get() answers nullptr once the object is destroyed. Binding
// records and controllers hold these, so a window whose parts are torn down in any order never
// reaches into an object that is gone.
class ObjectRef {
public:
    ObjectRef() = default;

    KeyValueObject* get() const { return token_.expired() ? nullptr : object_; }
    explicit operator bool() const { return get() != nullptr; }
    // Same object, whether or not it still exists.
    bool refersTo(const KeyValueObject* object) const { return object_ == object; }

private:
    friend class KeyValueObject;
    ObjectRef(KeyValueObject* object, std::weak_ptr<void> token)
        : object_(object), token_(std::move(token)) {}

    KeyValueObject* object_ = nullptr;
    std::weak_ptr<void> token_;
};

}  // namespace drivetherm
