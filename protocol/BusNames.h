// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

namespace drivetherm::bus {

// Where the daemon is found on D-Bus.
inline constexpr const char* kServiceName = "com.quillmoor.Drivetherm";
inline constexpr const char* kObjectPath = "/com/quillmoor/Drivetherm";
inline constexpr const char* kInterface = "com.quillmoor.Drivetherm.DaemonProtocol";
inline constexpr const char* kSimulatorInterface = "com.quillmoor.Drivetherm.Simulator";
// The polkit action that lets a user who is not root change the settings.
inline constexpr const char* kConfigureAction = "com.quillmoor.Drivetherm.configure";
// Longest drive name the daemon accepts; model strings are 40 characters.
inline constexpr unsigned kLongestDriveName = 255;

}  // namespace drivetherm::bus
