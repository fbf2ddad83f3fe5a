// SPDX-License-Identifier: GPL-2.0-or-later
#include "demo/widgets/DemoModel.h"

#include "frontends/TempTransformer.h"
#include "pane/GraphGeometry.h"

namespace drivetherm {

DemoModel::DemoModel(std::shared_ptr<TempTransformer> transformer)
    : transformer_(std::move(transformer)) {
    registerKey<int>(
        "baseRpm", [this] { return baseRpm_; }, [this](int v) { baseRpm_ = v; });
    registerKey<float>(
        "lowerThreshold", [this] { return lowerThreshold_; },
        [this](float v) { lowerThreshold_ = v; });
    registerKey<float>(
        "upperThreshold", [this] { return upperThreshold_; },
        [this](float v) { upperThreshold_ = v; });
    registerKey<float>(
        "currentTemp", [this] { return currentTemp_; }, [this](float v) { currentTemp_ = v; });
    registerKey<float>("currentRpm", [this] { return currentRpm_; });
    registerKey<bool>(
        "fahrenheit", [this] { return fahrenheit_; },
        [this](bool v) {
            fahrenheit_ = v;
            transformer_->setFahrenheit(v);
        });
    registerKey<bool>(
        "pinToBase", [this] { return pinToBase_; }, [this](bool v) { pinToBase_ = v; });
}

void DemoModel::rampFan() {
    GraphGeometry curve(640, 320);
    curve.setBaseRpm(baseRpm_);
    curve.setLowerThreshold(lowerThreshold_);
    curve.setUpperThreshold(upperThreshold_);
    curve.setCurrentTemp(currentTemp_);
    const float target =
        pinToBase_ ? static_cast<float>(baseRpm_) : static_cast<float>(curve.targetSpeed());
    currentRpm_ += (target - currentRpm_) / 6;
    // The speed changes on its own, not through a setter: say so.
    didChangeValueForKey("currentRpm");
}

}  // namespace drivetherm
