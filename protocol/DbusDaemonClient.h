// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

#include "protocol/BusClient.h"
#include "protocol/DaemonProtocol.h"
#include "protocol/DaemonProxy.h"

namespace drivetherm {

// The daemon's remote interface over D-Bus (DaemonInterface), with synchronous calls: what every
// front end holds.
//
// A call to a daemon that has gone away raises DaemonConnectionLost; a change the daemon refuses
// (no privilege, a bad value) raises DaemonRefused with a line for the user.
class DbusDaemonClient final : public DaemonProtocol {
public:
    // Binds to the daemon on `bus` ("system", "session" or an address). The proxy is none when
    // the bus cannot be reached or no daemon owns the service name, so that a front end started
    // before the daemon shows zeros and binds again later.
    static DaemonProxy bind(const std::string& bus = "system");

    explicit DbusDaemonClient(sd_bus* bus);  // takes over the reference

    int baseRpm() override;
    void setBaseRpm(int rpm) override;
    float lowerThreshold() override;
    void setLowerThreshold(float celsius) override;
    float upperThreshold() override;
    void setUpperThreshold(float celsius) override;
    bool fahrenheit() override;
    void setFahrenheit(bool fahrenheit) override;
    void temperature(float* temperature, int* fanRpm) override;
    void lastTemperature(float* temperature, int* fanRpm) override;
    bool pinToBase() override;
    void setPinToBase(bool pin) override;
    std::optional<std::string> HDDName() override;
    void setHDDName(const std::optional<std::string>& name) override;
    bool useAmbientTemp() override;
    void setUseAmbientTemp(bool useAmbient) override;
    void writeValues() override;
    void fanRange(int* minimum, int* maximum) override;
    ControlledFan controlledFan() override;
    int fanIndex() override;
    void setFanIndex(int index) override;

private:
    int getInt(const BusMethod& method);
    double getDouble(const BusMethod& method);
    bool getBool(const BusMethod& method);
    void measure(const BusMethod& method, float* temperature, int* fanRpm);

    BusClient bus_;
};

}  // namespace drivetherm
