// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/smc/linux/ApplesmcDriver.h"

#include "hardware/smc/linux/ApplesmcTransport.h"

namespace drivetherm {

ApplesmcDriver::ApplesmcDriver(std::string sysfsRoot, ApplesmcFiles& files, Reads reads)
    : root_(std::move(sysfsRoot)), files_(files), reads_(reads) {
    while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
}

std::vector<std::string> ApplesmcDriver::hwmonDirectories() {
    std::vector<std::string> candidates;
    const std::string hwmon = root_ + "/class/hwmon";
    for (const std::string& entry : files_.listDirectory(hwmon)) {
        const std::string device = hwmon + "/" + entry + "/device";
        char name[32];
        const long count = files_.readFile(device + "/name", name, sizeof name);
        if (count >= 8 &&
            std::string_view(name, static_cast<std::size_t>(count)).substr(0, 8) == "applesmc" &&
            (count == 8 || name[8] == '\n')) {
            candidates.push_back(device);
        }
    }
    return candidates;
}

SmcOpenResult ApplesmcDriver::open() {
    SmcOpenResult result;
    std::uint32_t count = 0;
    // A steady open costs one read: the device found before still answering key_count. One that
    // is there but does not answer (the driver's time-out, EIO) is not looked for elsewhere: every
    // other directory leads to the same SMC and would hold the caller for another time-out.
    kern_return_t status = kIOReturnNoDevice;
    if (device_) {
        status = device_->keys().readKeyCount(count);
        if (status == kIOReturnNoDevice) device_.reset();
    }
    // Whether the directory holds an applesmc device, answering or not.
    auto tryDirectory = [&](const std::string& directory) {
        auto device = std::make_shared<ApplesmcDevice>(files_, directory);
        status = device->keys().readKeyCount(count);
        if (status == kIOReturnSuccess) device_ = std::move(device);
        return status != kIOReturnNoDevice;
    };
    if (!device_ && status == kIOReturnNoDevice &&
        !tryDirectory(root_ + "/devices/platform/applesmc.768")) {
        // Some kernels show the driver's files only through its hwmon class device.
        for (const std::string& directory : hwmonDirectories()) {
            if (tryDirectory(directory)) break;
        }
    }
    if (status == kIOReturnNoDevice) {
        result.step = SmcOpenResult::Step::NoService;
        return result;
    }
    if (!device_ || status != kIOReturnSuccess) {
        // The driver is there but the SMC does not answer it: failing, not missing.
        result.step = SmcOpenResult::Step::OpenFailed;
        result.status = status;
        return result;
    }
    result.step = SmcOpenResult::Step::Opened;
    result.connection = std::make_unique<ApplesmcTransport>(device_, reads_ == Reads::SmcBytes);
    return result;
}

}  // namespace drivetherm
