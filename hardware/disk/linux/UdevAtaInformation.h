// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace drivetherm {

// The ATA Information VPD page (89h) that the kernel's SCSI-to-ATA translation keeps for every
// ATA disk behind libata, in sysfs as device/vpd_pg89. It holds the drive's IDENTIFY DEVICE
// data, so the registry can tell a SMART-capable drive where udev has not recorded
// ID_ATA_FEATURE_SET_SMART (no udev daemon, or not yet). The kernel fills the page when it
// scans the disk; reading it sends nothing to the drive.
inline constexpr std::size_t kAtaInformationPageSize = 572;

// Whether the IDENTIFY DEVICE data in the page says the drive supports the SMART feature set
// (word 82 bit 0, the bit udev's ID_ATA_FEATURE_SET_SMART reports), or nothing when the page is
// no such page: too short, another page code, data of another command than IDENTIFY DEVICE
// (a packet device's), or words 82-84 marked invalid (word 83 bits 15:14 other than 01b).
std::optional<bool> smartSupportedFromAtaInformation(std::string_view page);

// Whether the IDENTIFY DEVICE data in the page says the drive has the SCT command transport
// (word 206 bit 0), through which it reports its SCT status page; nothing when the page holds
// no IDENTIFY DEVICE data.
std::optional<bool> sctSupportedFromAtaInformation(std::string_view page);

}  // namespace drivetherm
