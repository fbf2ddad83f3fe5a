// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/SmartReader.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "common/Log.h"
#include "hardware/disk/DeviceRegistry.h"
#include "hardware/disk/SmartDeviceBackend.h"
#include "hardware/disk/SmartLogPages.h"

namespace drivetherm {
namespace {

constexpr const char* kTag = "smart";

// The BSD name in a disk name: "/dev/rdisk1" and "/dev/disk1" give "disk1", a name that
// starts with "disk" is one already, anything else has none (it is a registry path).
std::optional<std::string> bsdNameIn(std::string_view name) {
    if (name.starts_with("/dev/rdisk")) return std::string(name.substr(6));
    if (name.starts_with("/dev/disk")) return std::string(name.substr(5));
    if (name.starts_with("disk")) return std::string(name);
    return std::nullopt;
}

// A name the registry may be asked about: not empty, not absurdly long, and without a ".."
// component that could lead a path-based backend out of its device directory.
bool isAcceptableName(std::string_view name) {
    if (name.empty() || name.size() > kMaxDiskNameLength) return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t slash = name.find('/', start);
        const std::size_t end = slash == std::string_view::npos ? name.size() : slash;
        if (name.substr(start, end - start) == "..") return false;
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    return true;
}

int fail(int error) {
    errno = error;
    return -1;
}

void pauseRestOfAttempt(Clock& clock, std::chrono::steady_clock::time_point started) {
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(clock.now() - started);
    if (spent < kSmartAttemptPeriod) clock.sleepFor(kSmartAttemptPeriod - spent);
}

}  // namespace

SmartDeviceSlot* SmartReader::slotAt(int slot) {
    if (slot < 0 || slot >= kSmartDeviceTableSize) return nullptr;
    return &table_[static_cast<std::size_t>(slot)];
}

bool isSmartCapable(const RegistryEntry& entry) {
    DeviceRegistry* registry = entry.registry();
    if (registry == nullptr) return false;
    if (registry->property(entry, kSmartCapableKey)) return true;
    if (!registry->conformsTo(entry, kIOATABlockStorageDeviceClass)) return false;
    const auto characteristics = registry->property(entry, kDeviceCharacteristicsKey);
    const RegistryValue::Dictionary* dictionary =
        characteristics ? characteristics->dictionary() : nullptr;
    if (dictionary == nullptr) return false;
    std::int64_t features = 0;
    if (const auto found = dictionary->find(kAtaFeaturesKey); found != dictionary->end())
        features = found->second.number().value_or(0);
    return (features & kAtaFeatureSmart) != 0;
}

int SmartReader::openSmartDevice(const char* name, const char* type) {
    if (type == nullptr || std::strcmp(type, "ATA") != 0) return fail(EINVAL);

    int free = -1;
    for (int index = 0; index < kSmartDeviceTableSize; ++index) {
        if (!table_[static_cast<std::size_t>(index)].service) {
            free = index;
            break;
        }
    }
    if (free < 0) return fail(EMFILE);

    const std::string_view diskName = name != nullptr ? std::string_view(name) : std::string_view();
    if (registry_ == nullptr || !isAcceptableName(diskName)) return fail(ENOENT);

    const auto bsdName = bsdNameIn(diskName);
    RegistryEntry entry = bsdName ? registry_->serviceMatchingBsdName(*bsdName)
                                  : registry_->entryFromPath(std::string(diskName));
    if (!entry) {
        log::debug(kTag, "%s: no such disk", name);
        return fail(ENOENT);
    }

    // The name finds the media; the SMART interface belongs to the storage device above it.
    while (!isSmartCapable(entry)) {
        RegistryEntry parent = registry_->parentEntry(entry, kIOServicePlane);
        if (!parent) {
            log::debug(kTag, "%s: no SMART-capable device above it", name);
            return fail(ENODEV);
        }
        entry = std::move(parent);
    }

    SmartDeviceSlot& slot = table_[static_cast<std::size_t>(free)];
    slot.service = std::move(entry);
    slot.plugInInterface.reset();
    slot.smartInterface.reset();

    if (SmartDeviceBackend* backend = backend_) {
        const kern_return_t status =
            backend->createPlugInInterface(slot.service, slot.plugInInterface);
        if (status == kIOReturnSuccess && slot.plugInInterface)
            slot.smartInterface = slot.plugInInterface->queryInterface();
        else
            log::debug(kTag, "%s: no SMART plug-in (%08x)", name, static_cast<unsigned>(status));
    }
    return free;
}

int SmartReader::readSmartData(int slot, SmartDataBlock& buffer) {
    SmartDeviceSlot* open = slotAt(slot);
    if (open == nullptr || !open->service) return fail(EBADF);
    if (!open->smartInterface) return fail(EIO);

    for (int attempt = 1; attempt <= kSmartReadAttempts; ++attempt) {
        const auto started = clock_.now();
        open->smartInterface->enableOperations(true);
        const SmartOutcome outcome = open->smartInterface->readData(buffer);
        switch (outcome) {
            case SmartOutcome::Success:
                return 0;
            case SmartOutcome::ExclusiveAccess:
                log::debug(kTag, "slot %d: drive held by another client", slot);
                return fail(EBUSY);
            case SmartOutcome::Timeout:
            case SmartOutcome::NotResponding:
                log::debug(kTag, "slot %d: attempt %d: %s", slot, attempt,
                           smartOutcomeName(outcome));
                // The pause follows the last attempt too: a drive that keeps timing out
                // costs six attempts and six seconds, however long each one waited on it.
                pauseRestOfAttempt(clock_, started);
                break;
            case SmartOutcome::Standby:
                log::debug(kTag, "slot %d: drive asleep, left alone", slot);
                return fail(EAGAIN);
            case SmartOutcome::OtherError:
                log::debug(kTag, "slot %d: read failed", slot);
                return fail(EIO);
        }
    }
    return fail(ETIMEDOUT);
}

int SmartReader::closeSmartDevice(int slot) {
    SmartDeviceSlot* open = slotAt(slot);
    if (open == nullptr) return fail(EBADF);
    // The interface goes before the plug-in that gave it out, the entry last.
    open->smartInterface.reset();
    open->plugInInterface.reset();
    open->service.reset();
    return 0;
}

DriveTemperature SmartReader::temperatureOf(SmartDevice& device, const SmartDataBlock& block) {
    if (device.dataFormat() == SmartDataFormat::NvmeHealthLog) {
        if (const auto celsius = temperatureFromNvmeHealthLog(block))
            return {*celsius, TemperatureSource::NvmeHealthLog};
        return {};
    }
    if (const DriveTemperature found = temperatureFromAttributes(block); found.celsius != 0)
        return found;
    // The drive just answered, so it is awake: one more command for its SCT status.
    SmartDataBlock page{};
    const SmartOutcome outcome = device.readSctStatus(page);
    if (outcome != SmartOutcome::Success) {
        log::debug(kTag, "no temperature attribute, no SCT status (%s)", smartOutcomeName(outcome));
        return {};
    }
    if (const auto celsius = temperatureFromSctStatus(page))
        return {*celsius, TemperatureSource::SctStatus};
    return {};
}

std::uint8_t SmartReader::readDriveTemperature(const char* name) {
    lastSource_ = TemperatureSource::None;
    SmartDataBlock buffer{};
    const int slot = openSmartDevice(name, "ATA");
    if (slot < 0) return 0;
    DriveTemperature temperature;
    if (readSmartData(slot, buffer) == 0)
        temperature = temperatureOf(*table_[static_cast<std::size_t>(slot)].smartInterface, buffer);
    closeSmartDevice(slot);
    lastSource_ = temperature.source;
    return temperature.celsius;
}

}  // namespace drivetherm
