// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "protocol/BusMethod.h"

namespace drivetherm {

// The daemon's remote interface on the bus: every setting's getter and setter, the two
// measurement queries and what the daemon knows of the fan it drives, in the order of
// DaemonProtocol. The daemon serves exactly these methods
// and DbusDaemonClient calls them; what each one means is written beside it in
// protocol/com.quillmoor.Drivetherm.xml.
//
// Temperatures travel as doubles in degrees Celsius, speeds as 32-bit rpm. The measurements
// take two flags saying what to measure, so that a question about the fan alone never reaches
// the disk.
struct DaemonInterface {
    static constexpr const char* kName = "com.quillmoor.Drivetherm.DaemonProtocol";

    static constexpr BusMethod kBaseRpm{"BaseRpm", "", "i", "rpm\0", false};
    static constexpr BusMethod kSetBaseRpm{"SetBaseRpm", "i", "", "rpm\0", true};
    static constexpr BusMethod kLowerThreshold{"LowerThreshold", "", "d", "celsius\0", false};
    static constexpr BusMethod kSetLowerThreshold{"SetLowerThreshold", "d", "", "celsius\0", true};
    static constexpr BusMethod kUpperThreshold{"UpperThreshold", "", "d", "celsius\0", false};
    static constexpr BusMethod kSetUpperThreshold{"SetUpperThreshold", "d", "", "celsius\0", true};
    static constexpr BusMethod kFahrenheit{"Fahrenheit", "", "b", "fahrenheit\0", false};
    static constexpr BusMethod kSetFahrenheit{"SetFahrenheit", "b", "", "fahrenheit\0", true};
    static constexpr BusMethod kTemperature{
        "Temperature", "bb", "di", "wantTemperature\0wantFanRpm\0celsius\0fanRpm\0", false};
    static constexpr BusMethod kLastTemperature{
        "LastTemperature", "bb", "di", "wantTemperature\0wantFanRpm\0celsius\0fanRpm\0", false};
    static constexpr BusMethod kPinToBase{"PinToBase", "", "b", "pin\0", false};
    static constexpr BusMethod kSetPinToBase{"SetPinToBase", "b", "", "pin\0", true};
    static constexpr BusMethod kHDDName{"HDDName", "", "s", "model\0", false};
    static constexpr BusMethod kSetHDDName{"SetHDDName", "s", "", "model\0", true};
    static constexpr BusMethod kUseAmbientTemp{"UseAmbientTemp", "", "b", "useAmbient\0", false};
    static constexpr BusMethod kSetUseAmbientTemp{"SetUseAmbientTemp", "b", "", "useAmbient\0",
                                                  true};
    static constexpr BusMethod kWriteValues{"WriteValues", "", "", "", true};
    static constexpr BusMethod kFanRange{"FanRange", "", "ii", "minimum\0maximum\0", false};
    static constexpr BusMethod kControlledFan{"ControlledFan", "", "iss", "index\0label\0mode\0",
                                              false};
    static constexpr BusMethod kFanIndex{"FanIndex", "", "i", "index\0", false};
    static constexpr BusMethod kSetFanIndex{"SetFanIndex", "i", "", "index\0", true};

    static constexpr BusMethod kMethods[] = {
        kBaseRpm,           kSetBaseRpm,   kLowerThreshold, kSetLowerThreshold, kUpperThreshold,
        kSetUpperThreshold, kFahrenheit,   kSetFahrenheit,  kTemperature,       kLastTemperature,
        kPinToBase,         kSetPinToBase, kHDDName,        kSetHDDName,        kUseAmbientTemp,
        kSetUseAmbientTemp, kWriteValues,  kFanRange,       kControlledFan,     kFanIndex,
        kSetFanIndex,
    };
};

}  // namespace drivetherm
