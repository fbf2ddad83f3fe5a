// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "protocol/BusMethod.h"

namespace drivetherm {

// The simulated machine's inside, which the daemon serves beside DaemonInterface only while it
// runs on a simulated machine: for tests, and for people trying the programs without a Mac
// (drivethermctl simulate). SimulatorClient calls these methods.
struct SimulatorInterface {
    static constexpr const char* kName = "com.quillmoor.Drivetherm.Simulator";

    static constexpr BusMethod kReadKey{"ReadKey", "s", "usay", "key\0status\0type\0bytes\0",
                                        false};
    static constexpr BusMethod kSetSensorTemperature{"SetSensorTemperature", "sd", "",
                                                     "key\0celsius\0", true};
    static constexpr BusMethod kSetDriveTemperature{"SetDriveTemperature", "sy", "",
                                                    "disk\0celsius\0", true};
    static constexpr BusMethod kSetDriveFault{"SetDriveFault", "ss", "", "disk\0fault\0", true};
    static constexpr BusMethod kDriveReadCount{"DriveReadCount", "s", "i", "disk\0reads\0", false};

    static constexpr BusMethod kMethods[] = {kReadKey, kSetSensorTemperature, kSetDriveTemperature,
                                             kSetDriveFault, kDriveReadCount};
};

}  // namespace drivetherm
