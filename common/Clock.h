// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <chrono>

namespace drivetherm {

// Time as the hardware layer sees it. The SMART reader's one-second pause between retries goes
// through here, so tests replace it with a clock that only counts the pauses.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::steady_clock::time_point now() = 0;
    virtual void sleepFor(std::chrono::milliseconds duration) = 0;
};

// The real clock: steady_clock and nanosleep.
Clock& systemClock();

// A clock that never sleeps: `sleepFor` advances its time and counts the call.
class ManualClock final : public Clock {
public:
    std::chrono::steady_clock::time_point now() override { return now_; }
    void sleepFor(std::chrono::milliseconds duration) override {
        now_ += duration;
        ++sleeps_;
        slept_ += duration;
    }
    void advance(std::chrono::milliseconds duration) { now_ += duration; }
    int sleeps() const { return sleeps_; }
    std::chrono::milliseconds slept() const { return slept_; }

private:
    std::chrono::steady_clock::time_point now_{};
    int sleeps_ = 0;
    std::chrono::milliseconds slept_{0};
};

}  // namespace drivetherm
