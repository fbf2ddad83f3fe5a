// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

namespace drivetherm {

// The shipped default simulated machine: the copy in the source tree when the program runs from
// its build tree (so the README's commands work before anything is installed), the installed
// copy under the data directory otherwise.
std::string defaultMachineFile();

}  // namespace drivetherm
