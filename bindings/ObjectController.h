// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <set>
#include <string>

#include "bindings/KeyValueObject.h"
#include "bindings/KeyValueObserver.h"

namespace drivetherm {

// Stands between a window's controls and the object that owns their values (the content). Controls
// bind to key paths of the controller:
//
//   "selection.<key>"  the content's key; with no content the placeholder NoSelection, with a
//                      content that lacks the key the placeholder NotApplicable. Bound controls
//                      disable themselves on a placeholder.
//   "content.<key>"    the content's key; none without content.
//
// A change of the content's key reaches the observers of both paths. Setting the content (also to
// none, or to the same object again) notifies every observer of the controller, so that every bound
// control reads again: setContent(nullptr) followed by setContent(owner) is how an owner brings all
// its controls up to date after a change that affects several keys.
//
// The controller does not own its content and notices when the content is destroyed.
class ObjectController : public KeyValueObject, private KeyValueObserver {
public:
    explicit ObjectController(KeyValueObject* content = nullptr);

    KeyValueObject* content() const { return content_.get(); }
    void setContent(KeyValueObject* content);

    Value valueForKeyPath(const std::string& keyPath) const override;
    void setValueForKeyPath(const Value& value, const std::string& keyPath) override;
    void addObserver(KeyValueObserver& observer, const std::string& keyPath,
                     std::intptr_t context) override;

private:
    // The content's key behind "selection.<key>" or "content.<key>"; empty for other paths.
    static std::string contentKey(const std::string& keyPath, bool* isSelection = nullptr);

    void observeValueForKeyPath(const std::string& keyPath, KeyValueObject& object,
                                std::intptr_t context) override;

    ObjectRef content_;
    // The content keys that some observer watches through this controller; the controller
    // observes each of them on its content.
    std::set<std::string> forwardedKeys_;
};

}  // namespace drivetherm
