// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hardware/smc/SmcTransport.h"
#include "hardware/smc/linux/ApplesmcDevice.h"
#include "hardware/smc/linux/ApplesmcFiles.h"

namespace drivetherm {

// The real SMC on Linux: the kernel's applesmc driver under `<root>/devices/platform/
// applesmc.768`, or under `<root>/class/hwmon/hwmon*/device` whose `name` is "applesmc". The
// SMC is found when that directory answers `key_count`. Without the directory opening fails as
// "no SMC found"; when it is there but `key_count` fails (an SMC that does not answer the
// driver: EIO), as a failed open with that status. What is learnt about the device (its keys,
// its files) is kept for the process's life.
class ApplesmcDriver final : public SmcDriver {
public:
    // Where reads come from. The driver's dedicated files (`fanN_*`, `tempN_input`) cost one file
    // operation and no selector, but show whole rpm and quarter degrees: what the daemon decodes.
    // `key_at_index_data` gives the SMC's own bytes, fraction bits included: what a listing shows.
    enum class Reads { DedicatedFiles, SmcBytes };

    explicit ApplesmcDriver(std::string sysfsRoot, ApplesmcFiles& files = posixApplesmcFiles(),
                            Reads reads = Reads::DedicatedFiles);

    SmcOpenResult open() override;

    // The device directory the last successful open used; empty before.
    std::string deviceDirectory() const { return device_ ? device_->directory() : std::string(); }

private:
    std::vector<std::string> hwmonDirectories();

    std::string root_;
    ApplesmcFiles& files_;
    Reads reads_;
    std::shared_ptr<ApplesmcDevice> device_;
};

}  // namespace drivetherm
