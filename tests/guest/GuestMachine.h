// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace drivetherm::guest {

// What the guest's checks expect and what the guest's kernel shows, read without the code under
// test. The harness describes the emulated machine in the environment:
//
//   DT_GUEST_MACHINE        "sata" or "ide"
//   DT_GUEST_SERIALS        the serial numbers of the emulated ATA disks, blank-separated
//   DT_GUEST_MODEL_<serial> the model QEMU was given for that disk (up to 40 characters)
//   DT_GUEST_ROTATION_<serial> its rotation rate in rpm, 1 for a solid-state disk
//   DT_GUEST_PARTITIONED    the serial of the disk whose image carries a partition table
//   DT_GUEST_UDEV           "yes" when systemd-udevd has filled its database, else "no"
//   DT_GUEST_CDB            16 or 12: the ATA PASS-THROUGH size the SG_IO backend is set to
//
// Which kernel name a disk gets is the kernel's business (the AHCI ports are probed in
// parallel, so the first port is not always "sda"): a disk is recognised by the serial number
// the kernel keeps in its unit serial number page (sysfs device/vpd_pg80).
struct GuestDisk {
    std::string kernelName;  // "sda"
    std::string vendor;      // sysfs device/vendor, trailing blanks removed
    std::string sysfsModel;  // sysfs device/model, trailing blanks removed
    std::string serial;      // from device/vpd_pg80; empty for a drive without one
    std::optional<std::string> expectedModel;  // what QEMU was told, for the ATA disks
    unsigned expectedRotation = 0;             // the rotation rate QEMU was told, 0 when not told
    std::string majorMinor;                    // sysfs "dev": "8:0"
    bool rotational = false;                   // sysfs queue/rotational
    std::vector<std::string> partitions;       // kernel names of its partitions ("sda1")
    bool isAta() const { return vendor == "ATA"; }
};

class GuestMachine {
public:
    // The machine as the environment describes it and /sys shows it; nothing is cached.
    static GuestMachine fromEnvironment();

    const std::string& machine() const { return machine_; }
    bool withUdev() const { return withUdev_; }
    unsigned cdbLength() const { return cdbLength_; }

    // Whole disks (DEVTYPE=disk, not under /sys/devices/virtual) in kernel-name order.
    const std::vector<GuestDisk>& disks() const { return disks_; }
    // The serials the harness gave to ATA disks, in the order it gave them.
    const std::vector<std::string>& expectedSerials() const { return serials_; }
    const std::string& partitionedSerial() const { return partitioned_; }

    const GuestDisk* diskWithSerial(const std::string& serial) const;
    const GuestDisk* firstNonAtaDisk() const;
    // The BSD name the registry should give a whole disk: its place in kernel-name order.
    std::string bsdNameOf(const GuestDisk& disk) const;
    // The model string the drive list should show for an ATA disk in this run: QEMU's model
    // with udev, the kernel's 16-character cut without it; trailing blanks removed either way.
    std::string listedModelOf(const GuestDisk& disk) const;
    // The model string of the other run (so it must resolve to nothing in this one).
    std::string otherRunModelOf(const GuestDisk& disk) const;

private:
    std::string machine_;
    bool withUdev_ = false;
    unsigned cdbLength_ = 16;
    std::vector<std::string> serials_;
    std::map<std::string, std::string> models_;
    std::string partitioned_;
    std::vector<GuestDisk> disks_;
};

// Small helpers over files of /sys and /dev, for the checks' own view.
std::optional<std::string> readTextFile(const std::string& path);
std::string withoutTrailingBlanks(std::string text);

}  // namespace drivetherm::guest
