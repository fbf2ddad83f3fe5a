// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bindings/BindingInfo.h"
#include "bindings/Value.h"

namespace drivetherm {

class KeyValueObject;

// The binding bookkeeping every bindable control inherits: which of its bindings are bound, and to
// what. The base only records; a control that offers a binding overrides bind() and unbind() to
// observe the key path (and to stop observing it) and calls the base to keep the record:
//
//     void MySwitch::bind(const std::string& name, KeyValueObject& object,
//                         const std::string& keyPath, const BindingOptions& options) {
//         if (name == "value") object.addObserver(*this, keyPath, 0);
//         Bindable::bind(name, object, keyPath, options);
//     }
//     void MySwitch::unbind(const std::string& name) {
//         if (auto info = infoForBinding(name); info && info->observedObject())
//             info->observedObject()->removeObserver(*this, info->observedKeyPath());
//         Bindable::unbind(name);
//     }
//
// For a plain control with one value, KeyValueBinding does all of this in one object.
class Bindable {
public:
    Bindable() = default;
    Bindable(const Bindable&) = delete;
    Bindable& operator=(const Bindable&) = delete;
    virtual ~Bindable();

    // Records binding as bound to keyPath of object; a second bind of the same name replaces the
    // record.
    virtual void bind(const std::string& binding, KeyValueObject& object,
                      const std::string& keyPath, const BindingOptions& options = {});
    // Drops the record; nothing when the name is not bound.
    virtual void unbind(const std::string& binding);
    // The record, or none while the name is not bound.
    std::optional<BindingInfo> infoForBinding(const std::string& binding) const;

    // The names this control offers as bindings; the base offers none.
    virtual std::vector<std::string> exposedBindings() const;
    // The kind of value a binding carries; none for a name the control does not know.
    virtual std::optional<Value::Kind> valueClassForBinding(const std::string& binding) const;

private:
    std::map<std::string, BindingInfo> bindings_;
};

}  // namespace drivetherm
