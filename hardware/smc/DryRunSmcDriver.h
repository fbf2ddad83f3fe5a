// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "hardware/smc/SmcTransport.h"

namespace drivetherm {

// Runs the daemon against the real SMC without touching the fans: reads pass through to the
// decorated driver; every write (command 6) is logged at info level ("would write F1Mn = 3550
// rpm", or the bytes for other keys) and answered with success, and never reaches the hardware.
class DryRunSmcDriver final : public SmcDriver {
public:
    // `hardware` must outlive this driver and every connection it opens.
    explicit DryRunSmcDriver(SmcDriver& hardware) : hardware_(hardware) {}

    SmcOpenResult open() override;

private:
    SmcDriver& hardware_;
};

}  // namespace drivetherm
