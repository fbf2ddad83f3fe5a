// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/RegistryTree.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace drivetherm {
namespace {

constexpr std::string_view kPlanePrefix = "IOService:/";

}  // namespace

RegistryTree::RegistryTree() {
    nodes_.push_back(Entry{"Root", {"IORegistryEntry"}, {}, kNone, {}});
}

RegistryTree::Node RegistryTree::addChild(Node parent, std::string name,
                                          std::vector<std::string> classes,
                                          RegistryValue::Dictionary properties) {
    if (parent >= nodes_.size()) throw std::out_of_range("RegistryTree::addChild: no such parent");
    const Node node = nodes_.size();
    nodes_.push_back(Entry{std::move(name), std::move(classes), std::move(properties), parent, {}});
    nodes_[parent].children.push_back(node);
    return node;
}

void RegistryTree::addAlias(std::string path, Node node) {
    if (node >= nodes_.size()) throw std::out_of_range("RegistryTree::addAlias: no such node");
    aliases_.insert_or_assign(std::move(path), node);
}

void RegistryTree::setDiskDescription(std::string bsdName, RegistryValue::Dictionary description) {
    descriptions_.insert_or_assign(std::move(bsdName), std::move(description));
}

RegistryTree::Node RegistryTree::parent(Node node) const {
    return node < nodes_.size() ? nodes_[node].parent : kNone;
}

RegistryTree::Node RegistryTree::firstChild(Node node) const {
    if (node >= nodes_.size() || nodes_[node].children.empty()) return kNone;
    return nodes_[node].children.front();
}

const std::vector<RegistryTree::Node>& RegistryTree::children(Node node) const {
    return nodes_.at(node).children;
}

const std::string& RegistryTree::name(Node node) const {
    return nodes_.at(node).name;
}

const RegistryValue* RegistryTree::property(Node node, std::string_view key) const {
    if (node >= nodes_.size()) return nullptr;
    const auto& properties = nodes_[node].properties;
    const auto found = properties.find(key);
    return found != properties.end() ? &found->second : nullptr;
}

const RegistryValue::Dictionary& RegistryTree::properties(Node node) const {
    return nodes_.at(node).properties;
}

bool RegistryTree::conformsTo(Node node, std::string_view className) const {
    if (node >= nodes_.size()) return false;
    const auto& classes = nodes_[node].classes;
    return std::find(classes.begin(), classes.end(), className) != classes.end();
}

template <typename Visit>
RegistryTree::Node RegistryTree::findInOrder(Visit&& visit) const {
    // Depth first from the root, children in the order they were added: the order in which
    // the platform's registry yields its entries.
    std::vector<Node> pending{kRoot};
    while (!pending.empty()) {
        const Node node = pending.back();
        pending.pop_back();
        if (visit(node)) return node;
        const auto& children = nodes_[node].children;
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return kNone;
}

RegistryTree::Node RegistryTree::findByBsdName(std::string_view bsdName) const {
    return findInOrder([&](Node node) {
        const RegistryValue* value = property(node, kBsdNameKey);
        const std::string* text = value ? value->string() : nullptr;
        return text != nullptr && *text == bsdName;
    });
}

RegistryTree::Node RegistryTree::findByPath(std::string_view path) const {
    if (const auto alias = aliases_.find(path); alias != aliases_.end()) return alias->second;
    if (!path.starts_with(kPlanePrefix)) return kNone;
    std::string_view rest = path.substr(kPlanePrefix.size());
    Node node = kRoot;
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view component = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
        if (component.empty()) continue;
        const auto& children = nodes_[node].children;
        const auto child = std::find_if(children.begin(), children.end(), [&](Node candidate) {
            return nodes_[candidate].name == component;
        });
        if (child == children.end()) return kNone;
        node = *child;
    }
    return node;
}

std::string RegistryTree::path(Node node) const {
    std::vector<const std::string*> names;
    for (Node at = node; at != kRoot && at < nodes_.size(); at = nodes_[at].parent)
        names.push_back(&nodes_[at].name);
    std::string result(kPlanePrefix);
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        if (name != names.rbegin()) result += '/';
        result += **name;
    }
    return result;
}

bool RegistryTree::matches(const Entry& entry, const RegistryMatch& match) const {
    if (std::find(entry.classes.begin(), entry.classes.end(), match.providerClass) ==
        entry.classes.end())
        return false;
    for (const auto& [key, wanted] : match.properties) {
        const auto found = entry.properties.find(key);
        if (found != entry.properties.end() && !(found->second == wanted)) return false;
    }
    return true;
}

std::vector<RegistryTree::Node> RegistryTree::matching(const RegistryMatch& match) const {
    std::vector<Node> found;
    findInOrder([&](Node node) {
        if (matches(nodes_[node], match)) found.push_back(node);
        return false;
    });
    return found;
}

const RegistryValue::Dictionary* RegistryTree::diskDescription(std::string_view bsdName) const {
    const auto found = descriptions_.find(bsdName);
    return found != descriptions_.end() ? &found->second : nullptr;
}

}  // namespace drivetherm
