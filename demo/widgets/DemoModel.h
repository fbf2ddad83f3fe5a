// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <memory>

#include "bindings/KeyValueObject.h"

namespace drivetherm {

class TempTransformer;

// The settings a settings window shows, held in memory, and a pretend fan that follows the curve:
// what the daemon would be behind the real window.
class DemoModel : public KeyValueObject {
public:
    explicit DemoModel(std::shared_ptr<TempTransformer> transformer);

    // One step of the pretend fan: a sixth of the way to the curve's speed.
    void rampFan();

private:
    std::shared_ptr<TempTransformer> transformer_;
    int baseRpm_ = 1100;
    float lowerThreshold_ = 50;
    float upperThreshold_ = 58;
    float currentTemp_ = 52.3f;
    float currentRpm_ = 1100;
    bool fahrenheit_ = false;
    bool pinToBase_ = false;
};

}  // namespace drivetherm
