// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/sim/SimDriveBay.h"

#include <algorithm>

#include "hardware/disk/DeviceRegistry.h"
#include "hardware/disk/SmartReader.h"

namespace drivetherm {
namespace {

constexpr const char* kSimDriveKey = "Sim Drive";

// The SMART interface of one simulated drive; it finds its drive by name at every call, so a
// drive taken out of the bay answers as a disk that is gone.
class SimSmartDevice final : public SmartDevice {
public:
    SimSmartDevice(SimDriveBay& bay, std::string bsdName)
        : bay_(bay), bsdName_(std::move(bsdName)) {}

    SmartOutcome enableOperations(bool) override {
        const SimDrive* drive = bay_.drive(bsdName_);
        return drive != nullptr ? drive->enable() : SmartOutcome::NotResponding;
    }
    SmartOutcome readData(SmartDataBlock& data) override { return bay_.readDrive(bsdName_, data); }
    SmartOutcome readSctStatus(SmartDataBlock& data) override {
        return bay_.readDriveSctStatus(bsdName_, data);
    }
    SmartDataFormat dataFormat() const override {
        const SimDrive* drive = bay_.drive(bsdName_);
        return drive != nullptr && drive->interface() == SimDriveInterface::Nvme
                   ? SmartDataFormat::NvmeHealthLog
                   : SmartDataFormat::AtaAttributes;
    }

private:
    SimDriveBay& bay_;
    std::string bsdName_;
};

class SimPlugIn final : public SmartDevicePlugIn {
public:
    SimPlugIn(SimDriveBay& bay, std::string bsdName) : bay_(bay), bsdName_(std::move(bsdName)) {}
    std::unique_ptr<SmartDevice> queryInterface() override {
        return std::make_unique<SimSmartDevice>(bay_, bsdName_);
    }

private:
    SimDriveBay& bay_;
    std::string bsdName_;
};

}  // namespace

SimDriveBay::SimDriveBay(std::vector<SimDrive> drives) : drives_(std::move(drives)) {
    rebuildTree();
}

void SimDriveBay::rebuildTree() {
    auto tree = std::make_shared<RegistryTree>();
    for (std::size_t index = 0; index < drives_.size(); ++index) {
        const SimDrive& drive = drives_[index];
        if (!drive.present()) continue;
        const auto port = tree->addChild(RegistryTree::kRoot, "sata" + std::to_string(index),
                                         {"IOAHCIPort", kIOServiceClass});
        std::vector<std::string> classes{kIOBlockStorageDeviceClass, kIOServiceClass};
        RegistryValue::Dictionary characteristics{{kProductNameKey, drive.model()}};
        RegistryValue::Dictionary properties{{kSimDriveKey, drive.bsdName()}};
        switch (drive.smart()) {
            case SimSmartSupport::Property:
                properties.emplace(kSmartCapableKey, true);
                break;
            case SimSmartSupport::AtaFeatures:
                classes.insert(classes.begin(), kIOATABlockStorageDeviceClass);
                characteristics.emplace(kAtaFeaturesKey, drive.ataFeatures());
                break;
            case SimSmartSupport::None:
                break;
        }
        properties.emplace(kDeviceCharacteristicsKey, std::move(characteristics));
        if (drive.interface() == SimDriveInterface::Nvme)
            properties.emplace(kCommandSetKey, kNvmeCommandSet);
        const auto device =
            tree->addChild(port, drive.bsdName() + "-device", classes, std::move(properties));
        const auto driver = tree->addChild(device, kIOBlockStorageDriverClass,
                                           {kIOBlockStorageDriverClass, kIOServiceClass});
        tree->addChild(driver, drive.bsdName(), {kIOMediaClass, kIOServiceClass},
                       {{kBsdNameKey, drive.bsdName()}});
        tree->setDiskDescription(drive.bsdName(),
                                 {{kDiskDescriptionDeviceModelKey, drive.model()}});
    }
    setTree(std::move(tree));
}

SimDrive* SimDriveBay::find(const std::string& bsdName) {
    for (SimDrive& drive : drives_)
        if (drive.bsdName() == bsdName) return &drive;
    return nullptr;
}

const SimDrive* SimDriveBay::drive(const std::string& bsdName) const {
    return const_cast<SimDriveBay*>(this)->find(bsdName);
}

SmartOutcome SimDriveBay::readDrive(const std::string& bsdName, SmartDataBlock& data) {
    SimDrive* drive = find(bsdName);
    return drive != nullptr ? drive->read(data) : SmartOutcome::NotResponding;
}

SmartOutcome SimDriveBay::readDriveSctStatus(const std::string& bsdName, SmartDataBlock& data) {
    SimDrive* drive = find(bsdName);
    return drive != nullptr ? drive->readSctStatus(data) : SmartOutcome::NotResponding;
}

bool SimDriveBay::setTemperature(const std::string& bsdName, std::uint8_t celsius) {
    SimDrive* drive = find(bsdName);
    return drive != nullptr && drive->setTemperature(celsius);
}

std::optional<std::uint8_t> SimDriveBay::temperature(const std::string& bsdName) const {
    const SimDrive* found = drive(bsdName);
    return found != nullptr ? found->temperature() : std::nullopt;
}

bool SimDriveBay::setFault(const std::string& bsdName, const std::string& fault) {
    SimDrive* drive = find(bsdName);
    const auto parsed = simDriveFaultFromName(fault);
    if (drive == nullptr || !parsed) return false;
    const bool wasPresent = drive->present();
    drive->setFault(*parsed);
    if (drive->present() != wasPresent) rebuildTree();
    return true;
}

bool SimDriveBay::setPowerMode(const std::string& bsdName, const std::string& mode) {
    SimDrive* drive = find(bsdName);
    if (drive == nullptr || (mode != "active" && mode != "standby")) return false;
    drive->setStandby(mode == "standby");
    return true;
}

int SimDriveBay::readCount(const std::string& bsdName) const {
    const SimDrive* found = drive(bsdName);
    return found != nullptr ? found->readCount() : -1;
}

kern_return_t SimDriveBay::createPlugInInterface(const RegistryEntry& service,
                                                 std::unique_ptr<SmartDevicePlugIn>& plugIn) {
    plugIn.reset();
    if (service.registry() != this) return kIOReturnBadArgument;
    const auto name = property(service, kSimDriveKey);
    if (!name || name->string() == nullptr) return kIOReturnUnsupported;
    plugIn = std::make_unique<SimPlugIn>(*this, *name->string());
    return kIOReturnSuccess;
}

}  // namespace drivetherm
