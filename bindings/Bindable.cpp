// SPDX-License-Identifier: GPL-2.0-or-later
#include "bindings/Bindable.h"

#include "bindings/KeyValueObject.h"

namespace drivetherm {

Bindable::~Bindable() = default;

void Bindable::bind(const std::string& binding, KeyValueObject& object, const std::string& keyPath,
                    const BindingOptions& options) {
    bindings_.insert_or_assign(binding, BindingInfo(object.weakRef(), keyPath, options));
}

void Bindable::unbind(const std::string& binding) {
    bindings_.erase(binding);
}

std::optional<BindingInfo> Bindable::infoForBinding(const std::string& binding) const {
    const auto it = bindings_.find(binding);
    if (it == bindings_.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::vector<std::string> Bindable::exposedBindings() const {
    return {};
}

std::optional<Value::Kind> Bindable::valueClassForBinding(const std::string&) const {
    return std::nullopt;
}

}  // namespace drivetherm
