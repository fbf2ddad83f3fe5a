// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <deque>

namespace drivetherm {

class DeviceRegistry;

// The handle of a registry entry as the registry hands it out; 0 is no entry.
using io_object_t = std::uint32_t;

// One reference to a device-registry entry. The handle owns the reference: it is released when
// the handle is destroyed, reset or assigned over, so every path through a walk gives back what
// it took. Handles move but do not copy; a second reference is a second look-up.
class RegistryEntry {
public:
    RegistryEntry() = default;
    // Adopts one reference that `registry` handed out for `id`. Backends make these.
    RegistryEntry(DeviceRegistry& registry, io_object_t id) noexcept;
    ~RegistryEntry() noexcept;

    RegistryEntry(RegistryEntry&& other) noexcept;
    RegistryEntry& operator=(RegistryEntry&& other) noexcept;
    RegistryEntry(const RegistryEntry&) = delete;
    RegistryEntry& operator=(const RegistryEntry&) = delete;

    io_object_t id() const { return id_; }
    DeviceRegistry* registry() const { return registry_; }
    explicit operator bool() const { return id_ != 0; }

    // Gives the reference back now; the handle is empty afterwards.
    void reset() noexcept;

private:
    DeviceRegistry* registry_ = nullptr;
    io_object_t id_ = 0;
};

// The entries a matching look-up found, in registry order. `next` hands each one out in turn
// and an empty handle at the end; entries not taken are released with the iterator.
class RegistryIterator {
public:
    RegistryIterator() = default;
    explicit RegistryIterator(std::deque<RegistryEntry> entries) : entries_(std::move(entries)) {}

    RegistryEntry next();
    bool done() const { return entries_.empty(); }

private:
    std::deque<RegistryEntry> entries_;
};

}  // namespace drivetherm
