// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace drivetherm {

// A timer that calls its function over and over at a fixed interval until it is invalidated or
// destroyed. The settings window polls the daemon with one while it is shown; the tray monitor
// updates its title with one for its whole life.
class RepeatingTimer {
public:
    virtual ~RepeatingTimer() = default;
    // Stops the calls for good; safe to call twice.
    virtual void invalidate() = 0;
    virtual bool isValid() const = 0;
};

// Makes repeating timers on the user-interface thread's event loop. Front ends take one of these
// instead of a toolkit timer so that their tests can fire the timers by hand.
class TimerFactory {
public:
    virtual ~TimerFactory() = default;
    // The first call comes one interval from now, not at once.
    virtual std::unique_ptr<RepeatingTimer> scheduledTimer(std::chrono::milliseconds interval,
                                                           std::function<void()> fire) = 0;
};

}  // namespace drivetherm
