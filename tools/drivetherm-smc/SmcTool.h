// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "tools/drivetherm-smc/SmcToolOptions.h"

namespace drivetherm {

class SmcSession;

// drivetherm-smc: reads and writes the SMC's keys, lists them, reports the fans and returns them
// to automatic control, on the real SMC (the kernel's applesmc driver) or on a simulated
// controller of its own, loaded afresh from a machine file on every run.
class SmcTool {
public:
    SmcTool(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

    // Runs one command line; returns the exit status: 0 done, 1 the SMC or a file failed,
    // 2 the command line is wrong.
    int run(int argc, const char* const* argv);

private:
    int runAction(const SmcToolOptions& options, SmcSession& smc);
    int readKey(const SmcToolOptions& options, SmcSession& smc);
    int writeKey(const SmcToolOptions& options, SmcSession& smc);
    int releaseFans(const SmcToolOptions& options, SmcSession& smc);
    int noSmc(const SmcToolOptions& options, const SmcSession& smc);
    int fail(const std::string& message);

    std::FILE* out_;
    std::FILE* err_;
};

}  // namespace drivetherm
