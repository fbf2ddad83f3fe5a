// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

namespace drivetherm {

// Shows one notification on the desktop through the session bus's notification service
// (org.freedesktop.Notifications). False, and nothing shown, where no such service listens.
bool notifyDesktop(const std::string& summary, const std::string& body);

}  // namespace drivetherm
