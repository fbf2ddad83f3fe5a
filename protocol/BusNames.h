// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

namespace drivetherm::bus {

// Where the daemon is found on D-Bus.
inline constexpr const char* kServiceName = "com.quillmoor.Drivetherm";
// The one object there; its interfaces are DaemonInterface and, on a simulated machine,
// SimulatorInterface.
inline constexpr const char* kObjectPath = "/com/quillmoor/Drivetherm";
// The polkit action that lets a user who is not root change the settings.
inline constexpr const char* kConfigureAction = "com.quillmoor.Drivetherm.configure";
// Longest drive name the daemon accepts; model strings are 40 characters.
inline constexpr unsigned kLongestDriveName = 255;

}  // namespace drivetherm::bus
