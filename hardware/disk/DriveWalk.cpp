// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/DriveWalk.h"

#include "hardware/disk/DeviceRegistry.h"
#include "hardware/disk/SmartReader.h"

namespace drivetherm {
namespace {

// The BSD name of a storage device's whole-disk media: its first child must be the driver,
// the driver's first child the media. Only the first child is looked at on each level.
std::optional<std::string> mediaBsdNameOf(DeviceRegistry& registry, const RegistryEntry& device) {
    RegistryEntry driver = registry.childEntry(device, kIOServicePlane);
    if (!driver || !registry.conformsTo(driver, kIOBlockStorageDriverClass)) return std::nullopt;
    RegistryEntry media = registry.childEntry(driver, kIOServicePlane);
    driver.reset();
    if (!media || !registry.conformsTo(media, kIOMediaClass)) return std::nullopt;
    const auto bsdName = registry.property(media, kBsdNameKey);
    if (!bsdName || bsdName->string() == nullptr) return std::nullopt;
    return *bsdName->string();
}

}  // namespace

kern_return_t DriveWalk::FindStorageMedia(RegistryIterator* iterator) {
    if (iterator == nullptr || registry_ == nullptr) return kIOReturnNoDevice;
    RegistryMatch match{kIOBlockStorageDeviceClass, {}};
    match.properties.emplace(kSmartCapableKey, true);
    return registry_->servicesMatching(match, *iterator);
}

std::vector<std::string> DriveWalk::GetDriveNameArray(RegistryIterator& iterator) {
    std::vector<std::string> names;
    for (RegistryEntry device = iterator.next(); device; device = iterator.next()) {
        if (registry_ == nullptr || !isSmartCapable(device)) continue;
        const auto bsdName = mediaBsdNameOf(*registry_, device);
        if (!bsdName) continue;
        if (auto model = volumeNameWithBSDPath(*bsdName)) names.push_back(std::move(*model));
    }
    return names;
}

std::optional<std::string> DriveWalk::volumeNameWithBSDPath(const std::string& bsdName) {
    if (registry_ == nullptr) return std::nullopt;
    const auto description = registry_->diskDescription(bsdName);
    if (!description) return std::nullopt;
    const auto model = description->find(kDiskDescriptionDeviceModelKey);
    if (model == description->end() || model->second.string() == nullptr) return std::nullopt;
    return *model->second.string();
}

std::optional<std::string> DriveWalk::GetBSDNameForDriveName(const std::string& driveName) {
    if (driveName.empty()) return std::nullopt;
    RegistryIterator iterator;
    if (FindStorageMedia(&iterator) != kIOReturnSuccess) return std::nullopt;
    for (RegistryEntry device = iterator.next(); device; device = iterator.next()) {
        if (!isSmartCapable(device)) continue;
        const auto bsdName = mediaBsdNameOf(*registry_, device);
        if (!bsdName) continue;
        if (volumeNameWithBSDPath(*bsdName) == driveName) return bsdName;
    }
    return std::nullopt;
}

}  // namespace drivetherm
