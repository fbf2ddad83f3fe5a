// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "frontends/RepeatingTimer.h"
#include "protocol/DaemonCalls.h"
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

// The entries of a journal that start with `prefix`.
inline Journal only(const Journal& journal, const std::string& prefix) {
    Journal out;
    for (const std::string& entry : journal) {
        if (entry.rfind(prefix, 0) == 0) out.push_back(entry);
    }
    return out;
}

// The daemon's settings and readings, shared by every proxy made from it. Changes and
// measurements are journalled, plain reads are not. It can refuse every change, take changes
// without effect, or be gone.
struct DaemonState {
    int baseRpm = 1100;
    float lower = 50, upper = 58;
    bool fahrenheit = false, pin = false, ambient = false;
    std::optional<std::string> name;
    float temperature = 45;
    int fanRpm = 2000;
    int fanMinimum = 1100, fanMaximum = 6300;
    ControlledFan fan{1, "HDD", "forced"};
    int fanIndex = -1;
    bool refuseChanges = false, ignoreChanges = false, gone = false;
};

class FakeDaemon final : public DaemonProtocol {
public:
    explicit FakeDaemon(Journal& journal)
        : journal_(journal), state_(std::make_shared<DaemonState>()) {}

    DaemonState* operator->() { return state_.get(); }
    DaemonState& operator*() { return *state_; }
    void reset() { *state_ = DaemonState(); }
    // A proxy onto the same daemon, as the bus client would give.
    DaemonProxy proxy() { return DaemonProxy(std::make_unique<FakeDaemon>(*this)); }

    int baseRpm() override { return get(state_->baseRpm); }
    void setBaseRpm(int v) override { set("setBaseRpm", state_->baseRpm, v, number(v)); }
    float lowerThreshold() override { return get(state_->lower); }
    void setLowerThreshold(float v) override {
        set("setLowerThreshold", state_->lower, v, number(v));
    }
    float upperThreshold() override { return get(state_->upper); }
    void setUpperThreshold(float v) override {
        set("setUpperThreshold", state_->upper, v, number(v));
    }
    bool fahrenheit() override { return get(state_->fahrenheit); }
    void setFahrenheit(bool v) override { set("setFahrenheit", state_->fahrenheit, v, number(v)); }
    void temperature(float* t, int* r) override { measure("temperature", t, r); }
    void lastTemperature(float* t, int* r) override { measure("lastTemperature", t, r); }
    bool pinToBase() override { return get(state_->pin); }
    void setPinToBase(bool v) override { set("setPinToBase", state_->pin, v, number(v)); }
    std::optional<std::string> HDDName() override { return get(state_->name); }
    void setHDDName(const std::optional<std::string>& v) override {
        set("setHDDName", state_->name, v, v.value_or("none"));
    }
    bool useAmbientTemp() override { return get(state_->ambient); }
    void setUseAmbientTemp(bool v) override {
        set("setUseAmbientTemp", state_->ambient, v, number(v));
    }
    void writeValues() override { set("writeValues", state_->pin, state_->pin, ""); }
    void fanRange(int* minimum, int* maximum) override {
        reach();
        if (minimum) *minimum = state_->fanMinimum;
        if (maximum) *maximum = state_->fanMaximum;
    }
    ControlledFan controlledFan() override { return get(state_->fan); }
    int fanIndex() override { return get(state_->fanIndex); }
    void setFanIndex(int v) override { set("setFanIndex", state_->fanIndex, v, number(v)); }

private:
    void reach() const {
        if (state_->gone) throw DaemonConnectionLost("the fan daemon did not answer: gone");
    }
    template <class T>
    T get(const T& value) const {
        reach();
        return value;
    }
    void measure(const std::string& what, float* t, int* r) {
        reach();
        journal_.push_back("daemon." + what);
        if (t) *t = state_->temperature;
        if (r) *r = state_->fanRpm;
    }
    template <class T>
    void set(const std::string& call, T& field, const T& value, const std::string& shown) {
        reach();
        if (state_->refuseChanges) throw DaemonRefused("not allowed to change the fan settings");
        journal_.push_back("daemon." + call + "(" + shown + ")");
        if (!state_->ignoreChanges) field = value;
    }

    Journal& journal_;
    std::shared_ptr<DaemonState> state_;
};

// The daemon's calls as the worker makes them, on the test's own thread: at once, or held
// until deliver() (a slow daemon). Binds again after the daemon was gone, as the worker does.
class FakeCalls final : public DaemonCalls {
public:
    explicit FakeCalls(std::function<DaemonProxy()> binder) : binder_(std::move(binder)) {}

    void submit(Call call, Done done) override {
        held_.push_back({std::move(call), std::move(done)});
        if (!hold) deliver();
    }
    // Answers every call held so far, in order.
    void deliver() {
        while (!held_.empty()) {
            auto [call, done] = std::move(held_.front());
            held_.erase(held_.begin());
            const Result result = perform(call);
            if (done) done(result);
        }
    }
    std::size_t waiting() const { return held_.size(); }

    bool hold = false;

private:
    Result perform(const Call& call) {
        if (daemon_.isNone()) daemon_ = binder_();
        if (daemon_.isNone()) return {Outcome::Absent, "the fan daemon is not running"};
        try {
            call(daemon_);
            return {};
        } catch (const DaemonRefused& e) {
            return {Outcome::Refused, e.what()};
        } catch (const DaemonConnectionLost& e) {
            daemon_ = DaemonProxy();
            return {Outcome::Lost, e.what()};
        } catch (const DaemonError& e) {
            return {Outcome::Failed, e.what()};
        }
    }

    std::function<DaemonProxy()> binder_;
    DaemonProxy daemon_;
    std::vector<std::pair<Call, Done>> held_;
};

// Timers that fire only when the test says so.
class FakeTimers final : public TimerFactory {
public:
    explicit FakeTimers(Journal& journal) : journal_(journal) {}

    std::unique_ptr<RepeatingTimer> scheduledTimer(std::chrono::milliseconds interval,
                                                   std::function<void()> fire) override {
        journal_.push_back("timer.schedule(" + number(static_cast<double>(interval.count())) + ")");
        timers_.push_back(std::make_shared<Entry>(Entry{std::move(fire), true}));
        return std::make_unique<Timer>(timers_.back(), journal_);
    }
    // Fires every timer still running, once.
    void fireAll() {
        for (const auto& timer : std::vector(timers_)) {
            if (timer->valid) std::function<void()>(timer->fire)();
        }
    }
    int running() const {
        int n = 0;
        for (const auto& timer : timers_) n += timer->valid;
        return n;
    }

private:
    struct Entry {
        std::function<void()> fire;
        bool valid;
    };
    struct Timer final : RepeatingTimer {
        Timer(std::shared_ptr<Entry> e, Journal& j) : entry(std::move(e)), journal(j) {}
        ~Timer() override { entry->valid = false; }
        void invalidate() override {
            if (entry->valid) journal.push_back("timer.invalidate");
            entry->valid = false;
        }
        bool isValid() const override { return entry->valid; }
        std::shared_ptr<Entry> entry;
        Journal& journal;
    };

    Journal& journal_;
    std::vector<std::shared_ptr<Entry>> timers_;
};

}  // namespace drivetherm::fakes
