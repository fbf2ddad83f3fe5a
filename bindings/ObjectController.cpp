// SPDX-License-Identifier: GPL-2.0-or-later
#include "bindings/ObjectController.h"

namespace drivetherm {

namespace {
constexpr const char* kSelectionPrefix = "selection.";
constexpr const char* kContentPrefix = "content.";
}  // namespace

ObjectController::ObjectController(KeyValueObject* content) {
    if (content != nullptr) {
        content_ = content->weakRef();
    }
}

std::string ObjectController::contentKey(const std::string& keyPath, bool* isSelection) {
    for (const char* prefix : {kSelectionPrefix, kContentPrefix}) {
        const std::string p = prefix;
        if (keyPath.size() > p.size() && keyPath.compare(0, p.size(), p) == 0) {
            if (isSelection != nullptr) {
                *isSelection = prefix == kSelectionPrefix;
            }
            return keyPath.substr(p.size());
        }
    }
    return {};
}

void ObjectController::setContent(KeyValueObject* content) {
    if (KeyValueObject* old = content_.get()) {
        for (const std::string& key : forwardedKeys_) {
            old->removeObserver(*this, key);
        }
    }
    content_ = content != nullptr ? content->weakRef() : ObjectRef();
    if (content != nullptr) {
        for (const std::string& key : forwardedKeys_) {
            content->addObserver(*this, key, 0);
        }
    }
    notifyAllObservers();
}

Value ObjectController::valueForKeyPath(const std::string& keyPath) const {
    bool isSelection = false;
    const std::string key = contentKey(keyPath, &isSelection);
    if (key.empty()) {
        return KeyValueObject::valueForKeyPath(keyPath);
    }
    KeyValueObject* content = content_.get();
    if (content == nullptr) {
        return isSelection ? Value(ControllerMarker::NoSelection) : Value();
    }
    if (isSelection && !content->hasKey(key)) {
        return ControllerMarker::NotApplicable;
    }
    return content->valueForKey(key);
}

void ObjectController::setValueForKeyPath(const Value& value, const std::string& keyPath) {
    const std::string key = contentKey(keyPath);
    if (key.empty()) {
        KeyValueObject::setValueForKeyPath(value, keyPath);
        return;
    }
    // With no content there is nothing to write to; the controls show a placeholder meanwhile.
    if (KeyValueObject* content = content_.get()) {
        // The content notifies its observers, among them this controller, which passes the notice
        // on to the controls: the writer hears of its own write like any other change.
        content->setValueForKey(value, key);
    }
}

void ObjectController::addObserver(KeyValueObserver& observer, const std::string& keyPath,
                                   std::intptr_t context) {
    KeyValueObject::addObserver(observer, keyPath, context);
    const std::string key = contentKey(keyPath);
    if (key.empty() || !forwardedKeys_.insert(key).second) {
        return;
    }
    if (KeyValueObject* content = content_.get()) {
        content->addObserver(*this, key, 0);
    }
}

void ObjectController::observeValueForKeyPath(const std::string& keyPath, KeyValueObject&,
                                              std::intptr_t) {
    // Copy the paths: an observer may unbind, which must not disturb this loop's strings.
    const std::string selectionPath = kSelectionPrefix + keyPath;
    const std::string contentPath = kContentPrefix + keyPath;
    notifyObservers(selectionPath);
    notifyObservers(contentPath);
}

}  // namespace drivetherm
