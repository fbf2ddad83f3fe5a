// SPDX-License-Identifier: GPL-2.0-or-later
#include "bindings/KeyValueBinding.h"

#include "bindings/KeyValueObject.h"
#include "bindings/TransformerRegistry.h"
#include "bindings/ValueTransformer.h"
#include "common/Log.h"

namespace drivetherm {

KeyValueBinding::KeyValueBinding(KeyValueObject& object, std::string keyPath, Apply apply,
                                 BindingOptions options)
    : info_(object.weakRef(), std::move(keyPath), std::move(options)), apply_(std::move(apply)) {
    object.addObserver(*this, info_.observedKeyPath(), 0);
    refresh();
}

KeyValueBinding::~KeyValueBinding() {
    if (KeyValueObject* object = info_.observedObject()) {
        object->removeObserver(*this, info_.observedKeyPath());
    }
}

Value KeyValueBinding::value() const {
    KeyValueObject* object = info_.observedObject();
    if (object == nullptr) {
        return {};
    }
    Value value = object->valueForKeyPath(info_.observedKeyPath());
    const std::string& name = info_.options().valueTransformerName;
    if (name.empty() || isControllerMarker(value)) {
        return value;
    }
    if (const auto transformer = TransformerRegistry::valueTransformerForName(name)) {
        return transformer->transformedValue(value);
    }
    log::warning("bindings", "no value transformer \"%s\" for %s", name.c_str(),
                 info_.observedKeyPath().c_str());
    return value;
}

void KeyValueBinding::write(const Value& value) {
    KeyValueObject* object = info_.observedObject();
    if (object == nullptr) {
        return;
    }
    Value stored = value;
    const std::string& name = info_.options().valueTransformerName;
    if (!name.empty()) {
        const auto transformer = TransformerRegistry::valueTransformerForName(name);
        if (transformer && !transformer->allowsReverseTransformation()) {
            log::warning("bindings", "%s is shown through \"%s\", which cannot be written back",
                         info_.observedKeyPath().c_str(), name.c_str());
            return;
        }
        if (transformer) {
            stored = transformer->reverseTransformedValue(value);
        }
    }
    object->setValueForKeyPath(stored, info_.observedKeyPath());
}

void KeyValueBinding::refresh() {
    if (apply_) {
        apply_(value());
    }
}

void KeyValueBinding::observeValueForKeyPath(const std::string&, KeyValueObject&, std::intptr_t) {
    refresh();
}

}  // namespace drivetherm
