// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hardware/disk/DeviceRegistry.h"
#include "hardware/disk/RegistryTree.h"
#include "hardware/disk/SmartData.h"
#include "hardware/disk/SmartDeviceBackend.h"
#include "hardware/disk/TreeRegistry.h"

namespace drivetherm::test {

// How a test disk declares SMART support.
enum class Smart { Property, PropertyFalse, AtaFeatures, None };

// One disk of a test registry: device → driver → media ("BSD Name") plus its description.
// The flags break one link of the chain each.
struct TestDisk {
    std::string bsdName{};
    std::string model{};
    Smart smart = Smart::Property;
    std::int64_t ataFeatures = 0;
    bool hasDriver = true;
    bool driverFirst = true;  // false: a non-driver child comes before the driver
    bool hasMedia = true;
    bool hasBsdName = true;
    bool hasModel = true;
    std::vector<std::string> partitions{};  // BSD names of partition media below the whole disk
};

// Builds a registry tree of `disks` below one controller node each; every device carries
// "Test Drive" = its BSD name so fake backends can tell them apart.
inline std::shared_ptr<RegistryTree> buildTree(const std::vector<TestDisk>& disks) {
    auto tree = std::make_shared<RegistryTree>();
    for (const TestDisk& disk : disks) {
        const auto port = tree->addChild(RegistryTree::kRoot, "port-" + disk.bsdName,
                                         {"IOAHCIPort", "IOService"});
        std::vector<std::string> classes{kIOBlockStorageDeviceClass, kIOServiceClass};
        RegistryValue::Dictionary properties{{"Test Drive", disk.bsdName}};
        switch (disk.smart) {
            case Smart::Property:
                properties.emplace(kSmartCapableKey, true);
                break;
            case Smart::PropertyFalse:
                properties.emplace(kSmartCapableKey, false);
                break;
            case Smart::AtaFeatures:
                classes.insert(classes.begin(), kIOATABlockStorageDeviceClass);
                properties.emplace(kDeviceCharacteristicsKey,
                                   RegistryValue::Dictionary{{kAtaFeaturesKey, disk.ataFeatures}});
                break;
            case Smart::None:
                break;
        }
        const auto device = tree->addChild(port, "device-" + disk.bsdName, classes, properties);
        if (!disk.driverFirst) tree->addChild(device, "other", {"IOService"});
        if (disk.hasDriver) {
            const auto driver =
                tree->addChild(device, "driver", {kIOBlockStorageDriverClass, kIOServiceClass});
            if (disk.hasMedia) {
                RegistryValue::Dictionary media;
                if (disk.hasBsdName) media.emplace(kBsdNameKey, disk.bsdName);
                const auto whole =
                    tree->addChild(driver, disk.bsdName, {kIOMediaClass, kIOServiceClass}, media);
                tree->addAlias("alias-" + disk.bsdName, whole);
                if (!disk.partitions.empty()) {
                    const auto scheme =
                        tree->addChild(whole, "scheme", {kIOPartitionSchemeClass, kIOServiceClass});
                    for (const auto& partition : disk.partitions)
                        tree->addChild(scheme, partition, {kIOMediaClass, kIOServiceClass},
                                       {{kBsdNameKey, partition}});
                }
            }
        }
        if (disk.hasModel)
            tree->setDiskDescription(disk.bsdName, {{kDiskDescriptionDeviceModelKey, disk.model}});
    }
    return tree;
}

// A registry whose search fails with a given status.
class FailingRegistry final : public TreeRegistry {
public:
    explicit FailingRegistry(kern_return_t status) : status_(status) {}

protected:
    kern_return_t willLookUp(LookUp) override { return status_; }

private:
    kern_return_t status_;
};

// What a fake drive answers: one outcome per read, the last repeated; its block on success, in
// its format; its SCT status page, when it has SCT.
struct FakeDriveScript {
    std::deque<SmartOutcome> outcomes{SmartOutcome::Success};
    SmartDataBlock block{};
    SmartDataFormat format = SmartDataFormat::AtaAttributes;
    std::optional<SmartDataBlock> sctStatus{};
};

// Counts of what the reader did to the fake drives.
struct FakeDriveLog {
    int enables = 0;
    int reads = 0;
    int sctReads = 0;
    int interfacesAlive = 0;
    int plugInsAlive = 0;
};

// A SMART backend over scripted drives, keyed by the device's "Test Drive" property.
class FakeSmartBackend final : public SmartDeviceBackend {
public:
    std::map<std::string, FakeDriveScript> drives;
    FakeDriveLog log;
    bool failPlugIn = false;
    bool failInterface = false;
    // Called in every read, before it answers: lets a test spend the drive's time.
    std::function<void()> duringRead;

    kern_return_t createPlugInInterface(const RegistryEntry& service,
                                        std::unique_ptr<SmartDevicePlugIn>& plugIn) override {
        if (failPlugIn) return kIOReturnUnsupported;
        const auto name = service.registry()->property(service, "Test Drive");
        if (!name || name->string() == nullptr) return kIOReturnNoDevice;
        plugIn = std::make_unique<PlugIn>(*this, *name->string());
        return kIOReturnSuccess;
    }

private:
    class Device final : public SmartDevice {
    public:
        Device(FakeSmartBackend& backend, std::string name)
            : backend_(backend), name_(std::move(name)) {
            ++backend_.log.interfacesAlive;
        }
        ~Device() override { --backend_.log.interfacesAlive; }
        SmartOutcome enableOperations(bool) override {
            ++backend_.log.enables;
            return SmartOutcome::Success;
        }
        SmartOutcome readData(SmartDataBlock& data) override {
            ++backend_.log.reads;
            if (backend_.duringRead) backend_.duringRead();
            FakeDriveScript& script = backend_.drives[name_];
            const SmartOutcome outcome = script.outcomes.front();
            if (script.outcomes.size() > 1) script.outcomes.pop_front();
            if (outcome == SmartOutcome::Success) data = script.block;
            return outcome;
        }
        SmartDataFormat dataFormat() const override { return backend_.drives[name_].format; }
        SmartOutcome readSctStatus(SmartDataBlock& data) override {
            const FakeDriveScript& script = backend_.drives[name_];
            if (!script.sctStatus) return SmartOutcome::OtherError;
            ++backend_.log.sctReads;
            data = *script.sctStatus;
            return SmartOutcome::Success;
        }

    private:
        FakeSmartBackend& backend_;
        std::string name_;
    };

    class PlugIn final : public SmartDevicePlugIn {
    public:
        PlugIn(FakeSmartBackend& backend, std::string name)
            : backend_(backend), name_(std::move(name)) {
            ++backend_.log.plugInsAlive;
        }
        ~PlugIn() override { --backend_.log.plugInsAlive; }
        std::unique_ptr<SmartDevice> queryInterface() override {
            if (backend_.failInterface) return nullptr;
            return std::make_unique<Device>(backend_, name_);
        }

    private:
        FakeSmartBackend& backend_;
        std::string name_;
    };
};

// A SMART block whose attribute table holds (id, first raw byte) pairs from entry 0 on.
inline SmartDataBlock blockWith(
    const std::vector<std::pair<std::uint8_t, std::uint8_t>>& attributes) {
    SmartDataBlock block{};
    block[0] = 0x10;
    std::size_t offset = kSmartAttributeTableOffset;
    for (const auto& [id, raw] : attributes) {
        block[offset] = id;
        block[offset + kSmartAttributeRawOffset] = raw;
        offset += kSmartAttributeEntrySize;
    }
    block[kSmartDataSize - 1] = smartDataChecksum(block);
    return block;
}

}  // namespace drivetherm::test
