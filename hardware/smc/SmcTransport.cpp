// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/smc/SmcTransport.h"

namespace drivetherm {
namespace {

// The process's one SMC driver. Installed once at start-up by the program's wiring (or by a
// test) before any connection is opened.
SmcDriver* installedDriver = nullptr;

}  // namespace

void setSmcDriver(SmcDriver* driver) { installedDriver = driver; }

SmcDriver* smcDriver() { return installedDriver; }

}  // namespace drivetherm
