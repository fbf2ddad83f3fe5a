// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/Clock.h"

#include <thread>

namespace drivetherm {
namespace {

class SystemClock final : public Clock {
public:
    std::chrono::steady_clock::time_point now() override {
        return std::chrono::steady_clock::now();
    }
    void sleepFor(std::chrono::milliseconds duration) override {
        std::this_thread::sleep_for(duration);
    }
};

}  // namespace

Clock& systemClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace drivetherm
