// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <map>
#include <string>
#include <vector>

namespace drivetherm {

// How the simulated disk warms and cools: it takes in heat from its load and loses it towards
// the ambient temperature, faster the faster its fan turns. The fan's actual speed follows the
// commanded one with a lag, as a real fan spins up and down.
struct ThermalParameters {
    struct LoadStep {
        double at;    // simulated seconds since start
        double load;  // °C per second
    };

    std::string drive = "disk0";
    int fan = 1;
    double ambient = 24.0;
    double load = 0.1;
    std::vector<LoadStep> loadProfile;      // sorted by `at`
    double stillCooling = 0.001;            // per second, at a standing fan
    double coolingPerKrpm = 0.004;          // per second and 1000 rpm
    double fanLag = 0.3;                    // share of the speed gap closed per second
    std::map<std::string, double> sensors;  // SMC key -> offset from the disk's temperature
};

class ThermalModel {
public:
    ThermalModel(ThermalParameters parameters, double startTemperature);

    const ThermalParameters& parameters() const { return parameters_; }

    // Advances one simulated second with the fan's speed as commanded by the SMC and returns the
    // fan's new actual speed.
    int step(int commandedRpm, int actualRpm);

    double diskTemperature() const { return temperature_; }
    // A temperature set from outside (a test, the Simulator interface) is the model's new
    // starting point.
    void setDiskTemperature(double celsius) { temperature_ = celsius; }
    double loadNow() const;
    double elapsed() const { return elapsed_; }

private:
    ThermalParameters parameters_;
    double temperature_;
    double elapsed_ = 0.0;
};

}  // namespace drivetherm
