// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bindings/KeyValueObject.h"
#include "bindings/KeyValueObserver.h"

namespace drivetherm::kvtest {

// Settings with the kinds of keys the settings window binds.
class Settings : public KeyValueObject {
public:
    Settings() {
        registerKey<int>(
            "baseRpm", [this] { return baseRpm; }, [this](int v) { baseRpm = v; });
        registerKey<float>(
            "lowerThreshold", [this] { return lower; }, [this](float v) { lower = v; });
        registerKey<bool>(
            "fahrenheit", [this] { return fahrenheit; }, [this](bool v) { fahrenheit = v; });
        registerKey(
            "HDDName", [this] { return name ? Value(*name) : Value(); },
            [this](const Value& v) {
                name = v.isString() ? std::optional(v.stringValue()) : std::nullopt;
            });
        registerKey("temperature", [] { return Value(45.0); });
    }

    int baseRpm = 1100;
    float lower = 50;
    bool fahrenheit = false;
    std::optional<std::string> name;
};

struct Notice {
    std::string keyPath;
    KeyValueObject* object;
    std::intptr_t context;
    friend bool operator==(const Notice&, const Notice&) = default;
};

// Records every notice, into a log of its own or one shared with other recorders.
class Recorder : public KeyValueObserver {
public:
    explicit Recorder(std::vector<Notice>* log = nullptr) : log_(log ? log : &own_) {}
    void observeValueForKeyPath(const std::string& keyPath, KeyValueObject& object,
                                std::intptr_t context) override {
        log_->push_back({keyPath, &object, context});
        if (onNotice) onNotice();
    }
    const std::vector<Notice>& notices() const { return *log_; }
    std::function<void()> onNotice;

private:
    std::vector<Notice> own_;
    std::vector<Notice>* log_;
};

}  // namespace drivetherm::kvtest
