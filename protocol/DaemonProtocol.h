// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace drivetherm {

// The fan the daemon drives, as the SMC numbers it (from 0), with the name the SMC gives it
// ("HDD", "Main", "Exhaust"; "" when unknown), and how it is driven: "forced" (its minimum and
// maximum held at the commanded speed), "floor" (only its minimum raised, so the SMC may still
// run it faster) or "none" (no fan is driven; index -1).
struct ControlledFan {
    int index = -1;
    std::string label;
    std::string mode = "none";
};

// The daemon's remote interface as the front ends see it: every setting with its getter and
// setter, and the two measurement queries. Every call is a synchronous request and reply that
// the daemon serves between two ticks of its control loop.
class DaemonProtocol {
public:
    virtual ~DaemonProtocol() = default;

    virtual int baseRpm() = 0;
    virtual void setBaseRpm(int rpm) = 0;
    virtual float lowerThreshold() = 0;
    virtual void setLowerThreshold(float celsius) = 0;
    virtual float upperThreshold() = 0;
    virtual void setUpperThreshold(float celsius) = 0;
    virtual bool fahrenheit() = 0;
    virtual void setFahrenheit(bool fahrenheit) = 0;
    // A fresh measurement: the disk's (or the sensors') temperature in °C and the driven fan's
    // actual speed (-1 when unreadable). A null pointer asks for nothing.
    virtual void temperature(float* temperature, int* fanRpm) = 0;
    // The last measured temperature without measuring, and the driven fan's actual speed read
    // now.
    virtual void lastTemperature(float* temperature, int* fanRpm) = 0;
    virtual bool pinToBase() = 0;
    virtual void setPinToBase(bool pin) = 0;
    // The chosen drive's model name; none (or "") when no drive is chosen.
    virtual std::optional<std::string> HDDName() = 0;
    virtual void setHDDName(const std::optional<std::string>& name) = 0;
    virtual bool useAmbientTemp() = 0;
    virtual void setUseAmbientTemp(bool useAmbient) = 0;
    virtual void writeValues() = 0;
    // The driven fan's own speed range in rpm, as the SMC reported its minimum and maximum before
    // the daemon first wrote them; 0 and 0 when no fan is driven. A null pointer asks for nothing.
    virtual void fanRange(int* minimum, int* maximum) = 0;
    virtual ControlledFan controlledFan() = 0;
    // The stored choice of fan: -1 lets the daemon choose by the fans' names, 0 to 9 names the
    // SMC's fan to drive.
    virtual int fanIndex() = 0;
    virtual void setFanIndex(int index) = 0;
};

// Something went wrong between a front end and the daemon.
class DaemonError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The daemon went away after the front end had bound to it. The tray monitor catches this and
// binds again at its next update.
class DaemonConnectionLost : public DaemonError {
public:
    using DaemonError::DaemonError;
};

// The daemon refused a change: the caller lacks the privilege, or the value was not acceptable.
// The message is one line meant for the user.
class DaemonRefused : public DaemonError {
public:
    using DaemonError::DaemonError;
};

}  // namespace drivetherm
