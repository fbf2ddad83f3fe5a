// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <memory>

#include "hardware/IOReturn.h"
#include "hardware/smc/SmcParamRecord.h"

namespace drivetherm {

// One open connection to an SMC: exchanges one 80-byte request for one 80-byte reply.
// Backends: the simulated controller (sim/) and the kernel's applesmc driver
// (linux/).
class SmcTransport {
public:
    virtual ~SmcTransport() = default;
    virtual kern_return_t callSmc(const SmcParamRecord& request, SmcParamRecord& reply) = 0;
};

// What opening a connection came to. `step` says which of the three ways of failing happened, so
// that openSmcConnection prints the matching message.
struct SmcOpenResult {
    enum class Step {
        Opened,          // `connection` is valid
        MatchingFailed,  // the lookup of the controller failed with `status`
        NoService,       // no controller on this machine
        OpenFailed,      // the controller exists but refused the connection with `status`
    };
    Step step = Step::NoService;
    kern_return_t status = kIOReturnSuccess;
    std::unique_ptr<SmcTransport> connection;
};

// Finds the machine's SMC and opens connections to it: what the platform's service registry is
// to the SMC user client. An SmcSession opens its connections through one.
class SmcDriver {
public:
    virtual ~SmcDriver() = default;
    virtual SmcOpenResult open() = 0;
};

}  // namespace drivetherm
