// SPDX-License-Identifier: GPL-2.0-or-later
#include "bindings/KeyValueObject.h"

#include <algorithm>

#include "bindings/KeyValueError.h"
#include "bindings/KeyValueObserver.h"

namespace drivetherm {

KeyValueObject::KeyValueObject() : token_(std::make_shared<char>(0)) {}

KeyValueObject::~KeyValueObject() {
    // Weak references see the object gone from here on, also from inside the observers below.
    token_.reset();
    for (const Registration& registration : registrations_) {
        auto& observed = registration.observer->observed_;
        const auto it = std::find_if(observed.begin(), observed.end(),
                                     [this](const ObjectRef& ref) { return ref.refersTo(this); });
        if (it != observed.end()) {
            observed.erase(it);
        }
    }
}

void KeyValueObject::registerKey(const std::string& key, Getter getter, Setter setter) {
    keys_[key] = Accessors{std::move(getter), std::move(setter)};
}

bool KeyValueObject::hasKey(const std::string& key) const {
    return keys_.count(key) != 0;
}

Value KeyValueObject::valueForKey(const std::string& key) const {
    const auto it = keys_.find(key);
    if (it == keys_.end()) {
        return valueForUndefinedKey(key);
    }
    return it->second.getter();
}

void KeyValueObject::setValueForKey(const Value& value, const std::string& key) {
    const auto it = keys_.find(key);
    if (it == keys_.end()) {
        throw KeyValueError("no key \"" + key + "\" to set");
    }
    if (!it->second.setter) {
        throw KeyValueError("key \"" + key + "\" is read-only");
    }
    // Copy: a setter may register further keys, which could move the map's node contents.
    const Setter setter = it->second.setter;
    setter(value);
    didChangeValueForKey(key);
}

Value KeyValueObject::valueForKeyPath(const std::string& keyPath) const {
    return valueForKey(keyPath);
}

void KeyValueObject::setValueForKeyPath(const Value& value, const std::string& keyPath) {
    setValueForKey(value, keyPath);
}

void KeyValueObject::setNilValueForKey(const std::string& key) {
    throw KeyValueError("key \"" + key + "\" holds a number or flag and cannot be set to none");
}

Value KeyValueObject::valueForUndefinedKey(const std::string& key) const {
    throw KeyValueError("no key \"" + key + "\" to read");
}

void KeyValueObject::addObserver(KeyValueObserver& observer, const std::string& keyPath,
                                 std::intptr_t context) {
    registrations_.push_back(Registration{&observer, keyPath, context, nextSerial_++});
    observer.observed_.push_back(weakRef());
}

void KeyValueObject::removeObserver(KeyValueObserver& observer, const std::string& keyPath) {
    const auto it = std::find_if(
        registrations_.rbegin(), registrations_.rend(), [&](const Registration& registration) {
            return registration.observer == &observer && registration.keyPath == keyPath;
        });
    if (it == registrations_.rend()) {
        return;
    }
    registrations_.erase(std::next(it).base());
    auto& observed = observer.observed_;
    const auto ref = std::find_if(observed.begin(), observed.end(),
                                  [this](const ObjectRef& r) { return r.refersTo(this); });
    if (ref != observed.end()) {
        observed.erase(ref);
    }
}

void KeyValueObject::forgetObserver(KeyValueObserver& observer) {
    registrations_.erase(std::remove_if(registrations_.begin(), registrations_.end(),
                                        [&](const Registration& registration) {
                                            return registration.observer == &observer;
                                        }),
                         registrations_.end());
}

void KeyValueObject::didChangeValueForKey(const std::string& key) {
    notifyObservers(key);
}

void KeyValueObject::notifyObservers(const std::string& keyPath) {
    std::vector<Registration> snapshot;
    for (const Registration& registration : registrations_) {
        if (registration.keyPath == keyPath) {
            snapshot.push_back(registration);
        }
    }
    notify(snapshot);
}

void KeyValueObject::notifyAllObservers() {
    notify(registrations_);
}

void KeyValueObject::notify(std::vector<Registration> pending) {
    // The list may change while observers run (a control unbinds itself, a second one binds):
    // work on a copy and skip whoever was removed in the meantime.
    const ObjectRef self = weakRef();
    for (const Registration& registration : pending) {
        if (!self || !isRegistered(registration.serial)) {
            continue;
        }
        registration.observer->observeValueForKeyPath(registration.keyPath, *this,
                                                      registration.context);
    }
}

bool KeyValueObject::isRegistered(std::uint64_t serial) const {
    return std::any_of(registrations_.begin(), registrations_.end(),
                       [serial](const Registration& r) { return r.serial == serial; });
}

}  // namespace drivetherm
