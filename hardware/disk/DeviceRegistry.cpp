// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/disk/DeviceRegistry.h"

namespace drivetherm {
namespace {

DeviceRegistry* installedRegistry = nullptr;

}  // namespace

void setDeviceRegistry(DeviceRegistry* registry) { installedRegistry = registry; }

DeviceRegistry* deviceRegistry() { return installedRegistry; }

}  // namespace drivetherm
