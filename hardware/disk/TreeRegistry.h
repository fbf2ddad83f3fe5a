// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <memory>
#include <unordered_map>

#include "hardware/disk/DeviceRegistry.h"
#include "hardware/disk/RegistryTree.h"

namespace drivetherm {

// A DeviceRegistry that serves a RegistryTree. Each handed-out reference gets an id of its own
// and keeps the tree it came from alive, so a backend may swap in a new tree (a disk came or
// went) while a walk or an open SMART device still holds entries of the old one.
class TreeRegistry : public DeviceRegistry {
public:
    explicit TreeRegistry(
        std::shared_ptr<const RegistryTree> tree = std::make_shared<RegistryTree>());
    ~TreeRegistry() override;

    TreeRegistry(const TreeRegistry&) = delete;
    TreeRegistry& operator=(const TreeRegistry&) = delete;

    // Serves `tree` from the next look-up on; entries already handed out stay on their tree.
    void setTree(std::shared_ptr<const RegistryTree> tree);
    std::shared_ptr<const RegistryTree> tree() const { return tree_; }

    // References handed out and not yet released (tests check that walks give back all).
    std::size_t outstandingReferences() const { return handles_.size(); }

    RegistryEntry serviceMatchingBsdName(const std::string& bsdName) override;
    RegistryEntry entryFromPath(const std::string& path) override;
    kern_return_t servicesMatching(const RegistryMatch& match, RegistryIterator& iterator) override;
    RegistryEntry parentEntry(const RegistryEntry& entry, const std::string& plane) override;
    RegistryEntry childEntry(const RegistryEntry& entry, const std::string& plane) override;
    std::optional<RegistryValue> property(const RegistryEntry& entry,
                                          const std::string& key) override;
    bool conformsTo(const RegistryEntry& entry, const std::string& className) override;
    std::optional<RegistryValue::Dictionary> diskDescription(const std::string& bsdName) override;

protected:
    enum class LookUp { ByBsdName, ByPath, Matching, DiskDescription };
    // Called before each look-up that starts from the top of the registry. A backend that
    // mirrors a live system refreshes its tree here; the status of a failed refresh is what
    // a matching look-up returns. The default does nothing.
    virtual kern_return_t willLookUp(LookUp kind);

    void release(io_object_t id) noexcept override;

private:
    struct Handle {
        std::shared_ptr<const RegistryTree> tree;
        RegistryTree::Node node;
    };

    RegistryEntry adopt(const std::shared_ptr<const RegistryTree>& tree, RegistryTree::Node node);
    const Handle* resolve(const RegistryEntry& entry) const;

    std::shared_ptr<const RegistryTree> tree_;
    std::unordered_map<io_object_t, Handle> handles_;
    io_object_t nextId_ = 1;
};

}  // namespace drivetherm
