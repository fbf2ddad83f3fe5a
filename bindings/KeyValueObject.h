// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "bindings/ObjectRef.h"
#include "bindings/Value.h"

namespace drivetherm {

class KeyValueObserver;

// An object whose keys are read and written by name, and whose changes can be observed.
//
// A subclass registers a getter and (unless the key is read-only) a setter for each key in its
// constructor; the typed form converts for it:
//
//     registerKey<float>("lowerThreshold", [this] { return lower_; },
//                        [this](float v) { lower_ = v; graph_.setLowerThreshold(v); });
//     registerKey("HDDName", [this] { return name_ ? Value(*name_) : Value(); },
//                 [this](const Value& v) { ... });   // a string or none
//
// setValueForKey() calls the setter and then tells every observer of the key: that is the only
// automatic change notice. Code that changes what a getter answers in any other way (a timer, a
// reply from the daemon) calls didChangeValueForKey() itself; a registered setter never does, or
// observers hear of one change twice.
//
// Observers (addObserver) hear of later changes only, never when they are added, in the order in
// which they registered. Keys here are single names; dotted key paths ("selection.baseRpm") are
// the business of ObjectController.
//
// Everything runs on the user-interface thread; there are no locks.
class KeyValueObject {
public:
    using Getter = std::function<Value()>;
    using Setter = std::function<void(const Value&)>;

    KeyValueObject();
    KeyValueObject(const KeyValueObject&) = delete;
    KeyValueObject& operator=(const KeyValueObject&) = delete;
    virtual ~KeyValueObject();

    // Reads a key; throws KeyValueError for a key that is not registered (valueForUndefinedKey).
    Value valueForKey(const std::string& key) const;
    // Writes a key and notifies its observers; throws KeyValueError for an unknown or read-only
    // key. Whatever the setter throws passes through, and then nobody is notified.
    void setValueForKey(const Value& value, const std::string& key);
    bool hasKey(const std::string& key) const;

    // The same for key paths. Here a key path is a single key; ObjectController adds its
    // "selection." and "content." paths.
    virtual Value valueForKeyPath(const std::string& keyPath) const;
    virtual void setValueForKeyPath(const Value& value, const std::string& keyPath);

    // Registers observer for later changes of keyPath, with a context handed back in each notice.
    // The same observer may register several times, also for one key path with two contexts.
    virtual void addObserver(KeyValueObserver& observer, const std::string& keyPath,
                             std::intptr_t context);
    // Drops the most recent registration of observer for keyPath; nothing when there is none.
    virtual void removeObserver(KeyValueObserver& observer, const std::string& keyPath);

    // Tells the observers of key that its value changed.
    void didChangeValueForKey(const std::string& key);

    // A weak reference that answers nullptr once this object is gone.
    ObjectRef weakRef() const { return ObjectRef(const_cast<KeyValueObject*>(this), token_); }

protected:
    void registerKey(const std::string& key, Getter getter, Setter setter = {});

    template <class T>
    void registerKey(const std::string& key, std::function<T()> getter,
                     std::function<void(T)> setter = {});

    // Called when none (or a placeholder) is written to a key registered with a plain number or
    // flag type. The default throws KeyValueError, as there is no number to store.
    virtual void setNilValueForKey(const std::string& key);
    // Called by valueForKey for an unknown key. The default throws KeyValueError.
    virtual Value valueForUndefinedKey(const std::string& key) const;

    // Notifies every registration for exactly this key path.
    void notifyObservers(const std::string& keyPath);
    // Notifies every registration of this object, whatever its key path, in registration order.
    void notifyAllObservers();

private:
    friend class KeyValueObserver;

    struct Accessors {
        Getter getter;
        Setter setter;
    };
    struct Registration {
        KeyValueObserver* observer;
        std::string keyPath;
        std::intptr_t context;
        std::uint64_t serial;
    };

    template <class T>
    static T valueAs(const Value& value);

    void notify(std::vector<Registration> pending);
    bool isRegistered(std::uint64_t serial) const;
    void forgetObserver(KeyValueObserver& observer);

    std::map<std::string, Accessors> keys_;
    std::vector<Registration> registrations_;
    std::uint64_t nextSerial_ = 1;
    // Expires with this object; weak references watch it.
    std::shared_ptr<void> token_;
};

template <class T>
T KeyValueObject::valueAs(const Value& value) {
    if constexpr (std::is_same_v<T, bool>) {
        return value.boolValue();
    } else if constexpr (std::is_same_v<T, int>) {
        return value.intValue();
    } else if constexpr (std::is_same_v<T, std::int64_t>) {
        return value.int64Value();
    } else if constexpr (std::is_same_v<T, float>) {
        return value.floatValue();
    } else if constexpr (std::is_same_v<T, double>) {
        return value.doubleValue();
    } else {
        static_assert(std::is_same_v<T, std::string>, "keys hold numbers, flags or strings");
        return value.stringValue();
    }
}

template <class T>
void KeyValueObject::registerKey(const std::string& key, std::function<T()> getter,
                                 std::function<void(T)> setter) {
    Getter get = [getter = std::move(getter)] { return Value(getter()); };
    Setter set;
    if (setter) {
        set = [this, key, setter = std::move(setter)](const Value& value) {
            if constexpr (!std::is_same_v<T, std::string>) {
                if (value.isNone() || value.isMarker()) {
                    setNilValueForKey(key);
                    return;
                }
            }
            setter(valueAs<T>(value));
        };
    }
    registerKey(key, std::move(get), std::move(set));
}

}  // namespace drivetherm
