// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/linux/UdevAtaInformation.h"

#include <cstdint>

namespace drivetherm {
namespace {

constexpr unsigned char kAtaInformationPageCode = 0x89;
constexpr std::size_t kCommandCodeOffset = 56;
constexpr unsigned char kIdentifyDevice = 0xEC;
constexpr std::size_t kIdentifyDataOffset = 60;

constexpr unsigned kCommandSetsSupported = 82;
constexpr unsigned kCommandSetsSupportedValidity = 83;
constexpr std::uint16_t kValidityMask = 0xC000;
constexpr std::uint16_t kValid = 0x4000;
constexpr std::uint16_t kSmartFeatureSet = 0x0001;
constexpr unsigned kSctCommandTransport = 206;
constexpr std::uint16_t kSctSupported = 0x0001;

// IDENTIFY DEVICE words are little-endian.
std::uint16_t identifyWord(std::string_view page, unsigned word) {
    const std::size_t at = kIdentifyDataOffset + 2 * word;
    return static_cast<std::uint16_t>(static_cast<unsigned char>(page[at]) |
                                      (static_cast<unsigned char>(page[at + 1]) << 8));
}

// Whether the page holds a disk's IDENTIFY DEVICE data.
bool holdsIdentifyDevice(std::string_view page) {
    return page.size() >= kAtaInformationPageSize &&
           static_cast<unsigned char>(page[1]) == kAtaInformationPageCode &&
           static_cast<unsigned char>(page[kCommandCodeOffset]) == kIdentifyDevice;
}

}  // namespace

std::optional<bool> smartSupportedFromAtaInformation(std::string_view page) {
    if (!holdsIdentifyDevice(page)) return std::nullopt;
    if ((identifyWord(page, kCommandSetsSupportedValidity) & kValidityMask) != kValid)
        return std::nullopt;
    return (identifyWord(page, kCommandSetsSupported) & kSmartFeatureSet) != 0;
}

std::optional<bool> sctSupportedFromAtaInformation(std::string_view page) {
    if (!holdsIdentifyDevice(page)) return std::nullopt;
    return (identifyWord(page, kSctCommandTransport) & kSctSupported) != 0;
}

}  // namespace drivetherm
