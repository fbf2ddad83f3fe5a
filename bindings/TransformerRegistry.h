// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <memory>
#include <string>

namespace drivetherm {

class ValueTransformer;

// The per-process table of named value transformers. The settings window and the tray monitor each
// enter their own TempTransformer under "TempTransformer" right after creating it; bindings name it
// in BindingOptions::valueTransformerName. A later entry under the same name replaces the earlier
// one; the registry keeps its transformers alive.
class TransformerRegistry {
public:
    static void setValueTransformer(std::shared_ptr<ValueTransformer> transformer,
                                    const std::string& name);
    // The transformer entered under name, or nullptr.
    static std::shared_ptr<ValueTransformer> valueTransformerForName(const std::string& name);
};

}  // namespace drivetherm
