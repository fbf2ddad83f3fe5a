// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <optional>
#include <string>

#include "hardware/IOReturn.h"
#include "hardware/disk/RegistryEntry.h"
#include "hardware/disk/RegistryValue.h"

namespace drivetherm {

// The one plane the disk code walks.
inline constexpr const char* kIOServicePlane = "IOService";

// Classes of the storage stack: a block-storage device, its driver (first child) and the
// whole-disk media (the driver's first child), which carries the BSD name.
inline constexpr const char* kIOBlockStorageDeviceClass = "IOBlockStorageDevice";
inline constexpr const char* kIOATABlockStorageDeviceClass = "IOATABlockStorageDevice";
inline constexpr const char* kIOBlockStorageDriverClass = "IOBlockStorageDriver";
inline constexpr const char* kIOMediaClass = "IOMedia";
inline constexpr const char* kIOPartitionSchemeClass = "IOPartitionScheme";
inline constexpr const char* kIOServiceClass = "IOService";

// Properties the disk code reads.
inline constexpr const char* kSmartCapableKey = "SMART Capable";
inline constexpr const char* kDeviceCharacteristicsKey = "Device Characteristics";
inline constexpr const char* kAtaFeaturesKey = "ATA Features";
inline constexpr const char* kProductNameKey = "Product Name";
inline constexpr const char* kBsdNameKey = "BSD Name";
// The command set a storage device speaks, for the SMART backend: "NVMe" for an NVMe
// controller's namespace; ATA disks do not carry it.
inline constexpr const char* kCommandSetKey = "Command Set";
inline constexpr const char* kNvmeCommandSet = "NVMe";
// Bit of "ATA Features" that says the drive supports SMART.
inline constexpr std::int64_t kAtaFeatureSmart = 0x20;

// The member of a disk description that holds the drive's model string.
inline constexpr const char* kDiskDescriptionDeviceModelKey = "DADeviceModel";

// A matching request: the entries of a class (or a subclass) and, optionally, properties.
// A listed property excludes an entry that carries it with another value; an entry that does
// not carry it at all is not held against it, so the walk's own SMART-capable test still sees
// drives that declare SMART through their ATA features.
struct RegistryMatch {
    std::string providerClass;
    RegistryValue::Dictionary properties;
};

// The machine's device registry: entries (devices, drivers, media) in a tree of parents and
// children, each with a class and properties, plus the disk-description service that gives a
// disk's model string by its BSD name. Backends: the Linux block devices (linux/), the
// simulated machine's drive bay (sim/), trees built by tests.
//
// Every look-up that yields an entry hands the caller one reference inside a RegistryEntry.
// An entry handle must come from this registry; a foreign or empty handle finds nothing.
class DeviceRegistry {
public:
    virtual ~DeviceRegistry() = default;

    // The first entry whose "BSD Name" is `bsdName`, or an empty handle.
    virtual RegistryEntry serviceMatchingBsdName(const std::string& bsdName) = 0;
    // The entry at a registry path (the backend's own path forms), or an empty handle.
    virtual RegistryEntry entryFromPath(const std::string& path) = 0;
    // All registered entries that match, in registry order. kIOReturnSuccess and the iterator,
    // or the status of the failed search (the iterator is then empty).
    virtual kern_return_t servicesMatching(const RegistryMatch& match,
                                           RegistryIterator& iterator) = 0;

    // The entry's parent, or its first child, in `plane`; an empty handle when there is none.
    virtual RegistryEntry parentEntry(const RegistryEntry& entry, const std::string& plane) = 0;
    virtual RegistryEntry childEntry(const RegistryEntry& entry, const std::string& plane) = 0;

    // A copy of one property of the entry, or nothing when it lacks it.
    virtual std::optional<RegistryValue> property(const RegistryEntry& entry,
                                                  const std::string& key) = 0;
    // Whether the entry is of that class or of a subclass.
    virtual bool conformsTo(const RegistryEntry& entry, const std::string& className) = 0;

    // The description of the disk with this BSD name (its model under
    // kDiskDescriptionDeviceModelKey), or nothing when there is no such disk.
    virtual std::optional<RegistryValue::Dictionary> diskDescription(
        const std::string& bsdName) = 0;

protected:
    friend class RegistryEntry;
    // Drops the reference behind one handed-out id.
    virtual void release(io_object_t id) noexcept = 0;
};

}  // namespace drivetherm
