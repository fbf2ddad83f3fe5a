// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <memory>

#include "protocol/DaemonProtocol.h"

namespace drivetherm {

// A front end's hold on the daemon. When the daemon was absent at binding the proxy is none,
// and then every getter answers 0, NO or none and every setter does nothing, without an error,
// so a window shows zeros instead of failing.
class DaemonProxy final : public DaemonProtocol {
public:
    DaemonProxy() = default;
    explicit DaemonProxy(std::unique_ptr<DaemonProtocol> daemon) : daemon_(std::move(daemon)) {}

    bool isNone() const { return !daemon_; }

    int baseRpm() override { return daemon_ ? daemon_->baseRpm() : 0; }
    void setBaseRpm(int rpm) override {
        if (daemon_) daemon_->setBaseRpm(rpm);
    }
    float lowerThreshold() override { return daemon_ ? daemon_->lowerThreshold() : 0.0f; }
    void setLowerThreshold(float celsius) override {
        if (daemon_) daemon_->setLowerThreshold(celsius);
    }
    float upperThreshold() override { return daemon_ ? daemon_->upperThreshold() : 0.0f; }
    void setUpperThreshold(float celsius) override {
        if (daemon_) daemon_->setUpperThreshold(celsius);
    }
    bool fahrenheit() override { return daemon_ && daemon_->fahrenheit(); }
    void setFahrenheit(bool fahrenheit) override {
        if (daemon_) daemon_->setFahrenheit(fahrenheit);
    }
    // With no daemon the out-values are left as the caller set them.
    void temperature(float* temperature, int* fanRpm) override {
        if (daemon_) daemon_->temperature(temperature, fanRpm);
    }
    void lastTemperature(float* temperature, int* fanRpm) override {
        if (daemon_) daemon_->lastTemperature(temperature, fanRpm);
    }
    bool pinToBase() override { return daemon_ && daemon_->pinToBase(); }
    void setPinToBase(bool pin) override {
        if (daemon_) daemon_->setPinToBase(pin);
    }
    std::optional<std::string> HDDName() override {
        return daemon_ ? daemon_->HDDName() : std::nullopt;
    }
    void setHDDName(const std::optional<std::string>& name) override {
        if (daemon_) daemon_->setHDDName(name);
    }
    bool useAmbientTemp() override { return daemon_ && daemon_->useAmbientTemp(); }
    void setUseAmbientTemp(bool useAmbient) override {
        if (daemon_) daemon_->setUseAmbientTemp(useAmbient);
    }
    void writeValues() override {
        if (daemon_) daemon_->writeValues();
    }
    void fanRange(int* minimum, int* maximum) override {
        if (daemon_) {
            daemon_->fanRange(minimum, maximum);
            return;
        }
        if (minimum) *minimum = 0;
        if (maximum) *maximum = 0;
    }
    ControlledFan controlledFan() override {
        return daemon_ ? daemon_->controlledFan() : ControlledFan{};
    }
    // With no daemon: the automatic choice, the setting's own default.
    int fanIndex() override { return daemon_ ? daemon_->fanIndex() : -1; }
    void setFanIndex(int index) override {
        if (daemon_) daemon_->setFanIndex(index);
    }

private:
    std::unique_ptr<DaemonProtocol> daemon_;
};

}  // namespace drivetherm
