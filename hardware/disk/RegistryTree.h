// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "hardware/disk/DeviceRegistry.h"
#include "hardware/disk/RegistryValue.h"

namespace drivetherm {

// A device registry as plain data: nodes with a name, a class chain and properties, linked to
// their parent and children in the service plane, plus the disk descriptions by BSD name and
// extra paths a node can be found by. Backends build one and hand it to a TreeRegistry, which
// serves it; once handed over a tree is not changed again (a new state is a new tree).
class RegistryTree {
public:
    using Node = std::size_t;
    static constexpr Node kRoot = 0;
    static constexpr Node kNone = std::numeric_limits<std::size_t>::max();

    RegistryTree();

    // Adds a node below `parent`, after its existing children. `classes` lists the class and
    // its superclasses, most derived first ({"IOATABlockStorageDevice", "IOBlockStorageDevice"}).
    Node addChild(Node parent, std::string name, std::vector<std::string> classes,
                  RegistryValue::Dictionary properties = {});
    // Another path that finds `node` (a kernel name, a device path).
    void addAlias(std::string path, Node node);
    void setDiskDescription(std::string bsdName, RegistryValue::Dictionary description);

    std::size_t size() const { return nodes_.size(); }
    Node parent(Node node) const;
    Node firstChild(Node node) const;
    const std::vector<Node>& children(Node node) const;
    const std::string& name(Node node) const;
    const RegistryValue* property(Node node, std::string_view key) const;
    const RegistryValue::Dictionary& properties(Node node) const;
    bool conformsTo(Node node, std::string_view className) const;

    // The first node in registry order (depth first, children in order) whose "BSD Name" is
    // `bsdName`.
    Node findByBsdName(std::string_view bsdName) const;
    // An alias, or a plane path "IOService:/name/name/...", or kNone.
    Node findByPath(std::string_view path) const;
    // The plane path of a node: "IOService:/" and the names from below the root down.
    std::string path(Node node) const;
    // The nodes that match, in registry order (see RegistryMatch).
    std::vector<Node> matching(const RegistryMatch& match) const;
    const RegistryValue::Dictionary* diskDescription(std::string_view bsdName) const;

private:
    struct Entry {
        std::string name;
        std::vector<std::string> classes;
        RegistryValue::Dictionary properties;
        Node parent = kNone;
        std::vector<Node> children;
    };

    bool matches(const Entry& entry, const RegistryMatch& match) const;
    template <typename Visit>
    Node findInOrder(Visit&& visit) const;

    std::vector<Entry> nodes_;
    std::map<std::string, Node, std::less<>> aliases_;
    std::map<std::string, RegistryValue::Dictionary, std::less<>> descriptions_;
};

}  // namespace drivetherm
