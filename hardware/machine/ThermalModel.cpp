// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardware/machine/ThermalModel.h"

#include <algorithm>
#include <cmath>

namespace drivetherm {

ThermalModel::ThermalModel(ThermalParameters parameters, double startTemperature)
    : parameters_(std::move(parameters)), temperature_(startTemperature) {}

double ThermalModel::loadNow() const {
    double load = parameters_.load;
    for (const auto& step : parameters_.loadProfile) {
        if (step.at <= elapsed_) load = step.load;
    }
    return load;
}

int ThermalModel::step(int commandedRpm, int actualRpm) {
    const double gap = commandedRpm - actualRpm;
    int newActual = actualRpm + static_cast<int>(std::lround(gap * parameters_.fanLag));
    if (std::abs(commandedRpm - newActual) < 5) newActual = commandedRpm;  // settled
    newActual = std::max(newActual, 0);

    const double cooling =
        parameters_.stillCooling + parameters_.coolingPerKrpm * newActual / 1000.0;
    temperature_ += loadNow() - cooling * (temperature_ - parameters_.ambient);
    elapsed_ += 1.0;
    return newActual;
}

}  // namespace drivetherm
