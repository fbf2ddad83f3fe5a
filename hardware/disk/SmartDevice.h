// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "hardware/disk/SmartData.h"

namespace drivetherm {

// What one SMART operation came to. The reader retries a time-out or a drive that does not
// respond, gives up at once on a drive another client holds exclusively, and treats every
// other failure as no reading.
enum class SmartOutcome {
    Success,
    Timeout,          // the drive did not answer in time
    NotResponding,    // no connection to the drive, or it is gone
    ExclusiveAccess,  // another client has the drive to itself
    Standby,          // the drive sleeps; nothing was sent that would spin it up
    OtherError,       // the drive refused the command, or the answer made no sense
};

const char* smartOutcomeName(SmartOutcome outcome);

// The SMART interface of one drive: what the reader sends to it. Destroying it releases it.
class SmartDevice {
public:
    virtual ~SmartDevice() = default;
    // SMART ENABLE OPERATIONS (or DISABLE); the reader ignores the outcome.
    virtual SmartOutcome enableOperations(bool enable) = 0;
    // SMART READ DATA into `data`; `data` holds the drive's block only on Success.
    virtual SmartOutcome readData(SmartDataBlock& data) = 0;
};

}  // namespace drivetherm
