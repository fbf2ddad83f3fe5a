// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/RegistryEntry.h"

#include <utility>

#include "hardware/disk/DeviceRegistry.h"

namespace drivetherm {

RegistryEntry::RegistryEntry(DeviceRegistry& registry, io_object_t id) noexcept
    : registry_(id != 0 ? &registry : nullptr), id_(id) {}

RegistryEntry::~RegistryEntry() noexcept {
    reset();
}

RegistryEntry::RegistryEntry(RegistryEntry&& other) noexcept
    : registry_(std::exchange(other.registry_, nullptr)), id_(std::exchange(other.id_, 0)) {}

RegistryEntry& RegistryEntry::operator=(RegistryEntry&& other) noexcept {
    if (this != &other) {
        reset();
        registry_ = std::exchange(other.registry_, nullptr);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void RegistryEntry::reset() noexcept {
    if (id_ != 0 && registry_ != nullptr) registry_->release(id_);
    registry_ = nullptr;
    id_ = 0;
}

RegistryEntry RegistryIterator::next() {
    if (entries_.empty()) return {};
    RegistryEntry entry = std::move(entries_.front());
    entries_.pop_front();
    return entry;
}

}  // namespace drivetherm
