// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <sys/signalfd.h>

#include <chrono>
#include <cstdint>
#include <functional>

struct sd_event;
struct sd_event_source;

namespace drivetherm {

// The daemon's one thread: an sd-event loop that fires the control loop's tick on a fixed
// schedule and ends cleanly on SIGTERM or SIGINT. The bus is attached to the same loop, so a
// remote call never runs during a tick.
class EventLoop {
public:
    EventLoop();
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    sd_event* event() const { return event_; }

    // Calls `onTick` every `interval`, the first time after `firstDelay`. The schedule is anchored
    // to the monotonic clock: each tick is due one interval after the previous one was due, not
    // after it ran, so ticks never drift. A tick that could not run on time (the loop was held up,
    // for example by a slow disk) is dropped rather than fired in a burst.
    void startTicks(std::chrono::milliseconds interval, std::function<void()> onTick,
                    std::chrono::milliseconds firstDelay = std::chrono::milliseconds(0));
    // Moves the first tick to `delay` from now when it has not run yet and was due later; the
    // schedule follows from there. Nothing once the ticks have begun.
    void bringFirstTickForward(std::chrono::milliseconds delay);

    // Runs until a signal arrives or exit() is called; returns the exit code.
    int run();
    void exit(int code);

    // Which signal ended the loop, or 0.
    int terminatingSignal() const { return terminatingSignal_; }
    std::uint64_t ticksFired() const { return ticksFired_; }
    std::uint64_t ticksDropped() const { return ticksDropped_; }
    // How late the latest tick started after it was due, at most, in microseconds.
    std::uint64_t worstLatenessUsec() const { return worstLatenessUsec_; }
    // Microseconds since the first tick was due.
    std::uint64_t elapsedUsec() const;

private:
    static int onTimer(sd_event_source* source, std::uint64_t usec, void* userdata);
    static int onSignal(sd_event_source* source, const signalfd_siginfo* info, void* userdata);

    sd_event* event_ = nullptr;
    sd_event_source* timer_ = nullptr;
    sd_event_source* sigterm_ = nullptr;
    sd_event_source* sigint_ = nullptr;
    std::uint64_t intervalUsec_ = 1000000;
    std::uint64_t dueUsec_ = 0;
    std::function<void()> onTick_;
    int terminatingSignal_ = 0;
    std::uint64_t ticksFired_ = 0;
    std::uint64_t ticksDropped_ = 0;
    std::uint64_t firstDueUsec_ = 0;
    std::uint64_t worstLatenessUsec_ = 0;
};

}  // namespace drivetherm
