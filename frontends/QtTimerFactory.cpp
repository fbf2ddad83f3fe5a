// SPDX-License-Identifier: GPL-2.0-or-later
#include "frontends/QtTimerFactory.h"

#include <QObject>
#include <QTimer>

namespace drivetherm {
namespace {

class QtRepeatingTimer final : public RepeatingTimer {
public:
    QtRepeatingTimer(std::chrono::milliseconds interval, std::function<void()> fire)
        : fire_(std::move(fire)) {
        // A poll waits on the daemon, which may be reading a slow disk: a coarse timer is
        // plenty, and lets the desktop bundle the wake-ups.
        timer_.setTimerType(Qt::CoarseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            // Copy: the function may invalidate this timer, which must not destroy what runs.
            const auto fire = fire_;
            if (fire) fire();
        });
        timer_.start(interval);
    }

    void invalidate() override {
        timer_.stop();
        fire_ = nullptr;
    }
    bool isValid() const override { return timer_.isActive(); }

private:
    QTimer timer_;
    std::function<void()> fire_;
};

}  // namespace

std::unique_ptr<RepeatingTimer> QtTimerFactory::scheduledTimer(std::chrono::milliseconds interval,
                                                               std::function<void()> fire) {
    return std::make_unique<QtRepeatingTimer>(interval, std::move(fire));
}

}  // namespace drivetherm
