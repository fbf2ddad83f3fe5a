// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <optional>
#include <string>

#include "protocol/DaemonProtocol.h"

namespace drivetherm {

// Everything a settings window shows of the daemon's settings, read in one go so that the
// window never shows two states at once (a unit from before a restart beside thresholds from
// after it).
struct DaemonSettings {
    int baseRpm = 0;
    float lowerThreshold = 0;
    float upperThreshold = 0;
    bool fahrenheit = false;
    bool pinToBase = false;
    bool useAmbientTemp = false;
    std::optional<std::string> HDDName;
    // The controlled fan's own speed range; (0, 0) while it is not known.
    int fanMinimum = 0;
    int fanMaximum = 0;
    // The fan the daemon drives (-1: none), its label and how it holds it ("forced", "floor",
    // "none"; empty while not known).
    int fanIndex = -1;
    std::string fanLabel;
    std::string fanMode;

    friend bool operator==(const DaemonSettings&, const DaemonSettings&) = default;
};

// One measurement: °C (0 for no reading) and the fan's actual speed (-1 when unreadable).
struct DaemonReading {
    float temperature = 0;
    int fanRpm = 0;
    friend bool operator==(const DaemonReading&, const DaemonReading&) = default;
};

// Reads every setting that DaemonSettings holds, one call each. Throws what the calls throw.
DaemonSettings readDaemonSettings(DaemonProtocol& daemon);

}  // namespace drivetherm
