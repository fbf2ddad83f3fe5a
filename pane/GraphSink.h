// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

namespace drivetherm {

// What the settings window's controller pushes into the speed-curve graph: the curve's settings
// and the current readings. The graph widget takes them through the same setters.
class GraphSink {
public:
    virtual ~GraphSink() = default;
    virtual void setBaseRpm(int rpm) = 0;
    virtual void setLowerThreshold(float celsius) = 0;
    virtual void setUpperThreshold(float celsius) = 0;
    virtual void setCurrentTemp(float celsius) = 0;
    virtual void setCurrentRpm(float rpm) = 0;
    virtual void setFahrenheit(bool fahrenheit) = 0;
    virtual void setPinToBase(bool pin) = 0;
};

}  // namespace drivetherm
