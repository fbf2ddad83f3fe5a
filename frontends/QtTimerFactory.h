// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "frontends/RepeatingTimer.h"

namespace drivetherm {

// Repeating timers on the Qt event loop of the thread that makes them (QTimer).
class QtTimerFactory final : public TimerFactory {
public:
    std::unique_ptr<RepeatingTimer> scheduledTimer(std::chrono::milliseconds interval,
                                                   std::function<void()> fire) override;
};

}  // namespace drivetherm
