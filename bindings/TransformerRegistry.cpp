// SPDX-License-Identifier: GPL-2.0-or-later
#include "bindings/TransformerRegistry.h"

#include <map>
#include <mutex>

#include "bindings/ValueTransformer.h"

namespace drivetherm {

namespace {

struct Table {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<ValueTransformer>> transformers;
};

Table& table() {
    static Table instance;
    return instance;
}

}  // namespace

void TransformerRegistry::setValueTransformer(std::shared_ptr<ValueTransformer> transformer,
                                              const std::string& name) {
    Table& t = table();
    const std::lock_guard lock(t.mutex);
    if (transformer) {
        t.transformers[name] = std::move(transformer);
    } else {
        t.transformers.erase(name);
    }
}

std::shared_ptr<ValueTransformer> TransformerRegistry::valueTransformerForName(
    const std::string& name) {
    Table& t = table();
    const std::lock_guard lock(t.mutex);
    const auto it = t.transformers.find(name);
    return it == t.transformers.end() ? nullptr : it->second;
}

}  // namespace drivetherm
