// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <memory>

#include "hardware/smc/SmcTransport.h"
#include "hardware/smc/sim/SimSmcController.h"

namespace drivetherm {

// The SMC driver of the simulated machine: every connection it opens exchanges records with one
// shared SimSmcController, so the daemon, the D-Bus simulator interface and tests all see the
// same keys. Opening fails as the controller's open fault says.
class SimSmcDriver final : public SmcDriver {
public:
    explicit SimSmcDriver(std::shared_ptr<SimSmcController> controller);

    SmcOpenResult open() override;

    const std::shared_ptr<SimSmcController>& controller() const { return controller_; }

    // The statuses a failed open reports, as a real machine would show them: the registry
    // lookup failing, and a client without root refused by the controller.
    static constexpr kern_return_t kMatchingFailedStatus = kIOReturnError;
    static constexpr kern_return_t kOpenFailedStatus = kIOReturnNotPrivileged;

private:
    std::shared_ptr<SimSmcController> controller_;
};

}  // namespace drivetherm
