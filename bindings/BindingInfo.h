// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

#include "bindings/ObjectRef.h"

namespace drivetherm {

// Options a control may be bound with.
struct BindingOptions {
    // Name of a transformer in the TransformerRegistry ("TempTransformer") through which the
    // bound value is shown; empty for none.
    std::string valueTransformerName;
};

// The record of one binding of a control: what it observes, and how.
class BindingInfo {
public:
    BindingInfo(ObjectRef observedObject, std::string observedKeyPath, BindingOptions options)
        : observedObject_(std::move(observedObject)),
          observedKeyPath_(std::move(observedKeyPath)),
          options_(std::move(options)) {}

    // The bound object (often an ObjectController); nullptr once it has been destroyed.
    KeyValueObject* observedObject() const { return observedObject_.get(); }
    const std::string& observedKeyPath() const { return observedKeyPath_; }
    const BindingOptions& options() const { return options_; }

private:
    ObjectRef observedObject_;
    std::string observedKeyPath_;
    BindingOptions options_;
};

}  // namespace drivetherm
