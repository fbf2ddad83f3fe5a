// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/linux/UdevDeviceRegistry.h"

#include <algorithm>
#include <map>
#include <string>

#include "common/Log.h"
#include "hardware/disk/DeviceRegistry.h"
#include "hardware/disk/linux/UdevAtaInformation.h"
#include "hardware/disk/linux/UdevLibrarySource.h"
#include "hardware/disk/linux/UdevNames.h"
#include "hardware/disk/linux/UdevTreeSource.h"

namespace drivetherm {
namespace {

constexpr const char* kTag = "disks";
constexpr const char* kKernelNameKey = "Kernel Name";
// How long a reading of the block devices answers disk descriptions without a new one.
constexpr std::chrono::seconds kDescriptionReuse{1};

std::optional<std::string> propertyOf(const UdevBlockDevice& device, const std::string& key) {
    const auto found = device.properties.find(key);
    if (found == device.properties.end()) return std::nullopt;
    return found->second;
}

std::optional<std::string> modelOf(const UdevBlockDevice& device) {
    std::string model;
    if (const auto encoded = propertyOf(device, "ID_MODEL_ENC"))
        model = modelFromUdev(*encoded);
    else if (device.model)
        model = modelFromSysfs(*device.model);
    if (model.empty()) return std::nullopt;
    return model;
}

bool isAta(const UdevBlockDevice& device) {
    return propertyOf(device, "ID_ATA") == "1" ||
           (device.vendor && trimTrailingBlanks(*device.vendor) == "ATA");
}

// "1" when the drive supports SMART, "0" when it does not, nothing when nobody says: udev's
// ID_ATA_FEATURE_SET_SMART where udev recorded the disk, else the drive's own IDENTIFY data in
// the kernel's ATA Information page, so that a machine without udev reads its disks too.
std::optional<std::string> smartFeatureOf(const UdevBlockDevice& device) {
    if (auto feature = propertyOf(device, "ID_ATA_FEATURE_SET_SMART")) return feature;
    if (propertyOf(device, "ID_ATA") || !isAta(device) || !device.ataInformation)
        return std::nullopt;
    const auto supported = smartSupportedFromAtaInformation(*device.ataInformation);
    if (!supported) return std::nullopt;
    return std::string(*supported ? "1" : "0");
}

// A namespace of an NVMe controller, "nvme0n1": a whole disk whose controller always keeps the
// SMART / Health Information log.
bool isNvmeNamespace(std::string_view name) {
    const auto digits = [&name](std::size_t from) {
        std::size_t end = from;
        while (end < name.size() && name[end] >= '0' && name[end] <= '9') ++end;
        return end - from;
    };
    if (!name.starts_with("nvme")) return false;
    const std::size_t controller = digits(4);
    if (controller == 0 || 4 + controller >= name.size() || name[4 + controller] != 'n')
        return false;
    const std::size_t from = 5 + controller;
    const std::size_t namespaceDigits = digits(from);
    return namespaceDigits > 0 && from + namespaceDigits == name.size();
}

std::unique_ptr<UdevDiskSource> sourceFor(const UdevRoots& roots) {
    if (roots.isSystem()) return std::make_unique<UdevLibrarySource>();
    return std::make_unique<UdevTreeSource>(roots.sysfs, roots.udevData);
}

}  // namespace

UdevDeviceRegistry::UdevDeviceRegistry(const UdevRoots& roots, Clock& clock)
    : UdevDeviceRegistry(sourceFor(roots), roots, clock) {}

UdevDeviceRegistry::UdevDeviceRegistry(std::unique_ptr<UdevDiskSource> source,
                                       const UdevRoots& roots, Clock& clock)
    : source_(std::move(source)), roots_(roots), clock_(clock) {}

std::shared_ptr<RegistryTree> UdevDeviceRegistry::buildTree(
    const std::vector<UdevBlockDevice>& devices, const UdevRoots& roots) {
    std::vector<const UdevBlockDevice*> disks;
    std::map<std::string, std::vector<const UdevBlockDevice*>, std::less<>> partitions;
    for (const UdevBlockDevice& device : devices) {
        if (device.isVirtual || !isSafeDeviceName(device.sysname)) continue;
        if (device.devtype == "disk")
            disks.push_back(&device);
        else if (device.devtype == "partition" && !device.parentSysname.empty())
            partitions[device.parentSysname].push_back(&device);
    }
    std::sort(disks.begin(), disks.end(),
              [](const auto* a, const auto* b) { return kernelNameLess(a->sysname, b->sysname); });

    auto tree = std::make_shared<RegistryTree>();
    const auto addAliases = [&](const std::string& sysname, RegistryTree::Node media) {
        tree->addAlias(sysname, media);
        tree->addAlias("/dev/" + sysname, media);
        tree->addAlias(roots.dev + "/" + sysname, media);
    };

    for (std::size_t index = 0; index < disks.size(); ++index) {
        const UdevBlockDevice& disk = *disks[index];
        const std::string bsdName = "disk" + std::to_string(index);
        const auto model = modelOf(disk);
        const bool nvme = isNvmeNamespace(disk.sysname);
        const auto smartFeature = nvme ? std::nullopt : smartFeatureOf(disk);

        std::vector<std::string> classes{kIOBlockStorageDeviceClass, kIOServiceClass};
        if (!nvme && isAta(disk)) classes.insert(classes.begin(), kIOATABlockStorageDeviceClass);
        RegistryValue::Dictionary characteristics;
        if (model) characteristics.emplace(kProductNameKey, *model);
        if (smartFeature)
            characteristics.emplace(kAtaFeaturesKey, *smartFeature == "1" ? kAtaFeatureSmart : 0);
        RegistryValue::Dictionary properties{
            {kKernelNameKey, disk.sysname},
            {kDeviceCharacteristicsKey, std::move(characteristics)}};
        if (smartFeature == "1" || nvme) properties.emplace(kSmartCapableKey, true);
        if (nvme) properties.emplace(kCommandSetKey, kNvmeCommandSet);

        const auto device =
            tree->addChild(RegistryTree::kRoot, disk.sysname, classes, std::move(properties));
        const auto driver = tree->addChild(device, kIOBlockStorageDriverClass,
                                           {kIOBlockStorageDriverClass, kIOServiceClass});
        const auto media = tree->addChild(driver, bsdName, {kIOMediaClass, kIOServiceClass},
                                          {{kBsdNameKey, bsdName}, {"Whole", true}});
        addAliases(disk.sysname, media);
        RegistryValue::Dictionary description;
        if (model) description.emplace(kDiskDescriptionDeviceModelKey, *model);
        tree->setDiskDescription(bsdName, description);

        auto found = partitions.find(disk.sysname);
        if (found == partitions.end()) continue;
        auto& children = found->second;
        std::stable_sort(children.begin(), children.end(), [](const auto* a, const auto* b) {
            return a->partitionNumber != b->partitionNumber
                       ? a->partitionNumber < b->partitionNumber
                       : kernelNameLess(a->sysname, b->sysname);
        });
        const auto scheme = tree->addChild(media, kIOPartitionSchemeClass,
                                           {kIOPartitionSchemeClass, kIOServiceClass});
        for (std::size_t slice = 0; slice < children.size(); ++slice) {
            const UdevBlockDevice& partition = *children[slice];
            const int number = partition.partitionNumber > 0 ? partition.partitionNumber
                                                             : static_cast<int>(slice) + 1;
            const std::string sliceName = bsdName + "s" + std::to_string(number);
            const auto sliceMedia =
                tree->addChild(scheme, sliceName, {kIOMediaClass, kIOServiceClass},
                               {{kBsdNameKey, sliceName}, {"Whole", false}});
            addAliases(partition.sysname, sliceMedia);
            tree->setDiskDescription(sliceName, description);
        }
    }
    return tree;
}

kern_return_t UdevDeviceRegistry::refresh() {
    std::vector<UdevBlockDevice> devices;
    lastScan_ = clock_.now();
    if (!source_ || !source_->scan(devices)) {
        if (!scanFailed_)
            log::warning(kTag, "cannot list the block devices under %s; no disk can be read",
                         roots_.sysfs.c_str());
        scanFailed_ = true;
        setTree(nullptr);
        return kIOReturnError;
    }
    if (scanFailed_) log::info(kTag, "block devices under %s listed again", roots_.sysfs.c_str());
    scanFailed_ = false;
    setTree(buildTree(devices, roots_));
    return kIOReturnSuccess;
}

kern_return_t UdevDeviceRegistry::willLookUp(LookUp kind) {
    if (kind == LookUp::DiskDescription && lastScan_ &&
        clock_.now() - *lastScan_ < kDescriptionReuse)
        return scanFailed_ ? kIOReturnError : kIOReturnSuccess;
    return refresh();
}

}  // namespace drivetherm
