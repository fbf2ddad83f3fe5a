// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "pane/RepeatingTimer.h"
#include "protocol/DaemonProtocol.h"
#include "protocol/DaemonProxy.h"

namespace drivetherm::fakes {

// What the front end did, in order, across the daemon, its outputs and its timers.
using Journal = std::vector<std::string>;

inline std::string number(double v) {
    std::ostringstream out;
    out << v;
    return out.str();
}

// The daemon's settings and readings in memory. Changes and measurements are journalled;
// plain reads are not, as the front ends read afresh all the time. It can refuse every change,
// ignore changes without saying so, or be gone.
class FakeDaemon final : public DaemonProtocol {
public:
    explicit FakeDaemon(Journal& journal) : journal_(journal) {}

    // Back to the daemon's defaults, a reading of 45 °C at 2000 rpm, and well-behaved.
    void reset() {
        baseRpm_ = 1100;
        lower_ = 50;
        upper_ = 58;
        fahrenheit_ = false;
        pin_ = false;
        name_.reset();
        ambient_ = false;
        temperature_ = 45;
        fanRpm_ = 2000;
        refuseChanges = ignoreChanges = gone = false;
    }

    // A proxy that forwards to this daemon, as the bus client would.
    DaemonProxy proxy() { return DaemonProxy(std::make_unique<Forwarder>(*this)); }

    int baseRpm() override { return answer(baseRpm_); }
    void setBaseRpm(int rpm) override { change("setBaseRpm(" + number(rpm) + ")", baseRpm_, rpm); }
    float lowerThreshold() override { return answer(lower_); }
    void setLowerThreshold(float c) override {
        change("setLowerThreshold(" + number(c) + ")", lower_, c);
    }
    float upperThreshold() override { return answer(upper_); }
    void setUpperThreshold(float c) override {
        change("setUpperThreshold(" + number(c) + ")", upper_, c);
    }
    bool fahrenheit() override { return answer(fahrenheit_); }
    void setFahrenheit(bool f) override { change("setFahrenheit(" + number(f) + ")", fahrenheit_, f); }
    void temperature(float* t, int* rpm) override {
        measure("temperature");
        if (t) *t = temperature_;
        if (rpm) *rpm = fanRpm_;
    }
    void lastTemperature(float* t, int* rpm) override {
        measure("lastTemperature");
        if (t) *t = temperature_;
        if (rpm) *rpm = fanRpm_;
    }
    bool pinToBase() override { return answer(pin_); }
    void setPinToBase(bool p) override { change("setPinToBase(" + number(p) + ")", pin_, p); }
    std::optional<std::string> HDDName() override { return answer(name_); }
    void setHDDName(const std::optional<std::string>& n) override {
        change("setHDDName(" + n.value_or("none") + ")", name_, n);
    }
    bool useAmbientTemp() override { return answer(ambient_); }
    void setUseAmbientTemp(bool a) override {
        change("setUseAmbientTemp(" + number(a) + ")", ambient_, a);
    }
    void writeValues() override { change("writeValues", dummy_, 0); }

    // The state a test sets up and reads back.
    int baseRpm_ = 1100;
    float lower_ = 50;
    float upper_ = 58;
    bool fahrenheit_ = false;
    bool pin_ = false;
    std::optional<std::string> name_;
    bool ambient_ = false;
    float temperature_ = 45;
    int fanRpm_ = 2000;

    bool refuseChanges = false;  // every change raises DaemonRefused
    bool ignoreChanges = false;  // changes are taken without effect
    bool gone = false;           // every call raises DaemonConnectionLost

private:
    class Forwarder final : public DaemonProtocol {
    public:
        explicit Forwarder(FakeDaemon& d) : d_(d) {}
        int baseRpm() override { return d_.baseRpm(); }
        void setBaseRpm(int v) override { d_.setBaseRpm(v); }
        float lowerThreshold() override { return d_.lowerThreshold(); }
        void setLowerThreshold(float v) override { d_.setLowerThreshold(v); }
        float upperThreshold() override { return d_.upperThreshold(); }
        void setUpperThreshold(float v) override { d_.setUpperThreshold(v); }
        bool fahrenheit() override { return d_.fahrenheit(); }
        void setFahrenheit(bool v) override { d_.setFahrenheit(v); }
        void temperature(float* t, int* r) override { d_.temperature(t, r); }
        void lastTemperature(float* t, int* r) override { d_.lastTemperature(t, r); }
        bool pinToBase() override { return d_.pinToBase(); }
        void setPinToBase(bool v) override { d_.setPinToBase(v); }
        std::optional<std::string> HDDName() override { return d_.HDDName(); }
        void setHDDName(const std::optional<std::string>& v) override { d_.setHDDName(v); }
        bool useAmbientTemp() override { return d_.useAmbientTemp(); }
        void setUseAmbientTemp(bool v) override { d_.setUseAmbientTemp(v); }
        void writeValues() override { d_.writeValues(); }

    private:
        FakeDaemon& d_;
    };

    void reach() const {
        if (gone) throw DaemonConnectionLost("the fan daemon did not answer: gone");
    }
    template <class T>
    T answer(const T& value) const {
        reach();
        return value;
    }
    void measure(const std::string& what) {
        reach();
        journal_.push_back("daemon." + what);
    }
    template <class T, class U>
    void change(const std::string& call, T& field, const U& value) {
        reach();
        if (refuseChanges) throw DaemonRefused("not allowed to change the fan settings");
        journal_.push_back("daemon." + call);
        if (!ignoreChanges) field = value;
    }

    Journal& journal_;
    int dummy_ = 0;
};

// Timers that fire only when the test says so.
class FakeTimers final : public TimerFactory {
public:
    explicit FakeTimers(Journal& journal) : journal_(journal) {}

    std::unique_ptr<RepeatingTimer> scheduledTimer(std::chrono::milliseconds interval,
                                                   std::function<void()> fire) override {
        auto state = std::make_shared<State>(State{interval, std::move(fire), true});
        states_.push_back(state);
        journal_.push_back("timer.schedule(" + number(static_cast<double>(interval.count())) + ")");
        return std::make_unique<Timer>(state, journal_);
    }

    // Fires every timer still running, once.
    void fireAll() {
        const auto states = states_;
        for (const auto& state : states) {
            if (state->valid) {
                const auto fire = state->fire;
                fire();
            }
        }
    }
    int running() const {
        int n = 0;
        for (const auto& state : states_) n += state->valid ? 1 : 0;
        return n;
    }
    std::chrono::milliseconds lastInterval() const { return states_.back()->interval; }

private:
    struct State {
        std::chrono::milliseconds interval;
        std::function<void()> fire;
        bool valid;
    };
    class Timer final : public RepeatingTimer {
    public:
        Timer(std::shared_ptr<State> state, Journal& journal)
            : state_(std::move(state)), journal_(journal) {}
        ~Timer() override { state_->valid = false; }
        void invalidate() override {
            if (state_->valid) journal_.push_back("timer.invalidate");
            state_->valid = false;
        }
        bool isValid() const override { return state_->valid; }

    private:
        std::shared_ptr<State> state_;
        Journal& journal_;
    };

    Journal& journal_;
    std::vector<std::shared_ptr<State>> states_;
};

// The entries of a journal that start with `prefix`.
inline Journal only(const Journal& journal, const std::string& prefix) {
    Journal out;
    for (const std::string& entry : journal) {
        if (entry.rfind(prefix, 0) == 0) out.push_back(entry);
    }
    return out;
}

}  // namespace drivetherm::fakes
