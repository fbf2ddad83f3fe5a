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

// Whether an outcome of readying or enabling a drive ends the reader's attempt before its
// read: the drive timed out, does not respond, or another client holds it.
bool endsAttempt(SmartOutcome outcome);

// What the 512 bytes of a drive's SMART data hold: the ATA attribute table of SMART READ DATA,
// or the SMART / Health Information log page of an NVMe controller.
enum class SmartDataFormat { AtaAttributes, NvmeHealthLog };

// The SMART interface of one drive: what the reader sends to it. Destroying it releases it.
//
// The reader makes each read attempt as enableOperations followed by readData. A drive that
// times out, does not respond or is held by another client while being enabled ends the
// attempt there: its readData answers the same outcome without sending anything, so an attempt
// on a hung drive costs one command time-out, not two.
class SmartDevice {
public:
    virtual ~SmartDevice() = default;
    // SMART ENABLE OPERATIONS (or DISABLE); the reader ignores the outcome.
    virtual SmartOutcome enableOperations(bool enable) = 0;
    // SMART READ DATA into `data` (for NVMe, the health log); `data` holds the drive's block
    // only on Success.
    virtual SmartOutcome readData(SmartDataBlock& data) = 0;
    // What readData's block holds.
    virtual SmartDataFormat dataFormat() const { return SmartDataFormat::AtaAttributes; }
    // The SCT status page (SMART READ LOG of log E0h) into `data`, once, without retries; only
    // after a successful readData, from a drive that is awake. OtherError without sending
    // anything when the drive has no SCT.
    virtual SmartOutcome readSctStatus(SmartDataBlock& data) {
        static_cast<void>(data);
        return SmartOutcome::OtherError;
    }
};

}  // namespace drivetherm
