// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hardware/disk/SmartDeviceBackend.h"
#include "hardware/disk/TreeRegistry.h"
#include "hardware/disk/sim/SimDrive.h"

namespace drivetherm {

// The simulated machine's disks: the device registry the drive walk and the SMART reader look
// them up in, and the SMART backend that reads them. Each present drive appears, in the order
// given, as
//
//   port "sata<n>" → device (IOATABlockStorageDevice with "ATA Features" for "ata-features",
//   IOBlockStorageDevice with "SMART Capable" = true for "property", or without either; an NVMe
//   drive's carries "Command Set" = "NVMe") → IOBlockStorageDriver → IOMedia "BSD Name" =
//   bsdName, and its model as disk description.
//
// The thermal model and the bus's Simulator interface change temperatures and faults while the
// daemon runs; an "absent" drive leaves the registry until its fault is cleared.
class SimDriveBay final : public TreeRegistry, public SmartDeviceBackend {
public:
    explicit SimDriveBay(std::vector<SimDrive> drives);

    // Sets the drive's temperature where it reports it (SimDrive::setTemperature); false for an
    // unknown drive or one that reports none.
    bool setTemperature(const std::string& bsdName, std::uint8_t celsius);
    std::optional<std::uint8_t> temperature(const std::string& bsdName) const;
    // "none", "timeout", "not-responding", "busy", "no-attribute" or "absent"; false for an
    // unknown drive or fault. A fault set here lasts until the next one.
    bool setFault(const std::string& bsdName, const std::string& fault);
    // "active" or "standby".
    bool setPowerMode(const std::string& bsdName, const std::string& mode);
    // SMART data and SCT status reads that reached the drive; -1 for an unknown drive.
    int readCount(const std::string& bsdName) const;

    const SimDrive* drive(const std::string& bsdName) const;
    // One SMART READ DATA of the drive; a drive that is not in the bay does not respond.
    SmartOutcome readDrive(const std::string& bsdName, SmartDataBlock& data);
    // Its SCT status page.
    SmartOutcome readDriveSctStatus(const std::string& bsdName, SmartDataBlock& data);

    kern_return_t createPlugInInterface(const RegistryEntry& service,
                                        std::unique_ptr<SmartDevicePlugIn>& plugIn) override;

private:
    SimDrive* find(const std::string& bsdName);
    void rebuildTree();

    std::vector<SimDrive> drives_;
};

}  // namespace drivetherm
