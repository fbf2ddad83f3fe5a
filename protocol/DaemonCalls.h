// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <functional>
#include <string>

#include "protocol/DaemonProtocol.h"

namespace drivetherm {

// How a front end talks to the daemon without waiting for it: a call is handed over with what
// to do once it is answered, and the answer arrives later on the thread that handed it over.
// Calls run one at a time, in the order they were handed over, so a read handed over after a
// change sees the change.
class DaemonCalls {
public:
    enum class Outcome {
        Done,     // the daemon answered
        Refused,  // the daemon refused a change (no privilege, a bad value)
        Lost,     // the daemon went away during the call, or never answered
        Absent,   // there is no daemon to call (not running, no bus)
        Failed,   // an answer the front end does not understand
    };
    struct Result {
        Outcome outcome = Outcome::Done;
        // One line for the user when the outcome is not Done.
        std::string message;
        bool ok() const { return outcome == Outcome::Done; }
    };
    // Runs on the calling side's worker, never on the user-interface thread; may throw the
    // DaemonProtocol's exceptions, which become the Result.
    using Call = std::function<void(DaemonProtocol&)>;
    // Runs on the thread that submitted the call, after the call.
    using Done = std::function<void(const Result&)>;

    virtual ~DaemonCalls() = default;
    virtual void submit(Call call, Done done) = 0;
};

}  // namespace drivetherm
