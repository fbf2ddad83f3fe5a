// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <functional>
#include <string>

#include "bindings/BindingInfo.h"
#include "bindings/KeyValueObserver.h"
#include "bindings/Value.h"

namespace drivetherm {

class KeyValueObject;

// One live binding of a plain control to a key path: the value is handed to `apply` when the
// binding is made and after every change, and the control writes back through write(). This is all
// a check box, spin box, text field or combo box of the settings window needs:
//
//     ObjectController controller(&pane);
//     QCheckBox box;
//     KeyValueBinding fahrenheit(controller, "selection.fahrenheit", [&](const Value& v) {
//         const QSignalBlocker quiet(box);               // no write-back of our own update
//         box.setEnabled(!isControllerMarker(v));
//         box.setChecked(v.boolValue());
//     });
//     QObject::connect(&box, &QCheckBox::toggled, [&](bool on) { fahrenheit.write(on); });
//
//     KeyValueBinding temperature(controller, "selection.currentTemp", [&](const Value& v) {
//         label.setText(QString::fromStdString(v.stringValue()));
//     }, BindingOptions{"TempTransformer"});            // shows "45 °C"
//
// A placeholder (isControllerMarker) reaches `apply` untransformed. Destroying the binding stops
// the observation; a binding whose object is gone does nothing.
class KeyValueBinding final : private KeyValueObserver {
public:
    using Apply = std::function<void(const Value&)>;

    KeyValueBinding(KeyValueObject& object, std::string keyPath, Apply apply,
                    BindingOptions options = {});
    ~KeyValueBinding() override;

    // The bound value as the control shows it: transformed when a transformer is named and found,
    // none when the object is gone.
    Value value() const;
    // Writes a value the control produced to the key path, through the transformer's reverse
    // transformation when one is named. A display-only transformer refuses: nothing is written.
    void write(const Value& value);
    // Hands the current value to `apply` again.
    void refresh();

    const BindingInfo& info() const { return info_; }

private:
    void observeValueForKeyPath(const std::string& keyPath, KeyValueObject& object,
                                std::intptr_t context) override;

    BindingInfo info_;
    Apply apply_;
};

}  // namespace drivetherm
