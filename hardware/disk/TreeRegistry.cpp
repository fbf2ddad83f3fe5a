// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/TreeRegistry.h"

#include <deque>
#include <utility>

#include "common/Log.h"

namespace drivetherm {

TreeRegistry::TreeRegistry(std::shared_ptr<const RegistryTree> tree)
    : tree_(tree ? std::move(tree) : std::make_shared<RegistryTree>()) {}

TreeRegistry::~TreeRegistry() {
    // A handle that outlives its registry would release into freed memory; say so while the
    // culprit can still be found.
    if (!handles_.empty())
        log::error("registry", "%zu registry references still held when the registry went away",
                   handles_.size());
}

void TreeRegistry::setTree(std::shared_ptr<const RegistryTree> tree) {
    tree_ = tree ? std::move(tree) : std::make_shared<RegistryTree>();
}

kern_return_t TreeRegistry::willLookUp(LookUp) {
    return kIOReturnSuccess;
}

RegistryEntry TreeRegistry::adopt(const std::shared_ptr<const RegistryTree>& tree,
                                  RegistryTree::Node node) {
    if (node == RegistryTree::kNone || node >= tree->size()) return {};
    // Ids only grow (skipping 0 and any still in use after a wrap), so a released id is not
    // handed out again while a stale copy of it could still be around.
    while (nextId_ == 0 || handles_.contains(nextId_)) ++nextId_;
    const io_object_t id = nextId_++;
    handles_.emplace(id, Handle{tree, node});
    return RegistryEntry(*this, id);
}

const TreeRegistry::Handle* TreeRegistry::resolve(const RegistryEntry& entry) const {
    if (!entry || entry.registry() != this) return nullptr;
    const auto found = handles_.find(entry.id());
    return found != handles_.end() ? &found->second : nullptr;
}

void TreeRegistry::release(io_object_t id) noexcept {
    handles_.erase(id);
}

RegistryEntry TreeRegistry::serviceMatchingBsdName(const std::string& bsdName) {
    if (willLookUp(LookUp::ByBsdName) != kIOReturnSuccess) return {};
    return adopt(tree_, tree_->findByBsdName(bsdName));
}

RegistryEntry TreeRegistry::entryFromPath(const std::string& path) {
    if (willLookUp(LookUp::ByPath) != kIOReturnSuccess) return {};
    return adopt(tree_, tree_->findByPath(path));
}

kern_return_t TreeRegistry::servicesMatching(const RegistryMatch& match,
                                             RegistryIterator& iterator) {
    iterator = RegistryIterator();
    if (const kern_return_t status = willLookUp(LookUp::Matching); status != kIOReturnSuccess)
        return status;
    std::deque<RegistryEntry> entries;
    for (const RegistryTree::Node node : tree_->matching(match))
        entries.push_back(adopt(tree_, node));
    iterator = RegistryIterator(std::move(entries));
    return kIOReturnSuccess;
}

RegistryEntry TreeRegistry::parentEntry(const RegistryEntry& entry, const std::string& plane) {
    const Handle* handle = resolve(entry);
    if (handle == nullptr || plane != kIOServicePlane) return {};
    // The root has no parent: a walk up ends there.
    const RegistryTree::Node parent = handle->tree->parent(handle->node);
    if (parent == RegistryTree::kNone) return {};
    const auto tree = handle->tree;
    return adopt(tree, parent);
}

RegistryEntry TreeRegistry::childEntry(const RegistryEntry& entry, const std::string& plane) {
    const Handle* handle = resolve(entry);
    if (handle == nullptr || plane != kIOServicePlane) return {};
    const auto tree = handle->tree;
    return adopt(tree, tree->firstChild(handle->node));
}

std::optional<RegistryValue> TreeRegistry::property(const RegistryEntry& entry,
                                                    const std::string& key) {
    const Handle* handle = resolve(entry);
    if (handle == nullptr) return std::nullopt;
    const RegistryValue* value = handle->tree->property(handle->node, key);
    if (value == nullptr) return std::nullopt;
    return *value;
}

bool TreeRegistry::conformsTo(const RegistryEntry& entry, const std::string& className) {
    const Handle* handle = resolve(entry);
    return handle != nullptr && handle->tree->conformsTo(handle->node, className);
}

std::optional<RegistryValue::Dictionary> TreeRegistry::diskDescription(const std::string& bsdName) {
    if (willLookUp(LookUp::DiskDescription) != kIOReturnSuccess) return std::nullopt;
    const RegistryValue::Dictionary* description = tree_->diskDescription(bsdName);
    if (description == nullptr) return std::nullopt;
    return *description;
}

}  // namespace drivetherm
